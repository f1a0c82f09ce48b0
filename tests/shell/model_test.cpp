// A model on screen: the fit read back from the GL against the test object,
// the error boxes with the picture kept, drops through the loop, F1, and
// the shaded view with L.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/frame.h"
#include "model/model.h"
#include "model/model_file.h"
#include "model/model_import.h"
#include "platform/gl.h"
#include "support/gl_checks.h"
#include "support/model_files.h"
#include "support/pixels.h"
#include "support/viewer_fixture.h"
#include "text/notice.h"

namespace {

const float moved[3] = {10, 20, 30};

// The scene rows only: the rate text in the top rows may differ.
std::vector<unsigned char> scene_picture() {
    std::vector<unsigned char> frame = read_frame();
    frame.resize(800 * 580 * 4);
    return frame;
}

class ModelTest : public ViewerTest {
protected:
    void SetUp() override {
        ViewerTest::SetUp();
        ASSERT_FALSE(folder.path().empty());
    }
    void TearDown() override {
        close_model(model_scene);
        model_scene = ModelScene();
        clear_notice();
        ViewerTest::TearDown();
    }

    void open_window() {
        ASSERT_TRUE(open_gl_window("Duplexa 01", 800, 600, 16, false));
        frame_rate = 50.0f;
    }
    // Two frames: from the second the overlay's blend function adds the eyes up.
    static std::vector<unsigned char> picture_after_frames() {
        render_frame();
        render_frame();
        return scene_picture();
    }

    ScratchFolder folder;
};

}  // namespace

// The test object's box has its centre at (0, 0, 1) and the diagonal the fit
// aims at, so its own quads, scaled by 4 and moved, come back as the test
// object moved by (0, 0, -1): the picture of the test object seen from one
// unit further back, with the same focal length.
TEST_F(ModelTest, TheTestObjectsOwnQuadsScaledAndMovedGiveTheTestObjectsPictureShiftedByTheFit) {
    open_window();
    stereo_rig.auto_focus = false;
    for (bool glasses : {true, false}) {
        stereo_rig.glasses_mode = glasses;
        close_model(model_scene);
        camera.reset();
        camera.position.z += 1.0f;
        std::vector<unsigned char> reference = picture_after_frames();
        ASSERT_GT(drawn_pixels(reference), 1000);

        camera.reset();
        ASSERT_TRUE(open_model_now(folder.write("object.obj", test_object_obj(4.0f, moved))));
        EXPECT_EQ(model_scene.mesh.quads.size(), 28u);
        EXPECT_TRUE(picture_after_frames() == reference) << (glasses ? "glasses mode" : "without glasses");
    }
    EXPECT_TRUE(script::boxes().empty());
}

TEST_F(ModelTest, EachFailureShowsOneBoxWithTheFileAndItsReasonAndKeepsThePicture) {
    open_window();
    const std::string dir = folder.path();
    struct Case {
        std::string path;
        const char* reason_part;
    } cases[] = {
        {dir + "/missing.obj", "No such file"},
        {dir, "folder"},
        {folder.write("notes.xyz", "not a model\n"), ""},
        {folder.write("broken.ply", "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nend_header\n"), ""},
        {folder.write("lines.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nl 1 2 3\n"), ""},
        {folder.write("nan.obj", "v 0 0 0\nv 1 0 0\nv 0 nan 0\nf 1 2 3\n"), ""},
        {folder.write("huge.ply", "ply\nformat ascii 1.0\nelement face 4000000000\nend_header\n"), "4000000000"},
        {folder.write("empty.stl", ""), "empty"},
    };
    // Once with the test object shown, once with a model shown.
    for (bool with_model : {false, true}) {
        close_model(model_scene);
        if (with_model) {
            ASSERT_TRUE(open_model_now(folder.write("shown.obj", test_object_obj(1.0f, moved))));
        }
        std::vector<unsigned char> before = picture_after_frames();
        for (const Case& c : cases) {
            std::size_t boxes_before = script::boxes().size();
            EXPECT_FALSE(open_model_now(c.path)) << c.path;
            ASSERT_EQ(script::boxes().size(), boxes_before + 1) << c.path;
            const script::Box& box = script::boxes().back();
            EXPECT_EQ(box.caption, "Error");
            EXPECT_NE(box.text.find(c.path), std::string::npos) << box.text;
            EXPECT_NE(box.text.find(c.reason_part), std::string::npos) << box.text;
            EXPECT_GT(box.text.size(), c.path.size() + 25) << "a reason follows the name: " << box.text;
            EXPECT_EQ(model_is_open(model_scene), with_model);
            EXPECT_TRUE(picture_after_frames() == before) << c.path;
        }
    }
}

