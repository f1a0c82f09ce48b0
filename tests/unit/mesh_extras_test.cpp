// What is built from a model after its import (the unique edges, the lighter
// surface) and which of them a frame draws.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <utility>

#include "model/mesh_edges.h"
#include "model/mesh_lighter.h"
#include "model/model_buffers.h"
#include "model/motion_detail.h"

namespace {

Mesh mesh_of(const std::vector<float>& positions) {
    Mesh mesh;
    mesh.vertices = positions.size() / 3;
    mesh.positions = make_float_array(positions.size());
    mesh.normals = make_float_array(positions.size());
    std::copy(positions.begin(), positions.end(), mesh.positions.get());
    std::fill(mesh.normals.get(), mesh.normals.get() + positions.size(), 0.0f);
    return mesh;
}

// The edges as unordered pairs, to compare with what a case expects.
std::set<std::pair<std::uint32_t, std::uint32_t>> edge_set(const std::vector<std::uint32_t>& edges) {
    std::set<std::pair<std::uint32_t, std::uint32_t>> set;
    for (std::size_t i = 0; i + 1 < edges.size(); i += 2)
        set.insert({std::min(edges[i], edges[i + 1]), std::max(edges[i], edges[i + 1])});
    return set;
}

// A square grid of n x n quads in the plane z = 0, each quad as two
// triangles with corners of their own, as an STL file gives them.
Mesh grid_soup(int n) {
    std::vector<float> positions;
    auto corner = [&](int x, int y) {
        positions.push_back(float(x));
        positions.push_back(float(y));
        positions.push_back(0.0f);
    };
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const int corners[6][2] = {{x, y}, {x + 1, y}, {x + 1, y + 1}, {x, y}, {x + 1, y + 1}, {x, y + 1}};
            for (const auto& c : corners) corner(c[0], c[1]);
        }
    Mesh mesh = mesh_of(positions);
    for (std::uint32_t i = 0; i < mesh.vertices; ++i) mesh.triangles.push_back(i);
    return mesh;
}

// Many distinct positions make the table grow several times; a position
// seen long before (no longer among the recent ones) still finds its first
// vertex, and bits that differ (-0 and 0) are different positions.
TEST(MeshEdges, EveryVertexFindsTheFirstAtItsPositionHoweverManyCameBefore) {
    std::vector<float> positions;
    const int distinct = 40000;
    for (int i = 0; i < distinct; ++i) positions.insert(positions.end(), {float(i % 200), float(i / 200), 0.5f});
    for (int i = 0; i < distinct; i += 7) positions.insert(positions.end(), {float(i % 200), float(i / 200), 0.5f});
    positions.insert(positions.end(), {-0.0f, 0.0f, 0.5f});
    const std::vector<std::uint32_t> first = position_representatives(positions.data(), positions.size() / 3);
    for (int i = 0; i < distinct; ++i) ASSERT_EQ(first[i], std::uint32_t(i));
    for (int i = 0, v = distinct; i < distinct; i += 7, ++v) ASSERT_EQ(first[v], std::uint32_t(i)) << v;
    EXPECT_EQ(first.back(), first.size() - 1) << "-0 is not 0 here";
    const DenseVertices dense = weld_positions(positions.data(), positions.size() / 3);
    EXPECT_EQ(dense.vertex.size(), std::size_t(distinct) + 1);
    for (std::size_t v = 0; v < first.size(); ++v) ASSERT_EQ(dense.vertex[dense.number[v]], first[v]);
}

