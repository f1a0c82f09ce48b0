// Switching output modes in the running viewer: a mode that needs a stencil
// buffer or a stereo format reopens the window like F1, keeping every
// setting; a system without them is told once and the viewer stays; a
// start-up mode the system lacks falls back to the anaglyph.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/gl.h"
#include "support/viewer_fixture.h"
#include "text/notice.h"

namespace {

class ModeSwitchTest : public ViewerTest {
protected:
    static std::string notice() {
        const char* text = current_notice();
        return text ? text : "";
    }
    static size_t count(const char* prefix) { return script::calls_starting(prefix).size(); }
};

TEST_F(ModeSwitchTest, WithoutTheNewModesNoFormatIsDescribedAndNoWindowReopened) {
    run({IDNO}, {{2, [] { script::key_press('D'); }},
                 {3, [] { script::key_press('V'); }},
                 {5, [] { script::key_press(VK_ESCAPE); }}});
    EXPECT_EQ(count("DescribePixelFormat"), 0u);
    EXPECT_EQ(count("CreateWindowEx"), 1u);
    EXPECT_EQ(count("ChoosePixelFormat"), 1u);
    EXPECT_EQ(stereo_rig.mode(), OutputMode::free_view);
    EXPECT_TRUE(stereo_rig.swap_eyes);
}

TEST_F(ModeSwitchTest, MIntoAnInterleavedModeReopensOnceAndKeepsEverySetting) {
    GLint stencil_bits = -1;
    std::string shown;
    run({IDNO}, {{2, [] {
                      stereo_rig.set_mode(OutputMode::top_bottom);
                      stereo_rig.image_shift = 123.0f;
                      stereo_rig.swap_eyes = true;
                      camera.position = Vec3{1.0f, 2.0f, 9.0f};
                      script::key_press('M');
                  }},
                 {4, [&] {
                      glGetIntegerv(GL_STENCIL_BITS, &stencil_bits);
                      shown = notice();
                      script::key_press('M');  // columns: the same format, no reopening
                  }},
                 {6, [] { script::key_press(VK_ESCAPE); }}});
    EXPECT_EQ(shown, "rows");
    EXPECT_EQ(stencil_bits, 8) << "the reopened window has a stencil buffer";
    EXPECT_EQ(count("CreateWindowEx"), 2u);
    EXPECT_EQ(count("wglDeleteContext"), 2u);
    EXPECT_FALSE(fullscreen) << "reopened as it was: a window";
    EXPECT_EQ(stereo_rig.mode(), OutputMode::columns);
    EXPECT_EQ(notice(), "columns");
    EXPECT_EQ(stereo_rig.image_shift, 123.0f);
    EXPECT_TRUE(stereo_rig.swap_eyes);
    EXPECT_EQ(camera.position.z, 9.0f);
    EXPECT_EQ(script::live_windows(), 0);
}

TEST_F(ModeSwitchTest, PageFlipWithoutAStereoFormatIsToldOnceAndMThenPassesOverIt) {
    stereo_rig.set_mode(OutputMode::checkerboard);  // as the command line sets it
    OutputMode after_first = OutputMode::anaglyph;
    std::string told;
    size_t windows_then = 0;
    run({IDNO}, {{2, [] { script::key_press('M'); }},
                 {3, [&] {
                      after_first = stereo_rig.mode();
                      told = notice();
                      windows_then = count("CreateWindowEx");
                      script::key_press('M');
                  }},
                 {4, [] { script::key_press(VK_ESCAPE); }}});
    EXPECT_EQ(after_first, OutputMode::checkerboard);
    EXPECT_EQ(told, "page-flip: not available (no stereo pixel format)");
    EXPECT_EQ(windows_then, 1u) << "the system was asked without a new window";
    EXPECT_EQ(stereo_rig.mode(), OutputMode::anaglyph) << "the next M passes over page-flip";
    EXPECT_EQ(notice(), "anaglyph");
    EXPECT_EQ(count("CreateWindowEx"), 1u);
}

TEST_F(ModeSwitchTest, AStartUpModeTheSystemLacksFallsBackToTheAnaglyphSayingSo) {
    script::set_pixel_formats(false, false);
    // A system whose ChoosePixelFormat refuses the stencil request outright.
    script::fail_next("ChoosePixelFormat");
    stereo_rig.set_mode(OutputMode::rows);
    std::string told;
    run({IDNO}, {{2, [&] {
                      told = notice();
                      script::key_press(VK_ESCAPE);
                  }}});
    EXPECT_EQ(told, "rows: not available (no stencil buffer)");
    EXPECT_EQ(stereo_rig.mode(), OutputMode::anaglyph);
    EXPECT_TRUE(stereo_rig.glasses_mode);
    EXPECT_EQ(count("ChoosePixelFormat"), 2u) << "asked again for the basic format";
    EXPECT_TRUE(script::boxes().size() == 1u) << "only the start-up question: no error box";
}

TEST_F(ModeSwitchTest, WithAStereoFormatPageFlipReopensAndFOneKeepsIt) {
    script::set_pixel_formats(true, true);
    stereo_rig.set_mode(OutputMode::checkerboard);
    OutputMode before_f1 = OutputMode::anaglyph;
    run({IDNO}, {{2, [] { script::key_press('M'); }},
                 {4, [&] {
                      before_f1 = stereo_rig.mode();
                      script::key_press(VK_F1);
                  }},
                 {6, [] { script::key_press(VK_ESCAPE); }}});
    EXPECT_EQ(before_f1, OutputMode::page_flip);
    EXPECT_EQ(stereo_rig.mode(), OutputMode::page_flip);
    EXPECT_TRUE(fullscreen);
    EXPECT_EQ(count("CreateWindowEx"), 3u) << "start, page-flip, F1";
    // Every opening asked for what its mode needs: the stereo one twice, read back.
    EXPECT_EQ(script::calls_starting("DescribePixelFormat(4)").size() +
                  script::calls_starting("DescribePixelFormat(3)").size(),
              3u)
        << "the question asked of the old window, then each of the two openings";
}

TEST_F(ModeSwitchTest, RandomModeKeysAndFOneThroughTheLoopEndCleanly) {
    script::set_pixel_formats(true, true);
    std::mt19937 random(1207);
    const int keys[] = {'M', 'M', 'M', 'V', 'C', 'P', 'D', 'S', 'K', VK_F1};
    std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof keys / sizeof keys[0]) - 1);
    script::queue_box_answers({IDNO});
    script::on_swap([&](int swap) {
        if (swap >= 400) {
            script::key_press(VK_ESCAPE);
            return;
        }
        const int key = keys[pick(random)];
        if (key == 'S' || key == 'K')
            script::post(random() % 2 ? WM_KEYDOWN : WM_KEYUP, static_cast<WParam>(key));
        else
            script::key_press(key);
    });
    EXPECT_EQ(run_viewer(nullptr), 0);
    EXPECT_EQ(script::live_windows(), 0);
    EXPECT_EQ(script::live_contexts(), 0);
    EXPECT_EQ(script::boxes().size(), 1u) << "only the start-up question";
    EXPECT_GT(script::calls_starting("CreateWindowEx").size(), 20u) << "M and F1 reopened often";
    EXPECT_FALSE(reopen_requested);
    EXPECT_EQ(stereo_rig.glasses_mode, stereo_rig.mode() == OutputMode::anaglyph);
}

}  // namespace

TEST(Notice, ShowsForThreeSecondsOfThePlatformClockAndIsCutToTheLine) {
    script::set_milliseconds(0xFFFFF000u);  // across the clock's wrap
    show_notice("saved to somewhere");
    ASSERT_NE(current_notice(), nullptr);
    EXPECT_STREQ(current_notice(), "saved to somewhere");
    script::set_milliseconds(0xFFFFF000u + notice_milliseconds - 1);
    EXPECT_NE(current_notice(), nullptr);
    script::set_milliseconds(0xFFFFF000u + notice_milliseconds);
    EXPECT_EQ(current_notice(), nullptr);

    show_notice(std::string(200, 'x').c_str());
    EXPECT_EQ(std::string(current_notice()).size(), 71u);
    clear_notice();
    EXPECT_EQ(current_notice(), nullptr);
}
