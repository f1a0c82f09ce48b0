// What the Win32 backend does beyond the contract every backend keeps
// (tests/backend), against the real system (Wine on a virtual display):
// UTF-8 texts through the wide calls, window rectangles, display modes,
// cursor position, clocks and message boxes.
#include "tests/backend/backend_fixture.h"  // <windows.h> first

#include <atomic>
#include <string>

#include "platform/win32/win32_text.h"

TEST(Utf8ToWide, KeepsTheSlovakLetters) {
    wchar_t out[64];
    EXPECT_EQ(24, utf8_to_wide("Chyba pri inicializácii.", out, 64));
    EXPECT_STREQ(L"Chyba pri inicializ\u00e1cii.", out);
    EXPECT_EQ(4, utf8_to_wide("\u010d\u0165\u017e\u0148", out, 64));
    EXPECT_STREQ(L"\u010d\u0165\u017e\u0148", out);
}

TEST(Utf8ToWide, NullAndEmptyGiveAnEmptyText) {
    wchar_t out[4] = {L'x', L'x', L'x', L'x'};
    EXPECT_EQ(0, utf8_to_wide(nullptr, out, 4));
    EXPECT_EQ(L'\0', out[0]);
    out[0] = L'x';
    EXPECT_EQ(0, utf8_to_wide("", out, 4));
    EXPECT_EQ(L'\0', out[0]);
    EXPECT_EQ(0, utf8_to_wide("abc", nullptr, 4));
    EXPECT_EQ(0, utf8_to_wide("abc", out, 0));
}

TEST(Utf8ToWide, ALongTextIsCutOnACharacterBoundaryAndTerminated) {
    wchar_t out[3];
    EXPECT_EQ(2, utf8_to_wide("abcdef", out, 3));
    EXPECT_STREQ(L"ab", out);
    // "a" then "á" (2 bytes): only "a" fits beside the terminator when the
    // cut would fall inside the second letter.
    wchar_t two[2];
    EXPECT_EQ(1, utf8_to_wide("a\u00e1b", two, 2));
    EXPECT_STREQ(L"a", two);
    EXPECT_EQ(0, utf8_to_wide("\u00e1b", two, 2));
    EXPECT_STREQ(L"", two);
    // A text that fits exactly is not cut.
    EXPECT_EQ(2, utf8_to_wide("\u00e1\u00e9", out, 3));
    EXPECT_STREQ(L"\u00e1\u00e9", out);
}

using Win32Backend = Backend;

TEST_F(Win32Backend, TitlesKeepTheirSlovakLetters) {
    WindowHandle window = open_window();
    ASSERT_NE(nullptr, window);
    wchar_t title[64] = {};
    GetWindowTextW(reinterpret_cast<HWND>(window), title, 64);
    EXPECT_STREQ(L"Duplexa \u0161\u010d\u0165\u017e", title);
}

TEST(Win32Window, AdjustedRectangleIsTheOuterWindowOfTheClientArea) {
    PlatformRect rect = {0, 0, 800, 600};
    ASSERT_TRUE(platform_adjust_window_rect(&rect, WS_OVERLAPPEDWINDOW, WS_EX_APPWINDOW | WS_EX_WINDOWEDGE));
    EXPECT_LT(rect.left, 0);
    EXPECT_LT(rect.top, 0);
    EXPECT_GT(rect.right, 800);
    EXPECT_GT(rect.bottom, 600);

    PlatformRect popup = {0, 0, 800, 600};
    ASSERT_TRUE(platform_adjust_window_rect(&popup, WS_POPUP, WS_EX_APPWINDOW));
    EXPECT_EQ(0, popup.left);
    EXPECT_EQ(0, popup.top);
    EXPECT_EQ(800, popup.right);
    EXPECT_EQ(600, popup.bottom);
    EXPECT_FALSE(platform_adjust_window_rect(nullptr, WS_POPUP, 0));
}

TEST(Win32Display, UnknownModeIsRefusedAndRestoreSucceeds) {
    EXPECT_EQ(DISP_CHANGE_BADMODE, platform_change_display_mode(123, 45, 16));
    EXPECT_EQ(DISP_CHANGE_SUCCESSFUL, platform_restore_display_mode());
}

TEST(Win32Cursor, PositionIsWhereItWasSet) {
    ASSERT_TRUE(platform_set_cursor_pos(123, 45));
    PlatformPoint point = {};
    ASSERT_TRUE(platform_get_cursor_pos(&point));
    EXPECT_EQ(123, point.x);
    EXPECT_EQ(45, point.y);
    EXPECT_FALSE(platform_get_cursor_pos(nullptr));
}

TEST(Win32Clocks, CounterAndMillisecondsAdvance) {
    std::int64_t frequency = 0;
    ASSERT_TRUE(platform_query_performance_frequency(&frequency));
    EXPECT_GT(frequency, 0);

    std::int64_t before = 0, after = 0;
    ASSERT_TRUE(platform_query_performance_counter(&before));
    std::uint32_t ms_before = platform_time_get_time();
    Sleep(30);
    ASSERT_TRUE(platform_query_performance_counter(&after));
    std::uint32_t ms_after = platform_time_get_time();

    double seconds = static_cast<double>(after - before) / static_cast<double>(frequency);
    EXPECT_GT(seconds, 0.020);
    EXPECT_LT(seconds, 5.0);
    EXPECT_GE(ms_after - ms_before, 20u);
    EXPECT_LT(ms_after - ms_before, 5000u);
}

namespace {

// Finds the box by its (wide) caption, reads its text and answers No, as a
// user would. A Win32 thread: the win32 thread model has no std::thread.
struct BoxAnswerer {
    std::atomic<bool> found{false};
    wchar_t text[256] = {};

    static DWORD WINAPI run(void* self_pointer) {
        BoxAnswerer* self = static_cast<BoxAnswerer*>(self_pointer);
        for (int i = 0; i < 500; ++i) {
            HWND box = FindWindowW(L"#32770", L"Chyba \u010d\u0165");
            if (box != nullptr) {
                GetDlgItemTextW(box, 0xFFFF, self->text, 256);
                self->found = true;
                PostMessageW(box, WM_COMMAND, IDNO, 0);
                return 0;
            }
            Sleep(10);
        }
        return 1;
    }
};

}  // namespace

// Through the shared code's wrapper, which echoes the box before the backend shows it.
TEST(Win32MessageBox, ShowsTheUtf8TextsAndEchoesThemToStderr) {
    BoxAnswerer answerer;
    HANDLE thread = CreateThread(nullptr, 0, BoxAnswerer::run, &answerer, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    testing::internal::CaptureStderr();
    int answer = show_message_box(nullptr, "Chyba pri inicializácii.", "Chyba čť", MB_YESNO | MB_ICONQUESTION);
    std::string echoed = testing::internal::GetCapturedStderr();
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);

    ASSERT_TRUE(answerer.found) << "no box with the caption came up";
    EXPECT_EQ(IDNO, answer);
    EXPECT_STREQ(L"Chyba pri inicializ\u00e1cii.", answerer.text);
    EXPECT_EQ("Chyba čť: Chyba pri inicializácii.\n", echoed);
}
