// A model's arrays in GL buffer objects (GL 1.5, or ARB_vertex_buffer_object
// before it), uploaded once per model instead of read from client memory at
// every draw; the client arrays stay the way on a plain GL 1.1.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/mesh.h"
#include "platform/gl.h"

// Where one index list lies for glDrawElements: an offset into the bound
// element buffer, or the mesh's own array.
struct IndexList {
    const void* first = nullptr;
    GLsizei count = 0;
};

// Where the draws read a mesh from.
struct MeshArrays {
    const void* positions = nullptr;
    const void* normals = nullptr;
    GLenum index_type = GL_UNSIGNED_INT;  // GL_UNSIGNED_SHORT where every index fits
    std::size_t index_bytes = 4;
    IndexList triangles, quads, polygons, edges, lighter_triangles, lighter_edges;
};

// The buffer entry points of the current context, found by name through
// `lookup` (the platform's GL procedure addresses): the core ones from
// GL 1.5 on, else the extension's.
struct GlBufferCalls {
    typedef void(APIENTRY* GenBuffers)(GLsizei, GLuint*);
    typedef void(APIENTRY* DeleteBuffers)(GLsizei, const GLuint*);
    typedef void(APIENTRY* BindBuffer)(GLenum, GLuint);
    typedef void(APIENTRY* BufferData)(GLenum, std::ptrdiff_t, const void*, GLenum);
    typedef void(APIENTRY* BufferSubData)(GLenum, std::ptrdiff_t, std::ptrdiff_t, const void*);
    typedef GLboolean(APIENTRY* IsBuffer)(GLuint);
    GenBuffers gen = nullptr;
    DeleteBuffers remove = nullptr;
    BindBuffer bind = nullptr;
    BufferData data = nullptr;
    BufferSubData sub_data = nullptr;
    IsBuffer is_buffer = nullptr;

    // False, every call null, where the GL has no buffer objects.
    bool load(void* (*lookup)(const char* name));
    bool loaded() const { return gen != nullptr; }
};

// True for a GL_VERSION of 1.5 or later ("1.5", "2.1 Mesa ...", "4.5 (Compatibility Profile)").
bool gl_version_has_buffers(const char* version);

class ModelBuffers {
public:
    // Where to draw the mesh from. The first call for a mesh makes and fills
    // its buffers and leaves them bound, as every later call does; where the
    // GL has no buffers or no room for them, the mesh's own arrays with
    // nothing bound (and no new try for that mesh).
    MeshArrays bind(const Mesh& mesh, void* (*lookup)(const char* name));
    // The mesh's own arrays, nothing bound: for drawing that reads other
    // arrays of the mesh from client memory too (a model's look).
    static MeshArrays client_arrays(const Mesh& mesh);
    // Back to client arrays for the frame's other drawing.
    void unbind() const;
    // Deletes the buffers in the current context (the one they were made
    // in): before that context goes, or when the mesh is gone.
    void release();

    bool on_gpu() const { return array_buffer_ != 0; }
    // Bytes held by the GL for the mesh.
    std::size_t gpu_bytes() const { return gpu_bytes_; }

private:
    struct Source {
        const float* positions = nullptr;
        std::size_t vertices = 0;
        const std::uint32_t* lists[7] = {};
        std::size_t sizes[7] = {};
        bool operator==(const Source& other) const;
    };
    static Source source_of(const Mesh& mesh);
    bool upload(const Mesh& mesh);

    GlBufferCalls gl_;
    Source source_;
    bool tried_ = false;  // for source_: buffers made, or the client arrays chosen
    GLuint array_buffer_ = 0, element_buffer_ = 0;
    std::size_t gpu_bytes_ = 0;
    MeshArrays arrays_;  // of the buffers
};
