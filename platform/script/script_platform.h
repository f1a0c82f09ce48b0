// The scripted backend: windows, messages, boxes and clocks are simulated and
// every platform call is recorded in order; OpenGL is real, rendered by Mesa
// into offscreen OSMesa buffers (RGBA, 16-bit depth) sized to the client area.
//
// Tests script what the system answers (box answers, failures of single
// calls, display-change results, cursor, clocks) and the messages it
// delivers, then read back frames with glReadPixels.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace script {

struct Box {
    std::string text;
    std::string caption;
    unsigned style;
    bool has_owner;
};

// Back to a fresh system: no windows, classes, contexts, queued messages,
// boxes, answers or failures; the log is emptied; clocks and cursor keep
// their values. Destroys any GL context still alive.
void reset();

// Every platform call so far, in order, by its Win32 name, e.g.
// "RegisterClassEx", "ChangeDisplaySettings(800x600x16)", "ShowCursor(0)",
// "MessageBox(ERROR: Chyba pri tvorbe okna.)", "wglDeleteContext"; with
// OSMesa also the GL call "glDeleteLists(256)"; GL entry point lookups as
// "wglGetProcAddress(glCreateShader)".
const std::vector<std::string>& calls();
// The calls whose names start with prefix (e.g. "MessageBox", "ShowCursor").
std::vector<std::string> calls_starting(const std::string& prefix);
void clear_calls();

// Every box shown, in order.
const std::vector<Box>& boxes();

// Answers for the next boxes, in order; once used up, a MB_YESNO box answers
// IDNO and any other box IDOK.
void queue_box_answers(std::vector<int> answers);

// The named call fails the next `times` times it is made. Names: the Win32
// names as recorded (without arguments): "RegisterClassEx", "UnregisterClass",
// "CreateWindowEx", "DestroyWindow", "GetDC", "ReleaseDC",
// "ChoosePixelFormat", "SetPixelFormat", "wglCreateContext",
// "wglMakeCurrent", "wglDeleteContext", "GetCursorPos", "wglSwapIntervalEXT".
void fail_next(const std::string& call, int times = 1);

// The pixel formats the simulated system has beyond RGBA with depth: by
// default a stencil buffer but no stereo (left/right back buffers), as
// Mesa's software renderer. ChoosePixelFormat gives the closest format, as
// Win32 does; DescribePixelFormat tells what it has.
void set_pixel_formats(bool stencil, bool stereo);

// Whether wglGetProcAddress finds the GL's entry points beyond 1.1 (the
// default) or none, as on a plain GL 1.1.
void set_gl_procedures(bool available);

// Result of the next full-screen ChangeDisplaySettings (then back to success).
void set_display_change_result(long result);

// Messages delivered when the loop next polls, in order. post() queues a raw
// message for the current window; the helpers build the usual ones.
void post(unsigned message, WParam wparam = 0, LParam lparam = 0);
void key_press(int vk);    // WM_KEYDOWN
void key_release(int vk);  // WM_KEYUP
void close_window();       // WM_CLOSE
// The pointer over the client area at (x, y), with the MK_ flags of what is
// held; the wheel turned by `notches` (positive: away from the user).
void pointer_move(int x, int y, unsigned flags = 0);  // WM_MOUSEMOVE
void wheel(int notches, unsigned flags = 0);          // WM_MOUSEWHEEL, at the cursor
void minimise();                                      // WM_SIZE 0x0, then WM_ACTIVATE with minimised state
void restore();                                       // WM_SIZE with the client size, then WM_ACTIVATE active
// Files dropped on the window together: one WM_DROPFILES whose handle
// answers DragQueryFile with these paths. drops_unfinished() counts the
// handles not yet given back with DragFinish.
void drop_files(std::vector<std::string> paths);
int drops_unfinished();

// Called after every SwapBuffers with the number of swaps so far (from 1),
// while the swapped frame is still readable; tests post messages from here.
// A run that swaps 100000 times without ending gets WM_CLOSE posted.
void on_swap(std::function<void(int)> hook);
int swap_count();
// Frames that render_frame began to draw but were not swapped (Escape).
// The loop reads and checks nothing here; tests compare with swap_count().

// The simulated desktop.
void set_cursor(long x, long y);
PlatformPoint cursor();
int cursor_display_count();  // ShowCursor's counter: 0 shown, -1 hidden once, ...
void set_performance_counter(bool available, std::int64_t frequency = 1000000);
void set_counter(std::int64_t value);
void advance_counter(std::int64_t ticks);
void set_milliseconds(std::uint32_t value);
bool display_mode_changed();
// What platform_get_program_folder answers; empty: it cannot be told.
void set_program_folder(const std::string& folder);

// While hidden, every GL entry point lookup (wglGetProcAddress) answers
// null, as on a GL 1.1 system: what needs shaders must do without.
void hide_gl_procedures(bool hidden);

// The current window's state, or defaults when there is none.
struct WindowState {
    bool exists;
    bool visible;
    unsigned style;
    unsigned ex_style;
    int x, y, outer_width, outer_height;
    int client_width, client_height;
    std::string title;
};
WindowState window();
int live_windows();
int live_contexts();
bool class_registered();

// Frame border the simulated system adds around a WS_OVERLAPPEDWINDOW client area.
constexpr int frame_left = 8, frame_top = 31, frame_right = 8, frame_bottom = 8;

// An offscreen GL context for tests that need GL but no window (w x h,
// RGBA, 16-bit depth), made current; destroyed by the returned guard.
class OffscreenContext {
public:
    OffscreenContext(int width = 800, int height = 600);
    ~OffscreenContext();
    OffscreenContext(const OffscreenContext&) = delete;
    OffscreenContext& operator=(const OffscreenContext&) = delete;
    bool ok() const { return context_ != nullptr; }

private:
    void* context_;
    std::vector<unsigned char> buffer_;
};

// RGBA of the current context's pixel at (x, y), origin lower left.
struct Rgba {
    unsigned char r, g, b, a;
};
Rgba read_pixel(int x, int y);
// The whole w x h colour buffer of the current context, RGBA rows bottom-up.
std::vector<unsigned char> read_frame(int width, int height);

}  // namespace script