TEST_F(ModelTest, ADroppedFileOpensOnceFinishedAndStaysThroughF1) {
    std::string object = folder.write("object.obj", test_object_obj(2.0f, moved));
    std::string other = folder.write("other.stl", binary_stl({0, 0, 0, 1, 0, 0, 0, 1, 0}));
    int lit_after_f1 = 0;
    run({IDNO}, {{2,
                  [&] {
                      script::drop_files({object, other});
                  }},
                 {3, [] { script::key_press(VK_F1); }},
                 {5, [&] {
                      // The worker's answer arrives in a frame of its own time.
                      finish_model_file();
                      render_frame();
                      lit_after_f1 = drawn_pixels(scene_picture());
                      script::close_window();
                  }}});
    EXPECT_EQ(model_scene.mesh.quads.size(), 28u) << "the first of the files dropped together";
    EXPECT_EQ(script::drops_unfinished(), 0);
    EXPECT_EQ(script::calls_starting("DragFinish").size(), 1u);
    EXPECT_TRUE(script::boxes().size() == 1 && script::boxes()[0].caption == "Start FullScreen?");
    EXPECT_GT(lit_after_f1, 1000) << "the model is drawn in the new window's context";
}

TEST_F(ModelTest, LSwitchesToShadedOncePerPressAndEveryFrameEndsInTheSameState) {
    open_window();
    ASSERT_TRUE(open_model_now(folder.write("object.obj", test_object_obj(1.0f, moved))));
    std::vector<unsigned char> wireframe = picture_after_frames();
    key_down['L'] = 1;
    render_frame();
    EXPECT_EQ(key_down['L'], 0);
    EXPECT_TRUE(model_scene.shaded);
    std::vector<unsigned char> shaded = picture_after_frames();
    EXPECT_GT(drawn_pixels(shaded), 3 * drawn_pixels(wireframe)) << "surfaces, not lines";

    // Grey per eye: the red eye's surfaces in shades of red, the cyan eye's
    // in equal green and blue; where both overlap the channels add up.
    int red_levels[256] = {}, red_only = 0, unequal_cyan = 0;
    for (std::size_t i = 0; i < shaded.size(); i += 4) {
        red_levels[shaded[i]] = 1;
        red_only += shaded[i] > 0 && shaded[i + 1] == 0 && shaded[i + 2] == 0;
        unequal_cyan += shaded[i + 1] != shaded[i + 2];
    }
    int levels = 0;
    for (int v : red_levels) levels += v;
    EXPECT_GE(levels, 3) << "black and two brightnesses: the faces turned to the light are brighter";
    EXPECT_GT(red_only, 100);
    EXPECT_EQ(unequal_cyan, 0);

    expect_state_between_frames();

    key_down['L'] = 1;
    EXPECT_TRUE(picture_after_frames() == wireframe) << "and back to the lines";
    close_model(model_scene);
    key_down['L'] = 1;
    render_frame();
    EXPECT_FALSE(model_scene.shaded) << "without a model L changes nothing";
}

