// The application shell driven through the scripted system: start-up, the
// opening with each of its failures, the loop, the window procedure, F1.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <functional>
#include <string>

#include "app/frame.h"
#include "app/model_open.h"
#include "model/model.h"
#include "support/gl_checks.h"
#include "support/viewer_fixture.h"
#include "text/glyph_font.h"

using Strings = std::vector<std::string>;

namespace {

const char* const question = "Would You Like To Run In Fullscreen Mode?";
const char* const fallback = "Chyba pri inicializacii grafickeho rezimu. Chcete pokracovat v okne?";

unsigned client_styles(unsigned style) { return style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN; }

}  // namespace

// --- start-up and the two display modes ------------------------------------

TEST_F(ViewerTest, StartupQuestionComesFirstWithItsCaptionAndStyle) {
    int code = run({IDNO}, {{1, [] { script::key_press(VK_ESCAPE); }}});
    EXPECT_EQ(code, 0);
    ASSERT_FALSE(script::boxes().empty());
    const script::Box& box = script::boxes()[0];
    EXPECT_EQ(box.text, question);
    EXPECT_EQ(box.caption, "Start FullScreen?");
    EXPECT_EQ(box.style, 36u);
    EXPECT_FALSE(box.has_owner);
    EXPECT_EQ(script::calls()[0], std::string("MessageBox(Start FullScreen?: ") + question + ")");
}

TEST_F(ViewerTest, AnsweringNoOpensAnOrdinaryWindowWithAnExactClientArea) {
    script::WindowState seen{};
    run({IDNO}, {{1, [&] {
                      seen = script::window();
                      script::key_press(VK_ESCAPE);
                  }}});
    EXPECT_TRUE(seen.visible);
    EXPECT_EQ(seen.title, "Duplexa 01");
    EXPECT_EQ(seen.style, client_styles(WS_OVERLAPPEDWINDOW));
    EXPECT_EQ(seen.ex_style, WS_EX_APPWINDOW | WS_EX_WINDOWEDGE);
    EXPECT_EQ(seen.client_width, 800);
    EXPECT_EQ(seen.client_height, 600);
    EXPECT_EQ(seen.outer_width, 800 + script::frame_left + script::frame_right);
    EXPECT_EQ(seen.outer_height, 600 + script::frame_top + script::frame_bottom);
    EXPECT_EQ(seen.x, 0);
    EXPECT_EQ(seen.y, 0);
    EXPECT_TRUE(script::calls_starting("ChangeDisplaySettings").empty());
    EXPECT_FALSE(fullscreen);
}

TEST_F(ViewerTest, AnsweringYesSwitchesTheDisplayAndOpensABorderlessPopup) {
    script::WindowState seen{};
    bool changed = false;
    int view[4] = {};
    run({IDYES}, {{1, [&] {
                       seen = script::window();
                       changed = script::display_mode_changed();
                       glGetIntegerv(GL_VIEWPORT, view);
                       script::key_press(VK_ESCAPE);
                   }}});
    EXPECT_TRUE(changed);
    EXPECT_EQ(script::calls_starting("ChangeDisplaySettings"),
              (Strings{"ChangeDisplaySettings(800x600x16)", "ChangeDisplaySettings(restore)"}));
    EXPECT_EQ(seen.style, client_styles(WS_POPUP));
    EXPECT_EQ(seen.ex_style, WS_EX_APPWINDOW);
    EXPECT_EQ(seen.outer_width, 800);
    EXPECT_EQ(seen.outer_height, 600);
    EXPECT_EQ(view[2], 800);
    EXPECT_EQ(view[3], 600);
    EXPECT_FALSE(script::display_mode_changed()) << "Escape restores the display mode";
}

TEST_F(ViewerTest, AnyAnswerButNoMeansFullScreen) {
    run({IDOK}, {{1, [] { script::key_press(VK_ESCAPE); }}});
    ASSERT_FALSE(script::calls_starting("ChangeDisplaySettings").empty());
    EXPECT_EQ(script::calls_starting("ChangeDisplaySettings").front(), "ChangeDisplaySettings(800x600x16)");
}

