// Looking a model over: the turntable's turns, zoom and pan, the fit in the
// frame, the up axis, the info line, the fitted separation, and the facts
// on the worker's wire.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "app/input.h"
#include "camera/turntable.h"
#include "model/mesh_wire.h"
#include "model/model_view.h"
#include "stereo/parallax.h"
#include "stereo/test_object.h"

namespace {

const float tan_half_height = std::tan(22.5f * 3.14159265f / 180.0f);

// --- the turntable -----------------------------------------------------------

TEST(TurntableTest, DragsTurnTheModelWithThePointerAndTheTiltStopsShortOfThePoles) {
    Turntable t;
    t.turn(31.0f, 0.0f);  // right: the camera goes round to the model's left
    EXPECT_NEAR(t.yaw, -0.31f, 1e-6f);
    EXPECT_LT(t.position().x, 0.0f);
    EXPECT_NEAR(std::hypot(t.position().x, t.position().z), 5.0f, 1e-5f) << "the orbit keeps its distance";
    t.turn(0.0f, 20.0f);  // down: seen from above
    EXPECT_GT(t.position().y, 0.0f);
    t.turn(0.0f, 1e6f);
    EXPECT_GT(t.direction().y, -1.0f) << "never straight down, where the view's up is lost";
    EXPECT_LT(t.pitch, 1.5708f);
    t.turn(0.0f, -2e6f);
    EXPECT_GT(t.pitch, -1.5708f);
    t.reset();
    EXPECT_EQ(t.position().z, 5.0f);
    EXPECT_EQ(t.direction().z, -1.0f);
}

TEST(TurntableTest, WheelNotchesZoomInStepsThatUndoEachOtherAndStopAtTheLimits) {
    Turntable t;
    t.zoom(2.0f);
    EXPECT_NEAR(t.distance, 5.0f * 0.875f * 0.875f, 1e-5f);
    t.zoom(-2.0f);
    EXPECT_NEAR(t.distance, 5.0f, 1e-5f);
    t.zoom(1000.0f);
    EXPECT_GT(t.distance, 0.0f) << "never onto the target";
    t.zoom(-1e6f);
    EXPECT_LT(t.distance, 100.0f) << "the target stays before the far plane";
    t.zoom(std::nanf(""));
    EXPECT_TRUE(std::isfinite(t.distance));
}

TEST(TurntableTest, PanMovesTheModelWithThePointerAtTheTargetsDepth) {
    Turntable t;
    // 600 pixels span 2 * 5 * tan(22.5 degrees) at the target's depth.
    t.pan(100.0f, 60.0f, 600, 45.0f);
    const float per_pixel = 2.0f * 5.0f * tan_half_height / 600.0f;
    EXPECT_NEAR(t.target.x, -100.0f * per_pixel, 1e-4f) << "right: the model goes right, the target left";
    EXPECT_NEAR(t.target.y, 60.0f * per_pixel, 1e-4f) << "down: the model goes down, the target up";
    EXPECT_NEAR(t.distance, 5.0f, 1e-6f);
}

// --- the fit in the frame ------------------------------------------------------

// A box of the given half sizes as eight corners.
std::vector<float> box(float x, float y, float z) {
    std::vector<float> v;
    for (int i = 0; i < 8; ++i) {
        v.push_back(i & 1 ? x : -x);
        v.push_back(i & 2 ? y : -y);
        v.push_back(i & 4 ? z : -z);
    }
    return v;
}

TEST(FrameFitTest, EveryShapeEndsInsideTheMarginOfTheNarrowerField) {
    struct Case {
        const char* what;
        std::vector<float> corners;
        float aspect;
    } cases[] = {
        {"tall", box(0.2f, 2.44f, 0.2f), 4.0f / 3.0f},
        {"flat", box(2.4f, 0.05f, 0.5f), 4.0f / 3.0f},
        {"long", box(2.44f, 0.2f, 0.2f), 0.5f},
        {"deep", box(1.2f, 1.2f, 2.2f), 1.0f},
        {"a cube in a half of side by side", box(1.41f, 1.41f, 1.41f), 400.0f / 600.0f},
    };
    for (const Case& c : cases) {
        const float tw = tan_half_height * c.aspect;
        const float s = frame_fit_scale(c.corners.data(), 8, 5.0f, tw, tan_half_height);
        EXPECT_LT(s, 1.0f) << c.what;
        float widest = 0.0f, highest = 0.0f;
        for (int i = 0; i < 8; ++i) {
            const float depth = 5.0f - s * c.corners[3 * i + 2];
            widest = std::fmax(widest, std::fabs(s * c.corners[3 * i]) / depth / tw);
            highest = std::fmax(highest, std::fabs(s * c.corners[3 * i + 1]) / depth / tan_half_height);
        }
        EXPECT_LE(std::fmax(widest, highest), 1.0f - frame_margin + 1e-5f) << c.what;
        EXPECT_GT(std::fmax(widest, highest), 1.0f - frame_margin - 1e-3f) << c.what << ": no smaller than needed";
    }
    const std::vector<float> small = box(0.5f, 0.5f, 0.5f), point = box(0.0f, 0.0f, 0.0f);
    EXPECT_EQ(frame_fit_scale(small.data(), 8, 5.0f, tan_half_height * 4 / 3, tan_half_height), 1.0f)
        << "what fits keeps its size";
    EXPECT_EQ(frame_fit_scale(point.data(), 8, 5.0f, tan_half_height, tan_half_height), 1.0f);
    EXPECT_EQ(frame_fit_scale(nullptr, 0, 5.0f, tan_half_height, tan_half_height), 1.0f);
}

// --- the up axis -----------------------------------------------------------------

TEST(UpAxisTest, ZUpTurnsTheFilesZToYAndBackExactly) {
    Mesh mesh;
    mesh.vertices = 2;
    mesh.positions = make_float_array(6);
    mesh.normals = make_float_array(6);
    const float start[6] = {1.0f, 2.0f, 3.0f, -0.1f, 0.7f, -9.25f};
    std::memcpy(mesh.positions.get(), start, sizeof start);
    std::memcpy(mesh.normals.get(), start, sizeof start);
    turn_up_axis(&mesh, UpAxis::y, UpAxis::z);
    EXPECT_EQ(mesh.positions[1], 3.0f) << "the file's z is up";
    EXPECT_EQ(mesh.positions[2], -2.0f) << "the file's -y towards the viewer";
    EXPECT_EQ(mesh.normals[4], -9.25f);
    turn_up_axis(&mesh, UpAxis::z, UpAxis::z);
    EXPECT_EQ(mesh.positions[1], 3.0f) << "no turn to where it is";
    turn_up_axis(&mesh, UpAxis::z, UpAxis::y);
    EXPECT_EQ(std::memcmp(mesh.positions.get(), start, sizeof start), 0);
    EXPECT_EQ(std::memcmp(mesh.normals.get(), start, sizeof start), 0);
}

TEST(UpAxisTest, CadAndPrintingFilesAreZUpByTheirExtension) {
    for (const char* path : {"part.stl", "a/b/PART.STL", "x.3mf", "C:\\print\\y.Amf"})
        EXPECT_TRUE(z_up_by_default(path)) << path;
    for (const char* path : {"knot.obj", "stl", "a.stl/b.obj", "a.stlx", "scene.gltf", ""})
        EXPECT_FALSE(z_up_by_default(path)) << path;
}

// --- what was opened ---------------------------------------------------------------

TEST(ModelFactsTest, TheLineNamesTheFileItsCountsAndSizeAndTexturesOnlyWhereThereAreAny) {
    Mesh mesh;
    mesh.vertices = 8;
    mesh.quads.assign(4 * 6, 0);
    mesh.triangles.assign(3 * 2, 0);
    mesh.facts.meshes = 2;
    mesh.facts.size[0] = 120.5f;
    mesh.facts.size[1] = 0.25f;
    mesh.facts.size[2] = 3000.0f;
    char line[120];
    format_model_facts("/home/u/models/bracket.stl", mesh, line, sizeof line);
    EXPECT_STREQ(line, "bracket.stl  8 faces  8 vertices  2 meshes  120.5 x 0.25 x 3000");
    mesh.facts.textures = 1;
    mesh.facts.meshes = 1;
    format_model_facts("C:\\m\\b\xc3\xa9.obj", mesh, line, sizeof line);
    EXPECT_STREQ(line, "b??.obj  8 faces  8 vertices  1 mesh  120.5 x 0.25 x 3000  1 texture");
    char short_line[40];
    format_model_facts("a-very-long-file-name.obj", mesh, short_line, sizeof short_line);
    EXPECT_EQ(std::string(short_line).find("a-very"), std::string::npos) << "the name gives way first";
    EXPECT_LT(std::strlen(short_line), sizeof short_line);
}

TEST(ModelFactsTest, TheFactsCrossTheWireBeforeTheMeshAndALieAboutThemIsRefused) {
    std::string bytes;
    const WireSink sink = {[](void* c, const void* b, std::size_t n) {
                               static_cast<std::string*>(c)->append(static_cast<const char*>(b), n);
                           },
                           &bytes};
    Mesh mesh;
    mesh.vertices = 3;
    mesh.positions = make_float_array(9);
    mesh.normals = make_float_array(9);
    for (int i = 0; i < 9; ++i) mesh.positions[i] = mesh.normals[i] = float(i % 3 == 2);
    mesh.triangles = {0, 1, 2};
    mesh.facts.meshes = 4;
    mesh.facts.textures = 2;
    mesh.facts.size[1] = 17.5f;
    write_facts_record(sink, mesh.facts);
    write_mesh_record(sink, mesh);

    ReplyReader reader;
    reader.reset(MeshLimits{100, 100});
    std::size_t room = 0;
    for (char c : bytes) {
        *reader.next_space(&room) = static_cast<unsigned char>(c);
        reader.advance(1);
    }
    ASSERT_EQ(reader.end_of_input(), ReplyState::mesh) << reader.reason();
    const Mesh got = reader.take_mesh();
    EXPECT_EQ(got.facts.meshes, 4u);
    EXPECT_EQ(got.facts.textures, 2u);
    EXPECT_EQ(got.facts.size[1], 17.5f);

    reader.reset(MeshLimits{100, 100});
    const std::string short_facts("I\x04\0\0\0abcd", 9);
    for (char c : short_facts) {
        *reader.next_space(&room) = static_cast<unsigned char>(c);
        reader.advance(1);
    }
    EXPECT_EQ(reader.state(), ReplyState::malformed);
}

// --- the separation fitted to the comfort limit ---------------------------------------

TEST(FittedParallaxTest, TheFittedSeparationKeepsBothEndsInsideTheRuleAtEveryDistance) {
    view_width = 800;
    view_height = 600;
    for (float distance : {1.5f, 3.0f, 5.0f, 12.0f, 40.0f}) {
        for (OutputMode mode : {OutputMode::anaglyph, OutputMode::side_by_side}) {
            StereoRig rig(true);
            rig.set_mode(mode);
            rig.separation_ratio = 4.0f;  // far too wide for comfort up close
            rig.set_focus(distance);
            const ViewPose pose{Vec3{0.0f, 0.0f, distance}, Vec3{0.0f, 0.0f, -1.0f}, Vec3{0.0f, 1.0f, 0.0f}};
            const float focal = rig.focal_length;
            const ParallaxReading before = measure_parallax(rig, pose, ViewSize{800, 600}, test_object_vertices,
                                                            test_object_vertex_count, 1.0f, 1);
            rig.separation_ratio = fitted_separation_ratio(rig, before, fitted_share);
            rig.eye_separation = rig.focal_length / rig.separation_ratio;
            const ParallaxReading after = measure_parallax(rig, pose, ViewSize{800, 600}, test_object_vertices,
                                                           test_object_vertex_count, 1.0f, 1);
            const float limit = after.image_width / 30.0f;
            EXPECT_FALSE(after.uncomfortable) << distance;
            const float widest = std::fmax(std::fabs(after.nearest), std::fabs(after.farthest));
            EXPECT_NEAR(widest, fitted_share * limit, 0.01f * limit) << distance << ": the rule used, not wasted";
            EXPECT_EQ(rig.focal_length, focal) << "the zero-parallax plane stays";
        }
    }
    StereoRig rig(true);
    const ParallaxReading nothing{false, 0.0f, 0.0f, 800, false};
    EXPECT_EQ(fitted_separation_ratio(rig, nothing, fitted_share), rig.separation_ratio) << "nothing in view";
    EXPECT_EQ(fit_stride(1000), 1);
    EXPECT_LE(3000000 / fit_stride(3000000), max_fit_samples) << "a large mesh is sampled";
}

}  // namespace
