#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "platform/file.h"
#include "platform/gl.h"  // <windows.h>

namespace {

// Empty for an empty name or one that is not UTF-8.
std::wstring widen(const char* text) {
    if (!text) return std::wstring();
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (length <= 1) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, &wide[0], length);
    wide.resize(static_cast<std::size_t>(length - 1));
    return wide;
}

}  // namespace

std::FILE* open_file(const char* path, const char* mode) {
    const std::wstring wide = widen(path), wide_mode = widen(mode);
    if (wide.empty() || wide_mode.empty()) {
        errno = EINVAL;
        return nullptr;
    }
    return _wfopen(wide.c_str(), wide_mode.c_str());
}

bool file_exists(const char* path) {
    const std::wstring wide = widen(path);
    struct _stat64 info;
    return !wide.empty() && _wstat64(wide.c_str(), &info) == 0;
}

bool remove_file(const char* path) {
    const std::wstring wide = widen(path);
    return !wide.empty() && _wremove(wide.c_str()) == 0;
}

std::FILE* open_regular_file(const char* path, std::uint64_t max_bytes, std::uint64_t* size, FileProblem* problem) {
    *size = 0;
    const std::wstring wide = widen(path);
    if (wide.empty()) {
        *problem = FileProblem::not_utf8;
        return nullptr;
    }
    struct _stat64 info;
    if (_wstat64(wide.c_str(), &info) != 0) {
        *problem = FileProblem::cannot_open;
        return nullptr;
    }
    *size = static_cast<std::uint64_t>(info.st_size);
    if ((info.st_mode & _S_IFMT) == _S_IFDIR) {
        *problem = FileProblem::folder;
    } else if ((info.st_mode & _S_IFMT) != _S_IFREG) {
        *problem = FileProblem::not_regular;
    } else if (*size > max_bytes) {
        *problem = FileProblem::too_big;
    } else {
        std::FILE* file = _wfopen(wide.c_str(), L"rb");
        *problem = file ? FileProblem::none : FileProblem::cannot_open;
        return file;
    }
    return nullptr;
}

bool seek_file(std::FILE* file, std::uint64_t offset, int whence) {
    return _fseeki64(file, static_cast<__int64>(offset), whence) == 0;
}

std::uint64_t file_position(std::FILE* file) {
    const __int64 position = _ftelli64(file);
    return position < 0 ? 0 : static_cast<std::uint64_t>(position);
}

// The file system ignores case itself.
std::string path_ignoring_case(const std::string& start, const std::string& rest) { return start + rest; }