// MessageBox gives 0 when it could not show the box: nobody answered, and
// the display is never switched without an answer.
TEST_F(ViewerTest, AQuestionThatCouldNotBeShownOpensAWindow) {
    const struct {
        std::vector<int> answers;
        long display_change;
        Strings boxes;
    } cases[] = {
        {{0}, DISP_CHANGE_SUCCESSFUL, {question}},
        {{IDYES, IDOK, 0}, DISP_CHANGE_BADMODE, {question, "The graphics mode is not supported.", fallback}},
    };
    for (const auto& c : cases) {
        SetUp();
        script::set_display_change_result(c.display_change);
        testing::internal::CaptureStderr();
        script::WindowState seen{};
        int code = run(c.answers, {{1, [&] {
                                        seen = script::window();
                                        script::key_press(VK_ESCAPE);
                                    }}});
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(code, 0);
        EXPECT_EQ(box_texts(), c.boxes);
        EXPECT_TRUE(seen.visible);
        EXPECT_EQ(seen.style, client_styles(WS_OVERLAPPEDWINDOW));
        EXPECT_FALSE(script::display_mode_changed());
        EXPECT_NE(err.find("no answer: opening a window"), std::string::npos) << err;
        TearDown();
    }
}

TEST_F(ViewerTest, TheCommandLinesStereoOptionsAreInForceFromTheFirstFrame) {
    Options options;
    options.display = StartDisplay::window;
    options.mode_given = true;
    options.mode = OutputMode::side_by_side;
    options.colour_pair = 0;
    options.swap_eyes = true;
    options.parallax = true;
    OutputMode first_mode = OutputMode::anaglyph;
    script::on_swap([&](int) {
        first_mode = stereo_rig.mode();
        script::key_press(VK_ESCAPE);
    });
    EXPECT_EQ(run_viewer(nullptr, options), 0);
    EXPECT_EQ(first_mode, OutputMode::side_by_side);
    EXPECT_EQ(stereo_rig.colour_pair, 0);
    EXPECT_TRUE(stereo_rig.swap_eyes);
    EXPECT_TRUE(stereo_rig.parallax_readout);
}

TEST_F(ViewerTest, TheCommandLinesModelIsShownOrItsBoxToldAndTheTestObjectKept) {
    for (const char* file : {"data/models/sphere.ply", "data/models/no-such-model.obj"}) {
        SetUp();
        Options options;
        options.display = StartDisplay::window;
        options.model_path = std::string(DUPLEXA_SOURCE_DIR) + "/" + file;
        options.shaded = true;
        // The first frame shows the test object while the file is read; the
        // model is there in the frame after it has arrived.
        bool loading_in_first_frame = false, open_after_arrival = false;
        script::on_swap([&](int swap) {
            if (swap == 1) {
                loading_in_first_frame = model_file_loading() && !model_is_open(model_scene);
                finish_model_file();
            } else {
                open_after_arrival = model_is_open(model_scene);
                script::key_press(VK_ESCAPE);
            }
        });
        EXPECT_EQ(run_viewer(nullptr, options), 0);
        const bool exists = std::string(file).find("no-such") == std::string::npos;
        EXPECT_TRUE(loading_in_first_frame) << file;
        EXPECT_EQ(open_after_arrival, exists) << file;
        EXPECT_EQ(script::boxes().size(), exists ? 0u : 1u) << file;
        EXPECT_TRUE(model_scene.shaded);
        close_model(model_scene);
        model_scene = ModelScene();
        TearDown();
    }
}

TEST_F(ViewerTest, TheCommandLineAnswersTheStartupQuestionWithoutABox) {
    for (StartDisplay display : {StartDisplay::window, StartDisplay::fullscreen}) {
        SetUp();
        Options options;
        options.display = display;
        script::on_swap([](int) { script::key_press(VK_ESCAPE); });
        EXPECT_EQ(run_viewer(nullptr, options), 0);
        EXPECT_TRUE(script::boxes().empty());
        EXPECT_EQ(script::calls_starting("ChangeDisplaySettings(800x600x16)").size(),
                  display == StartDisplay::fullscreen ? 1u : 0u);
        TearDown();
    }
}

// --- failures of the opening ------------------------------------------------

