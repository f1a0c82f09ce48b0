#include <new>

#include "platform/file.h"

bool read_regular_file(const char* path, std::uint64_t max_bytes, std::vector<unsigned char>* bytes) {
    bytes->clear();
    std::uint64_t size = 0;
    FileProblem problem = FileProblem::none;
    std::FILE* file = path && *path ? open_regular_file(path, max_bytes, &size, &problem) : nullptr;
    if (!file) return false;
    bool read = false;
    try {
        bytes->resize(static_cast<std::size_t>(size));
        read = std::fread(bytes->data(), 1, bytes->size(), file) == bytes->size();
    } catch (const std::bad_alloc&) {
    }
    std::fclose(file);
    if (!read) bytes->clear();
    return read && !bytes->empty();
}