TEST(MeshEdges, EachEdgeOnceWithoutDiagonalsWhateverTheFacesShare) {
    // Six corners; 6 and 7 sit where 0 and 1 are.
    const std::vector<float> positions = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 2, 0, 0, 2, 1, 0, 0, 0, 0, 1, 0, 0};
    using Edges = std::set<std::pair<std::uint32_t, std::uint32_t>>;
    const struct {
        const char* what;
        std::vector<std::uint32_t> triangles, quads, polygons, sizes;
        Edges expected;
    } cases[] = {
        {"two triangles sharing one edge", {0, 1, 2, 0, 2, 3}, {}, {}, {}, {{0, 1}, {1, 2}, {0, 2}, {2, 3}, {0, 3}}},
        {"a quad keeps four edges, no diagonal", {}, {0, 1, 2, 3}, {}, {}, {{0, 1}, {1, 2}, {2, 3}, {0, 3}}},
        {"a pentagon its outline", {}, {}, {0, 1, 4, 5, 3}, {5}, {{0, 1}, {1, 4}, {4, 5}, {3, 5}, {0, 3}}},
        {"corners of their own at one place share",
         {0, 1, 2},
         {7, 6, 3, 2},
         {},
         {},
         {{0, 1}, {1, 2}, {0, 2}, {2, 3}, {0, 3}}},
        {"a quad and a triangle on one edge",
         {1, 4, 5},
         {0, 1, 5, 2},
         {},
         {},
         {{0, 1}, {1, 5}, {2, 5}, {0, 2}, {1, 4}, {4, 5}}},
        {"an edge of one point is left out", {0, 6, 2}, {}, {}, {}, {{0, 2}}},
    };
    for (const auto& c : cases) {
        Mesh mesh = mesh_of(positions);
        mesh.triangles = c.triangles;
        mesh.quads = c.quads;
        mesh.polygons = c.polygons;
        mesh.polygon_sizes = c.sizes;
        std::vector<std::uint32_t> edges;
        build_mesh_edges(mesh, position_representatives(mesh.positions.get(), mesh.vertices), &edges);
        EXPECT_EQ(edge_set(edges), c.expected) << c.what;
        EXPECT_EQ(edges.size(), 2 * c.expected.size()) << c.what << ": each edge once";
    }
}

// Each edge keeps the direction of the first face that has it: a line's
// pixels depend on its direction, and the first outline drawn is what
// today's wireframe shows.
TEST(MeshEdges, AnEdgeRunsAsTheFirstFaceWithItRuns) {
    Mesh mesh = mesh_of({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0});
    mesh.triangles = {2, 1, 0, 0, 2, 3};
    std::vector<std::uint32_t> edges;
    build_mesh_edges(mesh, position_representatives(mesh.positions.get(), mesh.vertices), &edges);
    std::set<std::pair<std::uint32_t, std::uint32_t>> directed;
    for (std::size_t i = 0; i < edges.size(); i += 2) directed.insert({edges[i], edges[i + 1]});
    EXPECT_EQ(directed, (std::set<std::pair<std::uint32_t, std::uint32_t>>{{2, 1}, {1, 0}, {0, 2}, {2, 3}, {3, 0}}));
}

TEST(MeshLighter, ABigMeshGetsASurfaceWithinTheBudgetOverItsOwnVerticesASmallOneNone) {
    const Mesh mesh = grid_soup(40);  // 3200 triangles
    const std::vector<std::uint32_t> representatives = position_representatives(mesh.positions.get(), mesh.vertices);
    std::vector<std::uint32_t> lighter;
    build_lighter_triangles(mesh, representatives, 300, 1000, &lighter);
    ASSERT_FALSE(lighter.empty());
    EXPECT_EQ(lighter.size() % 3, 0u);
    EXPECT_LE(lighter.size(), 3u * 300);
    for (std::uint32_t v : lighter) EXPECT_LT(v, mesh.vertices);

    build_lighter_triangles(mesh, representatives, 300, 3200, &lighter);
    EXPECT_TRUE(lighter.empty()) << "not above the threshold";

    // Far over the budget (clustered first, then simplified): within it,
    // and still over the whole sheet.
    const Mesh big = grid_soup(120);  // 28,800 triangles
    build_lighter_triangles(big, position_representatives(big.positions.get(), big.vertices), 500, 1000, &lighter);
    EXPECT_GT(lighter.size(), 3u * 100);
    EXPECT_LE(lighter.size(), 3u * 500);
    float low[2] = {1e9f, 1e9f}, high[2] = {-1e9f, -1e9f};
    for (std::uint32_t v : lighter)
        for (int k = 0; k < 2; ++k) {
            low[k] = std::min(low[k], big.positions[3 * v + k]);
            high[k] = std::max(high[k], big.positions[3 * v + k]);
        }
    for (int k = 0; k < 2; ++k) EXPECT_TRUE(low[k] < 12.0f && high[k] > 108.0f) << low[k] << " " << high[k];

    // What the worker adds: a mesh under the threshold gets only its edges.
    Mesh small = grid_soup(2);
    build_mesh_extras(&small);
    EXPECT_EQ(small.edges.size(), 2u * 16) << "12 sides of the squares and 4 diagonals";
    EXPECT_TRUE(small.lighter_triangles.empty() && small.lighter_edges.empty());
}

