// The import worker's reply read as untrusted bytes: a mesh comes through in
// pieces of any size, and every lie about counts, sizes or indices is
// refused without reading past what arrived.
#include "model/mesh_wire.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

const MeshLimits limits = {1000, 1000};

void append(void* context, const void* bytes, std::size_t size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(bytes), size);
}

// A quad, a triangle and a pentagon over six vertices.
Mesh sample_mesh() {
    Mesh mesh;
    mesh.vertices = 6;
    mesh.positions = make_float_array(18);
    mesh.normals = make_float_array(18);
    for (int i = 0; i < 18; ++i) {
        mesh.positions[i] = float(i) - 9.5f;
        mesh.normals[i] = i % 3 == 2 ? 1.0f : 0.0f;
    }
    mesh.triangles = {0, 1, 2};
    mesh.quads = {0, 1, 2, 3};
    mesh.polygons = {0, 1, 2, 3, 4};
    mesh.polygon_sizes = {5};
    return mesh;
}

std::string reply_of(const Mesh& mesh, const std::function<void(const WireSink&)>& before = nullptr) {
    std::string bytes;
    const WireSink sink = {append, &bytes};
    if (before) before(sink);
    write_mesh_record(sink, mesh);
    return bytes;
}

// The mesh record and its arrays (false), or the extras record and its.
std::string record_of(const Mesh& mesh, bool extras) {
    std::string bytes;
    const WireSink sink = {append, &bytes};
    if (extras)
        write_extras_record(sink, mesh);
    else
        write_geometry_record(sink, mesh);
    return bytes;
}

// Feeds the bytes `piece` at a time, then the end of input.
ReplyState feed(ReplyReader& reader, const std::string& bytes, std::size_t piece) {
    reader.reset(limits);
    for (std::size_t at = 0; at < bytes.size() && reader.state() == ReplyState::reading;) {
        std::size_t room = 0;
        unsigned char* space = reader.next_space(&room);
        EXPECT_GT(room, 0u);
        const std::size_t n = std::min({room, piece, bytes.size() - at});
        std::memcpy(space, bytes.data() + at, n);
        reader.advance(n);
        at += n;
    }
    return reader.end_of_input();
}

TEST(ReplyReader, AMeshComesThroughWholeInPiecesOfAnySizeWithItsProgress) {
    const std::string bytes = reply_of(sample_mesh(), [](const WireSink& sink) {
        write_progress_record(sink, 40);
        write_progress_record(sink, 20);  // never falls
    });
    for (std::size_t piece : {std::size_t(1), std::size_t(7), std::size_t(4096), bytes.size()}) {
        ReplyReader reader;
        ASSERT_EQ(feed(reader, bytes, piece), ReplyState::mesh) << piece << ": " << reader.reason();
        EXPECT_EQ(reader.percent(), 40);
        const Mesh mesh = reader.take_mesh();
        const Mesh sent = sample_mesh();
        ASSERT_EQ(mesh.vertex_count(), 6u);
        EXPECT_EQ(std::memcmp(mesh.positions.get(), sent.positions.get(), 18 * sizeof(float)), 0);
        EXPECT_EQ(std::memcmp(mesh.normals.get(), sent.normals.get(), 18 * sizeof(float)), 0);
        EXPECT_EQ(mesh.triangles, sent.triangles);
        EXPECT_EQ(mesh.quads, sent.quads);
        EXPECT_EQ(mesh.polygons, sent.polygons);
        EXPECT_EQ(mesh.polygon_sizes, sent.polygon_sizes);
    }
}

// The worker's figure stops short of the arrays; their arrival is counted
// as the bytes come, whole only once the mesh is.
TEST(ReplyReader, TheArraysArrivalIsCountedAsTheyCome) {
    const std::string bytes = reply_of(sample_mesh());
    ReplyReader reader;
    reader.reset(limits);
    std::vector<int> seen;
    for (std::size_t at = 0; at < bytes.size();) {
        std::size_t room = 0;
        unsigned char* space = reader.next_space(&room);
        const std::size_t n = std::min({room, std::size_t(16), bytes.size() - at});
        std::memcpy(space, bytes.data() + at, n);
        reader.advance(n);
        at += n;
        seen.push_back(reader.arrived_percent());
    }
    EXPECT_EQ(seen.front(), 0) << "nothing before the mesh record";
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [](int p) { return p > 0 && p < 100; }));
    EXPECT_EQ(reader.end_of_input(), ReplyState::mesh);
    EXPECT_EQ(reader.arrived_percent(), 100);
}