TEST_F(ViewerTest, FailedClassRegistrationTellsAndReleasesNothing) {
    script::fail_next("RegisterClassEx");
    EXPECT_EQ(run({IDNO}, {}), 1);
    EXPECT_EQ(box_texts(), (Strings{question, "Chyba pri registracii triedy okna."}));
    EXPECT_EQ(script::boxes()[1].caption, "ERROR");
    EXPECT_EQ(script::boxes()[1].style, 48u);
    EXPECT_TRUE(script::calls_starting("ShowCursor").empty());
    EXPECT_TRUE(script::calls_starting("UnregisterClass").empty());
}

TEST_F(ViewerTest, EachTabledDisplayChangeFailureHasItsOwnBoxBeforeTheQuestion) {
    const struct {
        long result;
        const char* text;
    } cases[] = {
        {DISP_CHANGE_RESTART, "The computer must be restarted in order for the graphics mode to work."},
        {DISP_CHANGE_FAILED, "The display driver failed the specified graphics mode."},
        {DISP_CHANGE_BADMODE, "The graphics mode is not supported."},
        {DISP_CHANGE_BADFLAGS, "An invalid set of flags was passed in."},
    };
    for (const auto& c : cases) {
        SetUp();
        script::set_display_change_result(c.result);
        EXPECT_EQ(run({IDYES, IDOK, IDYES}, {{1, [] { script::key_press(VK_ESCAPE); }}}), 0);
        EXPECT_EQ(box_texts(), (Strings{question, c.text, fallback})) << c.result;
        EXPECT_EQ(script::boxes()[1].caption, "Chyba pri inicializacii grafickeho rezimu");
        EXPECT_EQ(script::boxes()[1].style, 16u);
        EXPECT_EQ(script::boxes()[2].caption, "Chyba");
        EXPECT_EQ(script::boxes()[2].style, 52u);
        EXPECT_FALSE(fullscreen) << "accepting the fall-back opens a window";
        EXPECT_EQ(script::calls_starting("ChangeDisplaySettings").size(), 1u)
            << "the display mode was never changed, so it is not restored";
        TearDown();
    }
}

TEST_F(ViewerTest, AnUntabledDisplayChangeResultShowsOnlyTheQuestion) {
    script::set_display_change_result(DISP_CHANGE_NOTUPDATED);
    EXPECT_EQ(run({IDYES, IDYES}, {{1, [] { script::key_press(VK_ESCAPE); }}}), 0);
    EXPECT_EQ(box_texts(), (Strings{question, fallback}));
    EXPECT_EQ(script::window().exists, false);
}

TEST_F(ViewerTest, DecliningTheFallBackEndsWithoutReleasingAnything) {
    script::set_display_change_result(DISP_CHANGE_BADMODE);
    EXPECT_EQ(run({IDYES, IDOK, IDNO}, {}), 1);
    EXPECT_EQ(box_texts(), (Strings{question, "The graphics mode is not supported.", fallback, "Program se uzavrie."}));
    EXPECT_EQ(script::boxes()[3].caption, "ERROR");
    EXPECT_EQ(script::boxes()[3].style, 16u);
    EXPECT_TRUE(script::class_registered()) << "the class stays registered";
    EXPECT_TRUE(script::calls_starting("ShowCursor").empty()) << "the cursor was never hidden";
    EXPECT_TRUE(script::calls_starting("CreateWindowEx").empty());
}

