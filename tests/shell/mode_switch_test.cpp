// Switching output modes in the running viewer: a mode that needs a stencil
// buffer or a stereo format reopens the window like F1, keeping every
// setting; a system without them is told once and the viewer stays; a
// start-up mode the system lacks falls back to the anaglyph.
#include <gtest/gtest.h>

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

TEST_F(ModeSwitchTest, MIntoAnInterleavedModeReopensOnceAndKeepsEverySetting) {
    GLint stencil_bits = -1;
    std::string shown;
    size_t described_before = 1;
    run({IDNO}, {{2,
                  [&] {
                      described_before = count("DescribePixelFormat");
                      stereo_rig.set_mode(OutputMode::top_bottom);
                      stereo_rig.image_shift = 123.0f;
                      stereo_rig.swap_eyes = true;
                      camera.position = Vec3{1.0f, 2.0f, 9.0f};
                      script::key_press('M');
                  }},
                 {4,
                  [&] {
                      glGetIntegerv(GL_STENCIL_BITS, &stencil_bits);
                      shown = notice();
                      script::key_press('M');  // columns: the same format, no reopening
                  }},
                 {6, [] { script::key_press(VK_ESCAPE); }}});
    EXPECT_EQ(described_before, 0u) << "the basic format is asked for as ever, nothing read back";
    EXPECT_EQ(shown, "rows");
    EXPECT_EQ(stencil_bits, 8) << "the reopened window has a stencil buffer";
    EXPECT_EQ(count("CreateWindowEx"), 2u) << "columns needs no new window";
    EXPECT_FALSE(fullscreen) << "reopened as it was: a window";
    EXPECT_EQ(stereo_rig.mode(), OutputMode::columns);
    EXPECT_EQ(stereo_rig.image_shift, 123.0f);
    EXPECT_TRUE(stereo_rig.swap_eyes);
    EXPECT_EQ(camera.position.z, 9.0f);
}

TEST_F(ModeSwitchTest, PageFlipWithoutAStereoFormatIsToldOnceAndMThenPassesOverIt) {
    stereo_rig.set_mode(OutputMode::checkerboard);  // as the command line sets it
    OutputMode after_first = OutputMode::anaglyph;
    std::string told;
    size_t windows_then = 0;
    run({IDNO}, {{2, [] { script::key_press('M'); }},
                 {3,
                  [&] {
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
                 {4,
                  [&] {
                      before_f1 = stereo_rig.mode();
                      script::key_press(VK_F1);
                  }},
                 {6, [] { script::key_press(VK_ESCAPE); }}});
    EXPECT_EQ(before_f1, OutputMode::page_flip);
    EXPECT_EQ(stereo_rig.mode(), OutputMode::page_flip);
    EXPECT_TRUE(fullscreen);
    EXPECT_EQ(count("CreateWindowEx"), 3u) << "start, page-flip, F1";
    EXPECT_EQ(count("DescribePixelFormat(3)"), 3u) << "asked of the old window, then read back twice";
}

}  // namespace

TEST(Notice, ShowsForThreeSecondsOfThePlatformClockAcrossItsWrap) {
    script::set_milliseconds(0xFFFFF000u);
    show_notice(std::string(200, 'x').c_str());
    EXPECT_EQ(std::string(current_notice()).size(), 71u) << "cut to the line";
    script::set_milliseconds(0xFFFFF000u + notice_milliseconds - 1);
    EXPECT_NE(current_notice(), nullptr);
    script::set_milliseconds(0xFFFFF000u + notice_milliseconds);
    EXPECT_EQ(current_notice(), nullptr);
}
