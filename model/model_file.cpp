// Model files through Assimp. The importer is a library that throws: every
// exception stops at this layer and becomes a reason.
#include "model/model_file.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <assimp/Importer.hpp>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>

#ifdef _WIN32
#include <sys/stat.h>
#include "platform/gl.h"  // <windows.h>
#else
#include <sys/stat.h>
#endif

// 1 GiB of file: the importers read a whole file into memory and build a
// scene several times its size. 10 million faces and 32 million vertices:
// a binary STL of the largest size opened has 21 million faces, and 32
// million vertices take 768 MiB in our arrays alone (positions and
// normals), beyond which llvmpipe needs seconds per frame anyway.
ModelLimits model_limits = {std::uint64_t(1) << 30, {10000000, 32000000}};

namespace {

// The file's size, or false with the reason. UTF-8 path on every system.
bool file_size(const char* path, std::uint64_t* size, std::string* reason) {
#ifdef _WIN32
    wchar_t wide[1024];
    if (MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, 1024) == 0) {
        *reason = "The file name is too long.";
        return false;
    }
    struct _stat64 info;
    if (_wstat64(wide, &info) != 0) {
        *reason = std::strerror(errno);
        return false;
    }
    if (info.st_mode & _S_IFDIR) {
        *reason = "It is a folder, not a file.";
        return false;
    }
#else
    struct stat info;
    if (stat(path, &info) != 0) {
        *reason = std::strerror(errno);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        *reason = "It is a folder, not a file.";
        return false;
    }
#endif
    *size = static_cast<std::uint64_t>(info.st_size);
    return true;
}

std::FILE* open_file(const char* path) {
#ifdef _WIN32
    wchar_t wide[1024];
    if (MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, 1024) == 0) return nullptr;
    return _wfopen(wide, L"rb");
#else
    return std::fopen(path, "rb");
#endif
}

// The first bytes of the file, enough for any header we look at.
constexpr std::size_t head_capacity = 4096;

bool read_head(const char* path, unsigned char* head, std::size_t* head_size, std::string* reason) {
    std::FILE* file = open_file(path);
    if (!file) {
        *reason = std::strerror(errno);
        return false;
    }
    *head_size = std::fread(head, 1, head_capacity, file);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) *reason = "The file cannot be read.";
    return !failed;
}

// One line of a PLY header: "element NAME COUNT".
bool ply_element(const char* line, std::size_t length, const char* name, std::uint64_t* count) {
    std::size_t name_length = std::strlen(name);
    const char prefix[] = "element ";
    std::size_t p = sizeof prefix - 1;
    if (length < p + name_length + 2 || std::memcmp(line, prefix, p) != 0 ||
        std::memcmp(line + p, name, name_length) != 0 || line[p + name_length] != ' ')
        return false;
    std::uint64_t value = 0;
    bool digits = false;
    for (std::size_t i = p + name_length + 1; i < length && line[i] >= '0' && line[i] <= '9'; ++i) {
        digits = true;
        // Saturates: any count this large is refused anyway.
        value = value > (std::uint64_t(1) << 60) ? value : value * 10 + std::uint64_t(line[i] - '0');
    }
    if (digits) *count = value;
    return digits;
}

std::string refusal(const char* what, std::uint64_t declared, std::uint64_t limit) {
    char text[160];
    std::snprintf(text, sizeof text, "The file declares %llu %s; this viewer opens at most %llu.",
                  static_cast<unsigned long long>(declared), what, static_cast<unsigned long long>(limit));
    return text;
}

}  // namespace

bool declared_counts(const unsigned char* head, std::size_t head_size, std::uint64_t file_size, DeclaredCounts* out) {
    *out = DeclaredCounts{0, 0};
    // Binary STL: the importer takes a file as binary exactly when its size
    // is the header's face count times 50 plus 84.
    if (head_size >= 84) {
        std::uint64_t faces = std::uint64_t(head[80]) | std::uint64_t(head[81]) << 8 | std::uint64_t(head[82]) << 16 |
                              std::uint64_t(head[83]) << 24;
        if (file_size == 84 + 50 * faces) {
            out->faces = faces;
            out->vertices = 3 * faces;
            return true;
        }
    }
    // PLY: "ply" then header lines up to "end_header"; counts of the
    // "vertex" and "face" elements.
    if (head_size < 4 || std::memcmp(head, "ply", 3) != 0 || (head[3] != '\n' && head[3] != '\r')) return false;
    const char* text = reinterpret_cast<const char*>(head);
    bool any = false;
    for (std::size_t start = 0; start < head_size;) {
        std::size_t end = start;
        while (end < head_size && text[end] != '\n' && text[end] != '\r') ++end;
        std::size_t length = end - start;
        if (length >= 10 && std::memcmp(text + start, "end_header", 10) == 0) break;
        any = ply_element(text + start, length, "vertex", &out->vertices) || any;
        any = ply_element(text + start, length, "face", &out->faces) || any;
        start = end + 1;
    }
    return any;
}

bool read_model_file(const char* path, Mesh* mesh, std::string* reason, const ReadProgress& progress) {
    (void)progress;
    *mesh = Mesh();
    reason->clear();
    if (!path || !*path) {
        *reason = "No file name was given.";
        return false;
    }
    std::uint64_t size = 0;
    if (!file_size(path, &size, reason)) return false;
    if (size > model_limits.max_file_bytes) return *reason = refusal("bytes", size, model_limits.max_file_bytes), false;
    if (size == 0) {
        *reason = "The file is empty.";
        return false;
    }

    unsigned char head[head_capacity];
    std::size_t head_size = 0;
    if (!read_head(path, head, &head_size, reason)) return false;
    DeclaredCounts declared;
    if (declared_counts(head, head_size, size, &declared)) {
        if (declared.faces > model_limits.mesh.max_faces) {
            *reason = refusal("faces", declared.faces, model_limits.mesh.max_faces);
            return false;
        }
        if (declared.vertices > model_limits.mesh.max_vertices) {
            *reason = refusal("vertices", declared.vertices, model_limits.mesh.max_vertices);
            return false;
        }
    }

    try {
        Assimp::Importer importer;
        // No triangulation: quads and larger faces stay as the file has them.
        if (!importer.ReadFile(path, aiProcess_ValidateDataStructure)) {
            const char* why = importer.GetErrorString();
            *reason = why && *why ? why : "The importer could not read the file.";
            return false;
        }
        // Ours, so that the conversion can take its arrays over.
        std::unique_ptr<aiScene> scene(importer.GetOrphanedScene());
        MeshError error = MeshError::none;
        if (!mesh_from_scene(scene.get(), model_limits.mesh, mesh, &error)) {
            *reason = mesh_error_text(error);
            return false;
        }
        return true;
    } catch (const std::bad_alloc&) {
        *mesh = Mesh();
        *reason = mesh_error_text(MeshError::out_of_memory);
    } catch (const std::exception& e) {
        *mesh = Mesh();
        *reason = e.what();
    } catch (...) {
        *mesh = Mesh();
        *reason = "The importer failed.";
    }
    return false;
}