// Each failing step after the window exists closes first, in the release
// order, then shows its box, and the program ends with 1.
TEST_F(ViewerTest, EachFailedStepReleasesWhatWasMadeThenTells) {
    const struct {
        const char* call;
        const char* text;
        Strings released;
        // clang-format off
    } cases[] = {
        {"CreateWindowEx", "Chyba pri tvorbe okna.", {"ShowCursor(1)", "UnregisterClass(OpenGL)"}},
        {"GetDC", "Nejde vytvorit GL Device Context.", {"ShowCursor(1)", "DestroyWindow", "UnregisterClass(OpenGL)"}},
        {"ChoosePixelFormat", "Nejde nájst PixelFormat.",
         {"ShowCursor(1)", "ReleaseDC", "DestroyWindow", "UnregisterClass(OpenGL)"}},
        {"SetPixelFormat", "Nejde nastavit PixelFormat.",
         {"ShowCursor(1)", "ReleaseDC", "DestroyWindow", "UnregisterClass(OpenGL)"}},
        {"wglCreateContext", "Nejde vytvorit GL Rendering Context.",
         {"ShowCursor(1)", "ReleaseDC", "DestroyWindow", "UnregisterClass(OpenGL)"}},
        {"wglMakeCurrent", "Nejde aktivovat GL Rendering Context.",
         {"ShowCursor(1)", "wglMakeCurrent(null)", "wglDeleteContext", "ReleaseDC", "DestroyWindow",
          "UnregisterClass(OpenGL)"}},
    };
    // clang-format on
    for (const auto& c : cases) {
        SetUp();
        script::fail_next(c.call);
        EXPECT_EQ(run({IDNO}, {}), 1) << c.call;
        EXPECT_EQ(box_texts(), (Strings{question, c.text})) << c.call;
        EXPECT_EQ(script::boxes()[1].caption, "ERROR");
        EXPECT_EQ(script::boxes()[1].style, 48u);
        Strings after = calls_from(c.call);
        ASSERT_FALSE(after.empty());
        after.erase(after.begin());
        Strings expected = c.released;
        expected.push_back(std::string("MessageBox(ERROR: ") + c.text + ")");
        EXPECT_EQ(after, expected) << c.call;
        EXPECT_EQ(script::live_windows(), 0);
        EXPECT_EQ(script::live_contexts(), 0);
        EXPECT_FALSE(script::class_registered());
        TearDown();
    }
}

TEST_F(ViewerTest, AFailureInFullScreenRestoresTheDisplayMode) {
    script::fail_next("GetDC");
    EXPECT_EQ(run({IDYES}, {}), 1);
    EXPECT_EQ(calls_from("GetDC"),
              (Strings{"GetDC", "ShowCursor(1)", "ChangeDisplaySettings(restore)", "DestroyWindow",
                       "UnregisterClass(OpenGL)", "MessageBox(ERROR: Nejde vytvorit GL Device Context.)"}));
    EXPECT_FALSE(script::display_mode_changed());
}

TEST_F(ViewerTest, AMissingFontStopsTheOpeningWithBothBoxes) {
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    char empty_dir[] = "/tmp/duplexa-nofont-XXXXXX";
    ASSERT_NE(mkdtemp(empty_dir), nullptr);
    ASSERT_EQ(chdir(empty_dir), 0);
    int code = run({IDNO}, {});
    ASSERT_EQ(chdir(here), 0);
    rmdir(empty_dir);

    EXPECT_EQ(code, 1);
    EXPECT_EQ(box_texts(), (Strings{question, "Chyba načítania obrázka.", "Chyba pri inicializácii."}));
    EXPECT_EQ(script::boxes()[1].caption, "data/font.bmp");
    EXPECT_EQ(script::boxes()[1].style, unsigned(MB_ICONERROR));
    EXPECT_EQ(script::live_windows(), 0);
    EXPECT_EQ(script::live_contexts(), 0);
    EXPECT_EQ(glyph_font, nullptr);
}

TEST_F(ViewerTest, FailedReleaseStepsEachTellAndTheRestStillRun) {
    run({IDNO}, {{1, [] {
                      script::fail_next("wglMakeCurrent");
                      script::fail_next("wglDeleteContext");
                      script::fail_next("ReleaseDC");
                      script::fail_next("DestroyWindow");
                      script::fail_next("UnregisterClass");
                      script::key_press(VK_ESCAPE);
                  }}});
    Strings texts = box_texts();
    EXPECT_EQ(Strings(texts.begin() + 1, texts.end()),
              (Strings{"DC a RC chyba.", "Chyba: Delete Rendering Context.", "Chyba: Uvolnenia Device Context.",
                       "Chyba: hWnd.", "Nejde odregistrovat okno."}));
    for (std::size_t i = 1; i < script::boxes().size(); ++i) {
        EXPECT_EQ(script::boxes()[i].caption, "ERROR");
        EXPECT_EQ(script::boxes()[i].style, 64u);
    }
    EXPECT_EQ(window_handle, nullptr);
    EXPECT_EQ(device_context, nullptr);
    EXPECT_EQ(render_context, nullptr);
    EXPECT_EQ(instance_handle, nullptr) << "a failed unregistration forgets the instance";
}

// --- the loop ---------------------------------------------------------------