// Over the threshold the edges are built beside the lighter mesh: both as
// each is built alone.
TEST(MeshLighter, ABigMeshGetsTheSameExtrasAsEachBuiltAlone) {
    Mesh big = grid_soup(320);  // 204,800 triangles, over lighter_threshold
    ASSERT_GT(triangle_count_of(big), lighter_threshold);
    const DenseVertices dense = weld_positions(big.positions.get(), big.vertices);
    std::vector<std::uint32_t> edges, lighter, lighter_edges;
    build_mesh_edges(big, dense, &edges);
    build_lighter_triangles(big, dense, lighter_triangle_budget, lighter_threshold, &lighter);
    build_triangle_edges(lighter, dense, &lighter_edges);
    build_mesh_extras(&big);
    EXPECT_EQ(big.edges, edges);
    EXPECT_EQ(big.lighter_triangles, lighter);
    EXPECT_EQ(big.lighter_edges, lighter_edges);
    EXPECT_EQ(edge_set(big.edges).size(), 3u * 320 * 320 + 2u * 320) << "sides and diagonals, each once";
    EXPECT_FALSE(big.lighter_edges.empty());
}

TEST(MotionDetail, LighterWhileMovingOverBudgetFullSoonAfterTheMotionStopsOrWhenAsked) {
    const float slow = 0.1f, quick = 0.01f;
    MotionDetail detail;
    const struct {
        bool moving;
        float frame_seconds;
        std::uint32_t now_ms;
        bool lighter;
    } steps[] = {
        {true, quick, 0, false},   // moving, but frames are quick
        {false, slow, 20, false},  // slow, but nothing moves
        {true, slow, 40, true},    // both
        {true, quick, 60, true},   // the lighter frames are quick: it stays while moving
        {false, quick, 200, true},  {false, quick, 359, true},
        {false, quick, 360, false},  // 300 ms after the last motion
    };
    for (const auto& step : steps)
        EXPECT_EQ(detail.update(step.moving, step.frame_seconds, step.now_ms), step.lighter) << step.now_ms;
    detail.update(true, slow, 400);
    detail.full_detail = true;
    EXPECT_FALSE(detail.update(true, slow, 420)) << "full detail asked for";
}

TEST(GlBuffers, TheVersionStringTellsWhetherBuffersAreCore) {
    const struct {
        const char* version;
        bool buffers;
    } cases[] = {{"1.1.0", false},
                 {"1.4 Mesa", false},
                 {"1.5", true},
                 {"2.1 Mesa 22.3.6", true},
                 {"4.5 (Compatibility Profile) Mesa", true},
                 {"", false},
                 {nullptr, false},
                 {"OpenGL ES 3.0", false}};
    for (const auto& c : cases)
        EXPECT_EQ(gl_version_has_buffers(c.version), c.buffers) << (c.version ? c.version : "null");
}

}  // namespace