// A worker that crashes, runs out of memory or stops making progress takes
// only itself down: one box says so in words, the frames went on meanwhile
// with the loading line, and what was shown stays.
TEST_F(ModelTest, AWorkerThatCrashesRunsOutOfMemoryOrHangsIsToldInOneBoxAndThePictureStays) {
    open_window();
    const std::string path = folder.write("object.obj", test_object_obj(1.0f, moved));
    const std::vector<unsigned char> before = picture_after_frames();
    struct Case {
        const char* fault;
        const char* reason_part;
    } cases[] = {
        {"crash", "crashed on this file"},
        {"memory", ""},  // the reason follows the cap, below
        {"hang", "stopped making progress"},
    };
    setenv("DUPLEXA_IMPORT_MEMORY_MB", "256", 1);
    setenv("DUPLEXA_IMPORT_STALL_SECONDS", "1", 1);
    // Sanitized builds set no cap: then the worker's own words.
    cases[1].reason_part =
        import_limits_from_environment().memory_cap ? "needs more than 256 MiB" : "Not enough memory";
    for (const Case& c : cases) {
        setenv("DUPLEXA_IMPORT_TEST_FAULT", c.fault, 1);
        const std::size_t boxes_before = script::boxes().size();
        open_model_file(path.c_str());
        EXPECT_TRUE(model_file_loading()) << c.fault;
        // Frames while the worker is at it: none of them waits.
        render_frame();
        EXPECT_EQ(std::string(loading_text).rfind("loading object.obj ", 0), 0u) << loading_text;
        EXPECT_FALSE(finish_model_file()) << c.fault;
        ASSERT_EQ(script::boxes().size(), boxes_before + 1) << c.fault;
        EXPECT_NE(script::boxes().back().text.find(path), std::string::npos) << script::boxes().back().text;
        EXPECT_NE(script::boxes().back().text.find(c.reason_part), std::string::npos) << script::boxes().back().text;
        EXPECT_FALSE(model_is_open(model_scene));
        EXPECT_TRUE(picture_after_frames() == before) << c.fault;
    }
    unsetenv("DUPLEXA_IMPORT_TEST_FAULT");
    unsetenv("DUPLEXA_IMPORT_MEMORY_MB");
    unsetenv("DUPLEXA_IMPORT_STALL_SECONDS");
}

// Opening another file while one is read ends the first worker: only the
// second model arrives, and no box.
TEST_F(ModelTest, AFileOpenedWhileAnotherIsReadReplacesThatRead) {
    open_window();
    setenv("DUPLEXA_IMPORT_TEST_FAULT", "hang", 1);
    open_model_file(folder.write("slow.obj", test_object_obj(1.0f, moved)).c_str());
    unsetenv("DUPLEXA_IMPORT_TEST_FAULT");
    EXPECT_TRUE(open_model_now(folder.write("object.obj", test_object_obj(4.0f, moved))));
    EXPECT_EQ(model_scene.mesh.quads.size(), 28u);
    EXPECT_TRUE(script::boxes().empty());
}

TEST_F(ModelTest, APointCloudIsDrawnAsUnlitPointsInTheEyesColoursInEitherStyle) {
    open_window();
    std::string cloud =
        "ply\nformat ascii 1.0\nelement vertex 400\nproperty float x\nproperty float y\n"
        "property float z\nend_header\n";
    for (int i = 0; i < 400; ++i) cloud += std::to_string(i % 20) + " " + std::to_string(i / 20) + " 0\n";
    ASSERT_TRUE(open_model_now(folder.write("cloud.ply", cloud)));
    ASSERT_EQ(model_scene.mesh.face_count(), 0u);
    std::vector<unsigned char> points = picture_after_frames();
    int red = 0, cyan = 0;
    for (std::size_t i = 0; i < points.size(); i += 4) {
        red += points[i] > 0;
        cyan += points[i + 1] > 0 && points[i + 2] > 0;
    }
    EXPECT_GE(red, 400) << "a point per vertex in each eye's colour";
    EXPECT_GE(cyan, 400);
    model_scene.shaded = true;
    EXPECT_TRUE(picture_after_frames() == points) << "unlit: shaded draws the same points";
    expect_state_between_frames();
}