TEST_F(ViewerTest, EscapeEndsWithoutShowingThatFrameAndReleasesInOrder) {
    int code = run({IDNO}, {{3, [] { script::key_press(VK_ESCAPE); }}});
    EXPECT_EQ(code, 0);
    EXPECT_EQ(script::swap_count(), 3) << "the frame drawn with Escape held is not swapped";
    EXPECT_EQ(calls_from("ShowCursor(1)"), (Strings{"ShowCursor(1)", "wglMakeCurrent(null)", "wglDeleteContext",
                                                    "ReleaseDC", "DestroyWindow", "UnregisterClass(OpenGL)"}));
    EXPECT_EQ(script::live_windows(), 0);
    EXPECT_EQ(glyph_font, nullptr);
}

TEST_F(ViewerTest, ClosingTheWindowPostsQuitAndEndsWithZero) {
    int code = run({IDNO}, {{2, [] { script::close_window(); }}});
    EXPECT_EQ(code, 0);
    EXPECT_EQ(script::swap_count(), 2);
    EXPECT_EQ(script::calls_starting("PostQuitMessage"), Strings{"PostQuitMessage(0)"});
    EXPECT_EQ(script::live_windows(), 0);
    EXPECT_FALSE(script::class_registered());
}

TEST_F(ViewerTest, MinimisedTheLoopSwapsButDrawsNothing) {
    std::int64_t start_while_minimised = 0;
    bool active_while_minimised = true;
    run({IDNO}, {{2, [] { script::minimise(); }},
                 {3,
                  [&] {
                      active_while_minimised = active;
                      start_while_minimised = frame_timer.counter_start;
                  }},
                 {10,
                  [&] {
                      // No frame ran since swap 3: the timer was not restarted.
                      EXPECT_EQ(frame_timer.counter_start, start_while_minimised);
                      script::restore();
                  }},
                 {11, [] { script::key_press(VK_ESCAPE); }}});
    EXPECT_FALSE(active_while_minimised);
    EXPECT_TRUE(active);
    EXPECT_EQ(view_height, 600) << "restoring brings back the client size";
}

TEST_F(ViewerTest, MinimisingGivesAZeroSizeWhichKeepsTheViewHeightPositive) {
    int height = 0;
    run({IDNO}, {{2, [] { script::minimise(); }}, {3, [&] {
                                                       height = view_height;
                                                       script::key_press(VK_ESCAPE);
                                                   }}});
    EXPECT_EQ(height, 1);
}

TEST_F(ViewerTest, FOneReopensInTheOtherModeAndKeepsTheStereoSettings) {
    script::WindowState second{};
    run({IDNO}, {{2,
                  [] {
                      stereo_rig.glasses_mode = false;
                      stereo_rig.image_shift = 123.0f;
                      script::key_press(VK_F1);
                  }},
                 {4, [&] {  // pressed before frame 3, acted on after its swap
                      second = script::window();
                      script::key_press(VK_ESCAPE);
                  }}});
    EXPECT_TRUE(fullscreen);
    EXPECT_EQ(second.style, client_styles(WS_POPUP));
    EXPECT_EQ(script::calls_starting("CreateWindowEx").size(), 2u);
    EXPECT_EQ(script::calls_starting("wglCreateContext").size(), 2u);
    EXPECT_EQ(script::calls_starting("wglDeleteContext").size(), 2u);
    EXPECT_FALSE(stereo_rig.glasses_mode);
    EXPECT_EQ(stereo_rig.image_shift, 123.0f);
    EXPECT_EQ(key_down[VK_F1], 0);
    EXPECT_EQ(script::live_contexts(), 0);
}

TEST_F(ViewerTest, AFailedReopeningReleasesNothingTwiceAndEndsWithOne) {
    int code = run({IDNO}, {{2, [] {
                                 script::fail_next("CreateWindowEx");
                                 script::key_press(VK_F1);
                             }}});
    EXPECT_EQ(code, 1);
    EXPECT_EQ(script::calls_starting("DestroyWindow").size(), 1u);
    EXPECT_EQ(script::calls_starting("wglDeleteContext").size(), 1u);
    EXPECT_EQ(script::calls_starting("ReleaseDC").size(), 1u);
    EXPECT_EQ(box_texts().back(), "Chyba pri tvorbe okna.");
    EXPECT_EQ(glyph_font, nullptr);
}

