#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/file.h"

namespace {

FileProblem judge(const struct stat& info, std::uint64_t max_bytes) {
    if (S_ISDIR(info.st_mode)) return FileProblem::folder;
    if (!S_ISREG(info.st_mode)) return FileProblem::not_regular;
    if (static_cast<std::uint64_t>(info.st_size) > max_bytes) return FileProblem::too_big;
    return FileProblem::none;
}

// The entry of folder that is name but for case, or empty.
std::string entry_like(const std::string& folder, const std::string& name) {
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return std::string();
    std::string found;
    while (const dirent* entry = readdir(dir))
        if (strcasecmp(entry->d_name, name.c_str()) == 0) {
            found = entry->d_name;
            break;
        }
    closedir(dir);
    return found;
}

}  // namespace

std::FILE* open_file(const char* path, const char* mode) { return path ? std::fopen(path, mode) : nullptr; }

bool file_exists(const char* path) {
    struct stat info;
    return path && stat(path, &info) == 0;
}

bool remove_file(const char* path) { return path && std::remove(path) == 0; }

std::FILE* open_regular_file(const char* path, std::uint64_t max_bytes, std::uint64_t* size, FileProblem* problem) {
    struct stat info;
    *size = 0;
    if (stat(path, &info) != 0) {
        *problem = FileProblem::cannot_open;
        return nullptr;
    }
    *size = static_cast<std::uint64_t>(info.st_size);
    if ((*problem = judge(info, max_bytes)) != FileProblem::none) return nullptr;
    // Without waiting and looked at again: the name may have been given to
    // a pipe in between.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *problem = FileProblem::cannot_open;
        return nullptr;
    }
    if (fstat(fd, &info) != 0 || (*problem = judge(info, max_bytes)) != FileProblem::none) {
        if (*problem == FileProblem::none) *problem = FileProblem::cannot_open;
        close(fd);
        return nullptr;
    }
    *size = static_cast<std::uint64_t>(info.st_size);
    const int flags = fcntl(fd, F_GETFL);
    if (flags != -1) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* file = fdopen(fd, "rb");
    if (!file) {
        *problem = FileProblem::cannot_open;
        close(fd);
    }
    return file;
}

bool seek_file(std::FILE* file, std::uint64_t offset, int whence) {
    return fseeko(file, static_cast<off_t>(offset), whence) == 0;
}

std::uint64_t file_position(std::FILE* file) {
    const off_t position = ftello(file);
    return position < 0 ? 0 : static_cast<std::uint64_t>(position);
}

std::string path_ignoring_case(const std::string& start, const std::string& rest) {
    std::string done = start;
    for (std::size_t at = 0; at < rest.size();) {
        std::size_t end = rest.find('/', at);
        if (end == std::string::npos) end = rest.size();
        const std::string part = rest.substr(at, end - at);
        at = end + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            done += "../";
            continue;
        }
        const std::string entry = entry_like(done, part);
        if (entry.empty()) return std::string();
        done += entry;
        if (end < rest.size()) done += '/';
    }
    return done;
}
