// The import worker's reply as the viewer reads it: any bytes, in pieces of
// any size, end as a checked mesh or a refusal, never a read or write
// outside what arrived or what was made for it.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "model/mesh_wire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // The first byte chooses the size of the pieces.
    const std::size_t piece = 1 + data[0] % 64;
    ++data;
    --size;
    ReplyReader reader;
    reader.reset(MeshLimits{1000, 1000});
    std::size_t at = 0;
    while (at < size && reader.state() == ReplyState::reading) {
        std::size_t room = 0;
        unsigned char* space = reader.next_space(&room);
        if (!space || room == 0) std::abort();
        const std::size_t n = room < piece ? room : piece;
        const std::size_t take = n < size - at ? n : size - at;
        std::memcpy(space, data + at, take);
        reader.advance(take);
        at += take;
    }
    const ReplyState end = reader.end_of_input();
    if (end == ReplyState::reading) std::abort();
    const Mesh mesh = reader.take_mesh();
    if (end == ReplyState::mesh) {
        // Every corner the mesh names is one of its vertices.
        for (std::uint32_t index : mesh.triangles)
            if (index >= mesh.vertex_count()) std::abort();
        for (const std::vector<std::uint32_t>* list :
             {&mesh.polygons, &mesh.quads, &mesh.edges, &mesh.lighter_triangles, &mesh.lighter_edges})
            for (std::uint32_t index : *list)
                if (index >= mesh.vertex_count()) std::abort();
        if (mesh.edges.size() % 2 || mesh.lighter_triangles.size() % 3 || mesh.lighter_edges.size() % 2) std::abort();
        // The look fits the model: what is drawn from it stays inside it.
        if (!mesh.colours.empty() && mesh.colours.size() != 4 * mesh.vertex_count()) std::abort();
        if (!mesh.uvs.empty() && mesh.uvs.size() != 2 * mesh.vertex_count()) std::abort();
        for (const MeshPart& p : mesh.parts) {
            if (p.material >= mesh.materials.size()) std::abort();
            if (3 * (std::uint64_t(p.triangle_begin) + p.triangle_count) > mesh.triangles.size()) std::abort();
            if (4 * (std::uint64_t(p.quad_begin) + p.quad_count) > mesh.quads.size()) std::abort();
            if (std::uint64_t(p.polygon_begin) + p.polygon_count > mesh.polygon_sizes.size()) std::abort();
            std::uint64_t corners = p.corner_begin;
            for (std::uint32_t i = 0; i < p.polygon_count; ++i) corners += mesh.polygon_sizes[p.polygon_begin + i];
            if (corners > mesh.polygons.size()) std::abort();
        }
        std::uint64_t texels = 0;
        for (const MeshTexture& t : mesh.textures) texels += std::uint64_t(t.width) * t.height;
        if (texels != mesh.texel_count) std::abort();
        for (const MeshMaterial& m : mesh.materials)
            if (m.texture != no_texture && m.texture >= mesh.textures.size()) std::abort();
    } else if (mesh.vertex_count() != 0) {
        std::abort();
    }
    return 0;
}