TEST_F(ViewerTest, EscapeAndFOneTogetherSwitchFirstThenEnd) {
    int code = run({IDNO}, {{2, [] {
                                 script::key_press(VK_ESCAPE);
                                 script::key_press(VK_F1);
                             }}});
    EXPECT_EQ(code, 0);
    EXPECT_EQ(script::calls_starting("CreateWindowEx").size(), 2u);
    EXPECT_EQ(script::calls_starting("DestroyWindow").size(), 2u);
    EXPECT_FALSE(script::display_mode_changed());
}

TEST_F(ViewerTest, ANewFontIsBuiltInEachContextAfterTheOldListsAreDeleted) {
    GLuint first_texture = 0;
    GlyphFont* first_font = nullptr;
    bool second_font_exists = false;
    run({IDNO}, {{1,
                  [&] {
                      first_texture = font_texture;
                      first_font = glyph_font;
                      script::key_press(VK_F1);
                  }},
                 {3, [&] {
                      second_font_exists = glyph_font != nullptr && glIsList(glyph_font->list_base + 65);
                      script::key_press(VK_ESCAPE);
                  }}});
    EXPECT_NE(first_font, nullptr);
    EXPECT_NE(first_texture, 0u);
    EXPECT_TRUE(second_font_exists);
    // Each font's lists go while its context is still current: a deletion
    // without a context does nothing and leaks them.
    Strings order;
    for (const std::string& call : script::calls())
        if (call.rfind("gl", 0) == 0 || call.rfind("wgl", 0) == 0) order.push_back(call);
    EXPECT_EQ(order, (Strings{"wglCreateContext", "wglMakeCurrent", "glDeleteLists(256)", "wglMakeCurrent(null)",
                              "wglDeleteContext", "wglCreateContext", "wglMakeCurrent", "glDeleteLists(256)",
                              "wglMakeCurrent(null)", "wglDeleteContext"}));
}

// --- the window procedure ------------------------------------------------------

TEST_F(ViewerTest, KeysAndButtonsAreHeldUntilReleased) {
    LResult r = handle_window_message(nullptr, WM_KEYDOWN, 'W', 0);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(key_down['W'], 1);
    handle_window_message(nullptr, WM_KEYUP, 'W', 0);
    EXPECT_EQ(key_down['W'], 0);
    handle_window_message(nullptr, WM_LBUTTONDOWN, 0, 0);
    handle_window_message(nullptr, WM_RBUTTONDOWN, 0, 0);
    EXPECT_EQ(key_down[VK_LBUTTON], 1);
    EXPECT_EQ(key_down[VK_RBUTTON], 1);
    handle_window_message(nullptr, WM_LBUTTONUP, 0, 0);
    handle_window_message(nullptr, WM_RBUTTONUP, 0, 0);
    EXPECT_EQ(key_down[VK_LBUTTON], 0);
    EXPECT_EQ(key_down[VK_RBUTTON], 0);
}

TEST_F(ViewerTest, SystemKeysAndOtherMessagesGoToTheDefaultProcedure) {
    script::clear_calls();
    handle_window_message(nullptr, WM_SYSKEYDOWN, VK_F10, 0);
    handle_window_message(nullptr, WM_SYSKEYDOWN, 'W', 0);
    handle_window_message(nullptr, WM_MOUSEMOVE, 0, 0);
    EXPECT_EQ(key_down[VK_F10], 0);
    EXPECT_EQ(key_down['W'], 0);
    EXPECT_EQ(script::calls(), (Strings{"DefWindowProc", "DefWindowProc", "DefWindowProc"}));
}

TEST_F(ViewerTest, ActivationFollowsOnlyTheMinimisedWord) {
    handle_window_message(nullptr, WM_ACTIVATE, 1u << 16, 0);
    EXPECT_FALSE(active);
    handle_window_message(nullptr, WM_ACTIVATE, 0, 0);  // deactivated, not minimised
    EXPECT_TRUE(active);
}