TEST(ReplyReader, TheWorkersOwnAnswersArriveAsThemselves) {
    std::string bytes;
    const WireSink sink = {append, &bytes};
    write_failure_record(sink, "The file is empty.");
    ReplyReader reader;
    EXPECT_EQ(feed(reader, bytes, 3), ReplyState::failed);
    EXPECT_EQ(reader.reason(), "The file is empty.");
    bytes.clear();
    write_progress_record(sink, 5);
    write_out_of_memory_record(sink);
    EXPECT_EQ(feed(reader, bytes, 64), ReplyState::out_of_memory);
    // Out of memory while the edges were built, after the mesh had gone out.
    bytes = record_of(sample_mesh(), false);
    write_progress_record(sink, 85);
    write_out_of_memory_record(sink);
    EXPECT_EQ(feed(reader, bytes, 64), ReplyState::out_of_memory);
}

// Each lie is refused, whatever comes after it.
TEST(ReplyReader, EveryMalformedReplyIsRefused) {
    const std::string good = reply_of(sample_mesh());
    const std::size_t arrays = 5 + 4 + 6 * 12;  // where the arrays begin
    auto mesh_with = [](const std::function<void(Mesh&)>& change) {
        Mesh mesh = sample_mesh();
        change(mesh);
        return reply_of(mesh);
    };
    auto patched = [&](std::size_t at, const std::string& with) {
        std::string bytes = good;
        bytes.replace(at, with.size(), with);
        return bytes;
    };
    const float nan = std::nanf("");
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"nothing at all", ""},
        {"an unknown record", std::string("Z\0\0\0\0", 5)},
        {"a record too long", std::string("F\xff\xff\xff\x7f", 5)},
        {"progress over 100", std::string("P\1\0\0\0\x65", 6)},
        {"a truncated record", std::string("F\x10\0\0\0abc", 8)},
        {"a mesh cut short", good.substr(0, good.size() - 1)},
        {"bytes after the mesh", good + "x"},
        {"a wrong array count", patched(5, std::string("\5\0\0\0", 4))},
        {"arrays out of order", patched(9, std::string("\2\0\0\0", 4))},
        {"positions not in threes", patched(13, std::string("\x11", 1))},
        {"more vertices than the limit", patched(13, std::string("\xb8\x0b", 2))},
        {"a corner outside the model", mesh_with([](Mesh& m) { m.quads[2] = 6; })},
        {"a face of two corners", mesh_with([](Mesh& m) { m.polygon_sizes[0] = 2; })},
        {"corners that do not add up", mesh_with([](Mesh& m) { m.polygons.push_back(1); })},
        {"a coordinate that is no number", mesh_with([nan](Mesh& m) { m.positions[4] = nan; })},
        {"a normal that is no number", mesh_with([nan](Mesh& m) { m.normals[17] = nan; })},
        {"more faces than the limit", mesh_with([](Mesh& m) { m.triangles.assign(3 * 1001, 0); })},
        {"the mesh without its extras", record_of(sample_mesh(), false)},
        {"the extras without the mesh", record_of(sample_mesh(), true)},
        {"the mesh twice", record_of(sample_mesh(), false) + good},
        {"the extras twice", good + record_of(sample_mesh(), true)},
    };
    ASSERT_EQ(good[arrays - 12], 6) << "the last array's id, where the layout says";
    for (const Case& c : cases) {
        ReplyReader reader;
        EXPECT_EQ(feed(reader, c.bytes, 5), ReplyState::malformed) << c.what;
        EXPECT_FALSE(reader.reason().empty()) << c.what;
        EXPECT_EQ(reader.take_mesh().vertex_count(), 0u) << c.what;
    }
}

// The sample with a look: colours, coordinates, two parts, two materials,
// one 2 x 1 texture and one that could not be read.
Mesh sample_with_look() {
    Mesh mesh = sample_mesh();
    for (int i = 0; i < 24; ++i) mesh.colours.push_back(static_cast<std::uint8_t>(10 * i));
    for (int i = 0; i < 12; ++i) mesh.uvs.push_back(0.25f * float(i));
    mesh.parts = {{0, 0, 1, 0, 0, 0, 0, 0}, {1, 1, 0, 0, 1, 0, 1, 0}};
    mesh.materials = {{{1.0f, 0.5f, 0.0f, 1.0f}, 0}, {{0.2f, 0.2f, 0.2f, 0.5f}, no_texture}};
    mesh.textures = {{2, 1}, {0, 0}};
    mesh.texel_count = 2;
    mesh.texels.reset(new std::uint32_t[2]{0xFF0000FFu, 0xFF00FF00u});
    return mesh;
}

TEST(ReplyReader, AModelsLookComesThroughWhole) {
    const std::string bytes = reply_of(sample_with_look());
    ReplyReader reader;
    ASSERT_EQ(feed(reader, bytes, 13), ReplyState::mesh) << reader.reason();
    const Mesh mesh = reader.take_mesh(), sent = sample_with_look();
    EXPECT_EQ(mesh.colours, sent.colours);
    EXPECT_EQ(mesh.uvs, sent.uvs);
    ASSERT_EQ(mesh.parts.size(), 2u);
    EXPECT_EQ(std::memcmp(mesh.parts.data(), sent.parts.data(), 2 * sizeof(MeshPart)), 0);
    ASSERT_EQ(mesh.materials.size(), 2u);
    EXPECT_EQ(std::memcmp(mesh.materials.data(), sent.materials.data(), 2 * sizeof(MeshMaterial)), 0);
    ASSERT_EQ(mesh.textures.size(), 2u);
    EXPECT_EQ(mesh.unreadable_textures(), 1u);
    ASSERT_EQ(mesh.texel_count, 2u);
    EXPECT_EQ(mesh.texels[1], 0xFF00FF00u);
}