// The pointer's way to the box's button, and a button released over the
// box, leave the camera where it was.
TEST_F(ModelTest, AnsweringARefusalWithTheMouseDoesNotMoveTheView) {
    open_window();
    render_frame();
    script::set_cursor(700, 500);
    key_down[VK_LBUTTON] = 1;
    EXPECT_FALSE(open_model_now(folder.path() + "/missing.obj"));
    render_frame();
    EXPECT_EQ(camera.direction.x, 0.0f);
    EXPECT_EQ(camera.direction.y, 0.0f);
    EXPECT_EQ(camera.position.z, 5.0f);
}

// A model with colours and a texture opens shaded in them (unless asked for
// wireframe), L goes on to its edges and back round to the lines, its
// texture survives a new context, and a texture that cannot be read is one
// notice that counts it.
TEST_F(ModelTest, AModelWithALookOpensShadedInItsColoursLCyclesThreeStylesAndAMissingTextureIsCounted) {
    open_window();
    stereo_rig.glasses_mode = false;  // white eyes: every channel of the colours
    const std::string look = DUPLEXA_SOURCE_DIR "/tests/data/look/";
    ASSERT_TRUE(open_model_now(look + "two-materials.obj"));
    EXPECT_TRUE(model_scene.shaded);
    EXPECT_EQ(current_notice(), nullptr);
    const std::vector<unsigned char> shaded = picture_after_frames();
    auto count = [](const std::vector<unsigned char>& p, bool (*kind)(int, int, int)) {
        int n = 0;
        for (std::size_t i = 0; i < p.size(); i += 4) n += kind(p[i], p[i + 1], p[i + 2]);
        return n;
    };
    auto red = [](int r, int g, int b) { return r > 100 && g < r / 3 && b < r / 3; };
    auto yellow = [](int r, int g, int b) { return r > 100 && g > 80 && b < r / 3; };
    auto blue = [](int r, int, int b) { return b > 80 && r < b / 2; };
    auto dark = [](int r, int g, int b) { return r + g + b > 0 && r < 40 && g < 40 && b < 40; };
    EXPECT_GT(count(shaded, red), 2000) << "the red material";
    EXPECT_GT(count(shaded, yellow), 2000) << "the checker's cells";
    EXPECT_GT(count(shaded, blue), 2000) << "the checker's cells";

    key_down['L'] = 1;
    const std::vector<unsigned char> edges = picture_after_frames();
    EXPECT_TRUE(model_scene.shaded && model_scene.edges);
    EXPECT_GT(count(edges, dark), count(shaded, dark) + 200) << "dark edges over the faces";
    EXPECT_LT(count(edges, dark), count(shaded, dark) + 20000) << "only the edges seen, not those behind";
    expect_state_between_frames();
    key_down['L'] = 1;
    render_frame();
    EXPECT_FALSE(model_scene.shaded || model_scene.edges) << "round to the wireframe";
    key_down['L'] = 1;
    EXPECT_TRUE(picture_after_frames() == shaded);

    close_gl_window();
    open_window();
    EXPECT_TRUE(picture_after_frames() == shaded) << "the texture uploaded again in the new context";

    model_scene.wireframe_asked = true;
    model_scene.shaded = false;
    ASSERT_TRUE(open_model_now(look + "missing-texture.obj"));
    model_scene.wireframe_asked = false;
    EXPECT_FALSE(model_scene.shaded);
    ASSERT_NE(current_notice(), nullptr);
    EXPECT_STREQ(current_notice(), "1 texture could not be read");
    model_scene.shaded = true;
    const std::vector<unsigned char> missing = picture_after_frames();
    EXPECT_GT(count(missing, blue), 2000) << "the material's own blue where its texture would be";
    EXPECT_EQ(count(missing, yellow), 0);
}
