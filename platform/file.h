// Files by UTF-8 name, the same on every system: Windows takes such a name
// only through its wide-character calls, which std::fopen does not use.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// std::fopen with a UTF-8 name; null (with errno set) when it cannot be
// opened or the name is not UTF-8.
std::FILE* open_file(const char* path, const char* mode);

// Whether anything (a file, a folder) has this name.
bool file_exists(const char* path);

// Deletes a file; false when it could not.
bool remove_file(const char* path);

// Why open_regular_file opened nothing.
enum class FileProblem {
    none,
    not_utf8,     // the name is not UTF-8 text
    cannot_open,  // errno says why
    folder,
    not_regular,  // a pipe, a device or the like
    too_big,      // more than the given maximum; the size is still given
};

// Opens a regular file of at most max_bytes for reading, with its size.
// It is looked at before it is opened (opening a pipe or a device could
// block, or do something) and, where the system allows, again once open.
std::FILE* open_regular_file(const char* path, std::uint64_t max_bytes, std::uint64_t* size, FileProblem* problem);

// Moves within a file of any size (whence: SEEK_SET, SEEK_CUR, SEEK_END);
// false when it could not.
bool seek_file(std::FILE* file, std::uint64_t offset, int whence);
// Where in a file of any size the next read starts; 0 when unknown.
std::uint64_t file_position(std::FILE* file);

// The whole of a regular file of at most max_bytes (UTF-8 name); false, with
// bytes empty, for anything else, an empty file, or when it cannot be read.
bool read_regular_file(const char* path, std::uint64_t max_bytes, std::vector<unsigned char>* bytes);

// start + rest with each part of rest ('/' between parts) matched to an
// entry of its folder without regard to case, where the file system does
// not do so itself (a model written on Windows names "Textures/Wood.JPG");
// empty when a part has no such entry.
std::string path_ignoring_case(const std::string& start, const std::string& rest);