TEST(ReplyReader, EveryLookThatDoesNotFitTheModelIsRefused) {
    const float nan = std::nanf("");
    struct Case {
        const char* what;
        std::function<void(Mesh&)> change;
    } cases[] = {
        {"colours for some vertices only", [](Mesh& m) { m.colours.resize(20); }},
        {"coordinates for some vertices only", [](Mesh& m) { m.uvs.pop_back(); }},
        {"a coordinate that is no number", [nan](Mesh& m) { m.uvs[3] = nan; }},
        {"a part past its faces", [](Mesh& m) { m.parts[0].triangle_count = 2; }},
        {"a part's polygons past the list", [](Mesh& m) { m.parts[1].polygon_begin = 1; }},
        {"a part's corners not where its polygons begin", [](Mesh& m) { m.parts[1].corner_begin = 2; }},
        {"a part of a material not sent", [](Mesh& m) { m.parts[1].material = 2; }},
        {"more parts than faces", [](Mesh& m) { m.parts.resize(5, m.parts[0]); }},
        {"parts without materials",
         [](Mesh& m) {
             m.materials.clear();
             m.textures.clear();
             m.texel_count = 0;
         }},
        {"a material of a texture not sent", [](Mesh& m) { m.materials[1].texture = 2; }},
        {"a colour over one", [](Mesh& m) { m.materials[0].colour[1] = 1.5f; }},
        {"a colour that is no number", [nan](Mesh& m) { m.materials[1].colour[3] = nan; }},
        {"texels that do not add up",
         [](Mesh& m) {
             m.textures[1] = {1, 1};
         }},
        {"a texture of no height",
         [](Mesh& m) {
             m.textures[0] = {2, 0};
         }},
        {"a texture wider than the limit",
         [](Mesh& m) {
             m.textures[0] = {1u << 20, 1};
         }},
    };
    for (const Case& c : cases) {
        Mesh mesh = sample_with_look();
        c.change(mesh);
        ReplyReader reader;
        EXPECT_EQ(feed(reader, reply_of(mesh), 64), ReplyState::malformed) << c.what;
        EXPECT_EQ(reader.take_mesh().vertex_count(), 0u) << c.what;
    }
}

// The arrays the worker builds after the import: the edges and the lighter
// surface come through, and lies in them are refused as the faces' are.
TEST(ReplyReader, EdgesAndTheLighterMeshComeThroughAndTheirLiesAreRefused) {
    auto with_extras = [](const std::function<void(Mesh&)>& change) {
        Mesh mesh = sample_mesh();
        mesh.edges = {0, 1, 1, 2, 2, 0};
        mesh.lighter_triangles = {0, 1, 2, 3, 4, 5};
        mesh.lighter_edges = {0, 1, 4, 5};
        if (change) change(mesh);
        return mesh;
    };
    ReplyReader reader;
    ASSERT_EQ(feed(reader, reply_of(with_extras(nullptr)), 7), ReplyState::mesh) << reader.reason();
    const Mesh got = reader.take_mesh(), sent = with_extras(nullptr);
    EXPECT_EQ(got.edges, sent.edges);
    EXPECT_EQ(got.lighter_triangles, sent.lighter_triangles);
    EXPECT_EQ(got.lighter_edges, sent.lighter_edges);

    const struct {
        const char* what;
        std::function<void(Mesh&)> change;
    } lies[] = {
        {"an edge outside the model", [](Mesh& m) { m.edges[3] = 6; }},
        {"half an edge", [](Mesh& m) { m.edges.push_back(1); }},
        {"more edges than corners", [](Mesh& m) { m.edges.assign(2 * 13, 0); }},
        {"a lighter corner outside the model", [](Mesh& m) { m.lighter_triangles[5] = 9; }},
        {"a lighter surface not in threes", [](Mesh& m) { m.lighter_triangles.pop_back(); }},
        {"a lighter edge outside the model", [](Mesh& m) { m.lighter_edges[0] = 6; }},
        {"more lighter edges than its triangles have", [](Mesh& m) { m.lighter_edges.assign(14, 0); }},
    };
    for (const auto& lie : lies) {
        EXPECT_EQ(feed(reader, reply_of(with_extras(lie.change)), 5), ReplyState::malformed) << lie.what;
        EXPECT_EQ(reader.take_mesh().vertex_count(), 0u) << lie.what;
    }
}

}  // namespace
