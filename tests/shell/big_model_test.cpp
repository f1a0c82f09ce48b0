// Big models at interactive rates, through the shell: the model's GL
// buffers against the client arrays of a plain GL 1.1, the lighter mesh
// while moving, --vsync, and the minimised loop that waits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/frame.h"
#include "app/options.h"
#include "model/model.h"
#include "model/motion_detail.h"
#include "support/model_files.h"
#include "support/pixels.h"
#include "support/viewer_fixture.h"
#include "text/notice.h"

namespace {

const float moved[3] = {10, 20, 30};

std::vector<unsigned char> scene_after_frames() {
    render_frame();
    render_frame();
    std::vector<unsigned char> frame = read_frame();
    frame.resize(800 * 520 * 4);  // below the overlay's rows
    return frame;
}

class BigModelTest : public ViewerTest {
protected:
    void TearDown() override {
        close_model(model_scene);
        model_scene = ModelScene();
        ViewerTest::TearDown();
    }
    void open_window() {
        ASSERT_TRUE(open_gl_window("Duplexa 01", 800, 600, 16, false));
        frame_rate = 50.0f;
    }
    ScratchFolder folder;
};

// The buffers hold the model once, with 16-bit indices for a small one;
// without them (no entry points found) the same pixels come from client
// arrays, and edges drawn as lines give the outlined faces' pixels.
TEST_F(BigModelTest, BuffersClientArraysAndOutlinedFacesGiveTheSamePictures) {
    open_window();
    ASSERT_TRUE(open_model_now(folder.write("object.obj", test_object_obj(4.0f, moved))));
    ASSERT_FALSE(model_scene.mesh.edges.empty()) << "the worker built the edges";
    for (bool shaded : {false, true}) {
        model_scene.shaded = shaded;
        script::set_gl_procedures(true);
        release_model_buffers(model_scene);
        const std::vector<unsigned char> with_buffers = scene_after_frames();
        ASSERT_GT(drawn_pixels(with_buffers), 1000);
        const std::size_t indices = model_scene.mesh.quads.size() + model_scene.mesh.edges.size();
        EXPECT_EQ(model_gpu_bytes(model_scene), 2 * 12 * model_scene.mesh.vertex_count() + 2 * indices);

        script::set_gl_procedures(false);
        release_model_buffers(model_scene);
        EXPECT_TRUE(scene_after_frames() == with_buffers) << "client arrays, shaded " << shaded;
        EXPECT_EQ(model_gpu_bytes(model_scene), 0u);
    }
    script::set_gl_procedures(true);
    model_scene.shaded = false;
    const std::vector<unsigned char> edges = scene_after_frames();
    model_scene.mesh.edges.clear();
    EXPECT_TRUE(scene_after_frames() == edges) << "each face outlined";
}

// Held Up flies the camera; slow frames bring the lighter mesh in, and the
// full one is back 300 ms after the key is let go. F keeps the full mesh.
TEST_F(BigModelTest, TheLighterMeshShowsWhileMovingSlowlyUntilShortlyAfterAndNotAfterF) {
    open_window();
    ASSERT_TRUE(open_model_now(folder.write("object.obj", test_object_obj(4.0f, moved))));
    Mesh& mesh = model_scene.mesh;
    mesh.lighter_triangles = {mesh.quads[0], mesh.quads[1], mesh.quads[2]};
    mesh.lighter_edges = {mesh.quads[0], mesh.quads[1]};
    const std::int64_t slow_frame = 1000000 / 5;
    auto frame = [&](bool up, std::uint32_t ms) {
        key_down[VK_UP] = up;
        script::set_milliseconds(ms);
        script::advance_counter(slow_frame);
        render_frame();
    };
    frame(true, 1000);
    frame(true, 1200);
    EXPECT_TRUE(model_scene.draw_lighter);
    const std::vector<unsigned char> lighter = read_frame();
    EXPECT_GT(count_pixels(0, 600 - 16 * 6, 800, 600 - 16 * 5).lit, 50)
        << "the overlay says so, row 5 (below the info line's)";
    frame(false, 1400);
    EXPECT_TRUE(model_scene.draw_lighter);
    frame(false, 1500);
    EXPECT_FALSE(model_scene.draw_lighter);
    EXPECT_FALSE(read_frame() == lighter);

    key_down['F'] = 1;
    frame(true, 2000);
    EXPECT_EQ(key_down['F'], 0);
    EXPECT_TRUE(model_scene.detail.full_detail);
    EXPECT_STREQ(current_notice(), "full detail always");
    frame(true, 2200);
    EXPECT_FALSE(model_scene.draw_lighter);
}

TEST_F(BigModelTest, VsyncAsksEachContextForASwapIntervalOfOne) {
    Options options;
    options.display = StartDisplay::window;
    options.vsync = true;
    script::on_swap([](int swap) {
        if (swap == 2) script::key_press(VK_F1);
        if (swap == 4) script::key_press(VK_ESCAPE);
    });
    run_viewer(nullptr, options);
    EXPECT_EQ(script::calls_starting("wglSwapIntervalEXT"),
              (std::vector<std::string>{"wglSwapIntervalEXT(1)", "wglSwapIntervalEXT(1)"}));
    vsync_wanted = false;
}

TEST_F(BigModelTest, MinimisedTheLoopWaitsForMessagesInsteadOfPolling) {
    std::size_t waits_before = 1;
    run({IDNO}, {{2,
                  [&] {
                      waits_before = script::calls_starting("MsgWaitForMultipleObjects").size();
                      script::minimise();
                  }},
                 {5,
                  [] {
                      EXPECT_EQ(script::calls_starting("MsgWaitForMultipleObjects").size(), 3u);
                      EXPECT_EQ(script::calls_starting("MsgWaitForMultipleObjects").front(),
                                "MsgWaitForMultipleObjects(100)");
                      script::restore();
                  }},
                 {6, [] { script::key_press(VK_ESCAPE); }}});
    EXPECT_EQ(waits_before, 0u) << "shown, the loop polls";
}

}  // namespace