TEST_F(ViewerTest, OnceKeysActOncePerKeyDownAndHeldKeysSurviveFOne) {
    // R and the left button in the same frame: home, then forward from there.
    run({IDNO}, {{1,
                  [] {
                      script::key_press(VK_UP);
                      script::key_press('R');
                  }},
                 {2,
                  [] {
                      EXPECT_EQ(key_down['R'], 0) << "R clears itself";
                      EXPECT_EQ(key_down[VK_UP], 1);
                      script::key_press(VK_F1);
                  }},
                 {4, [] {
                      EXPECT_EQ(key_down[VK_UP], 1) << "a held key survives the switch";
                      script::key_press(VK_ESCAPE);
                  }}});
}

// A press released before the frame that reads it (shorter than a frame)
// acts exactly once, for every key that acts once per press.
TEST_F(ViewerTest, ATapShorterThanAFrameActsExactlyOnce) {
    struct Tap {
        int key;
        std::function<bool()> acted;  // compared with the start state
    };
    const Tap taps[] = {
        {'R', [] { return camera.position.z == 5.0f && camera.direction.z == -1.0f; }},
        {'D', [] { return !stereo_rig.glasses_mode; }},
        {'U', [] { return !stereo_rig.auto_focus; }},
        {'M', [] { return stereo_rig.mode() == next_output_mode(OutputMode::anaglyph); }},
        {'V', [] { return stereo_rig.swap_eyes; }},
        {'C', [] { return stereo_rig.colour_pair == 3; }},
        {'P', [] { return stereo_rig.parallax_readout; }},
        {'L', [] { return model_scene.shaded; }},
        {VK_F1, [] { return script::calls_starting("CreateWindowEx").size() == 2u; }},
    };
    for (const Tap& tap_case : taps) {
        SCOPED_TRACE(tap_case.key);
        TearDown();
        SetUp();
        Mesh& mesh = model_scene.mesh;
        mesh.positions = make_float_array(9);
        mesh.normals = make_float_array(9);
        for (int i = 0; i < 9; ++i) mesh.positions[i] = mesh.normals[i] = i == 3 || i == 7 ? 1.0f : 0.0f;
        mesh.vertices = 3;
        mesh.triangles = {0, 1, 2};
        bool acted = false;
        run({IDNO}, {{1,
                      [&] {
                          camera.position.z = 9.0f;  // for R to bring home
                          tap(tap_case.key);
                      }},
                     {4, [&] {  // a frame later, and the one after: still once
                          acted = tap_case.acted();
                          tap(VK_ESCAPE);
                      }}});
        EXPECT_TRUE(acted);
        close_model(model_scene);
    }
}

TEST_F(ViewerTest, ATapOfEscapeShorterThanAFrameEndsTheLoop) {
    int swaps = 0;
    EXPECT_EQ(run({IDNO}, {{1,
                            [&] {
                                swaps = 1;
                                tap(VK_ESCAPE);
                            }},
                           {2, [&] { swaps = 2; }}}),
              0);
    EXPECT_EQ(swaps, 1);
}

// --- viewport and projection ----------------------------------------------------

TEST_F(ViewerTest, ResizeViewTreatsAZeroHeightAsOne) {
    script::OffscreenContext gl;
    ASSERT_TRUE(gl.ok());
    resize_view(800, 0);
    EXPECT_EQ(view_width, 800);
    EXPECT_EQ(view_height, 1);
    GLfloat p[16];
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    // gluPerspective: element 0 = f / aspect, element 5 = f, with aspect 800.
    EXPECT_NEAR(p[5] / p[0], 800.0, 1e-2);
    EXPECT_EQ(gl_int(GL_MATRIX_MODE), GL_MODELVIEW);
}

TEST_F(ViewerTest, OpeningLeavesTheDefaultGlState) {
    run({IDNO}, {{1, [] {
                      EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
                      EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
                      EXPECT_FALSE(glIsEnabled(GL_BLEND));
                      EXPECT_EQ(gl_int(GL_DEPTH_FUNC), GL_LEQUAL);
                      GLfloat clear[4];
                      glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
                      EXPECT_FLOAT_EQ(clear[3], 0.5f);
                      GLint polygon[2];
                      glGetIntegerv(GL_POLYGON_MODE, polygon);
                      EXPECT_EQ(polygon[0], GL_FILL);
                      script::key_press(VK_ESCAPE);
                  }}});
    // Hidden once by the opening, shown once by the closing.
    EXPECT_EQ(script::calls_starting("ShowCursor"), (Strings{"ShowCursor(0)", "ShowCursor(1)"}));
}
