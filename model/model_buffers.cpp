#include "model/model_buffers.h"

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

// The GL 1.5 names, where the system's headers stop at 1.1 (Windows).
#ifndef GL_ARRAY_BUFFER
#define GL_ARRAY_BUFFER 0x8892
#define GL_ELEMENT_ARRAY_BUFFER 0x8893
#define GL_STATIC_DRAW 0x88E4
#endif

namespace {

const void* at_offset(std::size_t offset) { return reinterpret_cast<const void*>(static_cast<std::uintptr_t>(offset)); }

bool has_extension(const char* extensions, const char* name) {
    if (!extensions) return false;
    const std::size_t length = std::char_traits<char>::length(name);
    for (const char* at = extensions; *at;) {
        while (*at == ' ') ++at;
        const char* end = at;
        while (*end && *end != ' ') ++end;
        if (static_cast<std::size_t>(end - at) == length && std::char_traits<char>::compare(at, name, length) == 0)
            return true;
        at = end;
    }
    return false;
}

template <typename Call>
bool find(void* (*lookup)(const char*), const char* name, Call* call) {
    *call = reinterpret_cast<Call>(lookup(name));
    return *call != nullptr;
}

}  // namespace

bool gl_version_has_buffers(const char* version) {
    if (!version) return false;
    char* end = nullptr;
    const long major = std::strtol(version, &end, 10);
    if (end == version || *end != '.') return false;
    const long minor = std::strtol(end + 1, nullptr, 10);
    return major > 1 || (major == 1 && minor >= 5);
}

bool GlBufferCalls::load(void* (*lookup)(const char* name)) {
    *this = GlBufferCalls();
    if (!lookup) return false;
    const char* suffix = nullptr;
    if (gl_version_has_buffers(reinterpret_cast<const char*>(glGetString(GL_VERSION))))
        suffix = "";
    else if (has_extension(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)), "GL_ARB_vertex_buffer_object"))
        suffix = "ARB";
    if (!suffix) return false;
    const std::string s = suffix;
    const bool all =
        find(lookup, ("glGenBuffers" + s).c_str(), &gen) && find(lookup, ("glDeleteBuffers" + s).c_str(), &remove) &&
        find(lookup, ("glBindBuffer" + s).c_str(), &bind) && find(lookup, ("glBufferData" + s).c_str(), &data) &&
        find(lookup, ("glBufferSubData" + s).c_str(), &sub_data) &&
        find(lookup, ("glIsBuffer" + s).c_str(), &is_buffer);
    if (!all) *this = GlBufferCalls();
    return all;
}

bool ModelBuffers::Source::operator==(const Source& other) const {
    if (positions != other.positions || vertices != other.vertices) return false;
    for (int i = 0; i < 7; ++i)
        if (lists[i] != other.lists[i] || sizes[i] != other.sizes[i]) return false;
    return true;
}

ModelBuffers::Source ModelBuffers::source_of(const Mesh& mesh) {
    Source source;
    source.positions = mesh.positions.get();
    source.vertices = mesh.vertex_count();
    const std::vector<std::uint32_t>* lists[7] = {
        &mesh.triangles,         &mesh.quads,         &mesh.polygons,     &mesh.edges,
        &mesh.lighter_triangles, &mesh.lighter_edges, &mesh.polygon_sizes};
    for (int i = 0; i < 7; ++i) {
        source.lists[i] = lists[i]->data();
        source.sizes[i] = lists[i]->size();
    }
    return source;
}

MeshArrays ModelBuffers::client_arrays(const Mesh& mesh) {
    MeshArrays arrays;
    arrays.positions = mesh.positions.get();
    arrays.normals = mesh.normals.get();
    IndexList* out[6] = {&arrays.triangles,         &arrays.quads,        &arrays.polygons, &arrays.edges,
                         &arrays.lighter_triangles, &arrays.lighter_edges};
    const std::vector<std::uint32_t>* lists[6] = {
        &mesh.triangles, &mesh.quads, &mesh.polygons, &mesh.edges, &mesh.lighter_triangles, &mesh.lighter_edges};
    for (int i = 0; i < 6; ++i) *out[i] = IndexList{lists[i]->data(), static_cast<GLsizei>(lists[i]->size())};
    return arrays;
}

MeshArrays ModelBuffers::bind(const Mesh& mesh, void* (*lookup)(const char* name)) {
    const Source source = source_of(mesh);
    // Another context (a window reopened, a picture drawn offscreen) has
    // none of the names made in the last one.
    if (tried_ && on_gpu() && !gl_.is_buffer(array_buffer_)) {
        array_buffer_ = element_buffer_ = 0;
        tried_ = false;
    }
    if (!tried_ || !(source == source_)) {
        release();
        source_ = source;
        if (gl_.load(lookup) && mesh.vertex_count() > 0 && !upload(mesh)) release();
        tried_ = true;
    }
    if (!on_gpu()) return client_arrays(mesh);
    gl_.bind(GL_ARRAY_BUFFER, array_buffer_);
    gl_.bind(GL_ELEMENT_ARRAY_BUFFER, element_buffer_);
    return arrays_;
}

bool ModelBuffers::upload(const Mesh& mesh) {
    const std::size_t vertex_bytes = 3 * sizeof(float) * mesh.vertex_count();
    const bool short_indices = mesh.vertex_count() <= 0x10000;
    const std::size_t index_bytes = short_indices ? 2 : 4;
    const std::vector<std::uint32_t>* lists[6] = {
        &mesh.triangles, &mesh.quads, &mesh.polygons, &mesh.edges, &mesh.lighter_triangles, &mesh.lighter_edges};
    IndexList* out[6] = {&arrays_.triangles,         &arrays_.quads,        &arrays_.polygons, &arrays_.edges,
                         &arrays_.lighter_triangles, &arrays_.lighter_edges};
    std::size_t indices = 0;
    for (const std::vector<std::uint32_t>* list : lists) indices += list->size();

    // Errors left by earlier drawing are not this upload's.
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
    GLuint names[2] = {0, 0};
    gl_.gen(2, names);
    array_buffer_ = names[0];
    element_buffer_ = names[1];
    gl_.bind(GL_ARRAY_BUFFER, array_buffer_);
    gl_.data(GL_ARRAY_BUFFER, static_cast<std::ptrdiff_t>(2 * vertex_bytes), nullptr, GL_STATIC_DRAW);
    gl_.sub_data(GL_ARRAY_BUFFER, 0, static_cast<std::ptrdiff_t>(vertex_bytes), mesh.positions.get());
    gl_.sub_data(GL_ARRAY_BUFFER, static_cast<std::ptrdiff_t>(vertex_bytes), static_cast<std::ptrdiff_t>(vertex_bytes),
                 mesh.normals.get());
    gl_.bind(GL_ELEMENT_ARRAY_BUFFER, element_buffer_);
    gl_.data(GL_ELEMENT_ARRAY_BUFFER, static_cast<std::ptrdiff_t>(indices * index_bytes), nullptr, GL_STATIC_DRAW);
    try {
        std::vector<std::uint16_t> narrow;
        std::size_t offset = 0;
        for (int i = 0; i < 6; ++i) {
            const std::vector<std::uint32_t>& list = *lists[i];
            *out[i] = IndexList{at_offset(offset), static_cast<GLsizei>(list.size())};
            if (list.empty()) continue;
            const void* bytes = list.data();
            if (short_indices) {
                narrow.assign(list.begin(), list.end());
                bytes = narrow.data();
            }
            gl_.sub_data(GL_ELEMENT_ARRAY_BUFFER, static_cast<std::ptrdiff_t>(offset),
                         static_cast<std::ptrdiff_t>(list.size() * index_bytes), bytes);
            offset += list.size() * index_bytes;
        }
    } catch (const std::bad_alloc&) {
        unbind();
        return false;
    }
    unbind();
    if (glGetError() != GL_NO_ERROR) return false;
    arrays_.positions = at_offset(0);
    arrays_.normals = at_offset(vertex_bytes);
    arrays_.index_type = short_indices ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT;
    arrays_.index_bytes = index_bytes;
    gpu_bytes_ = 2 * vertex_bytes + indices * index_bytes;
    return true;
}

void ModelBuffers::unbind() const {
    if (!gl_.loaded()) return;
    gl_.bind(GL_ARRAY_BUFFER, 0);
    gl_.bind(GL_ELEMENT_ARRAY_BUFFER, 0);
}

void ModelBuffers::release() {
    if (on_gpu()) {
        const GLuint names[2] = {array_buffer_, element_buffer_};
        gl_.remove(2, names);
    }
    array_buffer_ = element_buffer_ = 0;
    gpu_bytes_ = 0;
    tried_ = false;
}
