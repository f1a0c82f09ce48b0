// The platform layer: the only code that knows the operating system.
//
// Each function stands for one Win32 call of the same shape, so the shared
// code reads like the Windows program it models and the Win32 backend maps
// one-to-one. Other backends (SDL2 for Linux, the scripted test backend)
// emulate the same contract. Exactly one backend is linked into each
// executable.
//
// Texts crossing this boundary are UTF-8; each backend shows them correctly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// On Windows the system headers come first, so that their definitions of the
// message and style constants stand and the guarded ones below step aside.
#include "platform/gl.h"

// Opaque handles. The Win32 backend casts them to HINSTANCE, HWND, HDC, HGLRC.
typedef struct duplexa_instance_* InstanceHandle;
typedef struct duplexa_window_* WindowHandle;
typedef struct duplexa_dc_* DeviceContext;
typedef struct duplexa_rc_* RenderContext;
typedef struct duplexa_drop_* DropHandle;  // HDROP

typedef std::uintptr_t WParam;
typedef std::intptr_t LParam;
typedef std::intptr_t LResult;

struct PlatformRect {
    long left, top, right, bottom;
};

struct PlatformPoint {
    long x, y;
};

// One window message, as MSG carries it.
struct Message {
    WindowHandle window;
    unsigned message;
    WParam wparam;
    LParam lparam;
};

// PIXELFORMATDESCRIPTOR, field for field (40 bytes).
struct PixelFormatDescriptor {
    std::uint16_t nSize;
    std::uint16_t nVersion;
    std::uint32_t dwFlags;
    std::uint8_t iPixelType;
    std::uint8_t cColorBits;
    std::uint8_t cRedBits, cRedShift, cGreenBits, cGreenShift, cBlueBits, cBlueShift;
    std::uint8_t cAlphaBits, cAlphaShift;
    std::uint8_t cAccumBits, cAccumRedBits, cAccumGreenBits, cAccumBlueBits, cAccumAlphaBits;
    std::uint8_t cDepthBits;
    std::uint8_t cStencilBits;
    std::uint8_t cAuxBuffers;
    std::uint8_t iLayerType;
    std::uint8_t bReserved;
    std::uint32_t dwLayerMask, dwVisibleMask, dwDamageMask;
};
static_assert(sizeof(PixelFormatDescriptor) == 40, "PIXELFORMATDESCRIPTOR is 40 bytes");

// The Win32 numeric values. Each is guarded, so that a backend that includes
// <windows.h> first keeps the system's own definitions (same values).
#ifndef WM_QUIT
#define WM_SIZE 0x0005
#define WM_ACTIVATE 0x0006
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_SYSKEYDOWN 0x0104
#define WM_SYSKEYUP 0x0105
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_RBUTTONDOWN 0x0204
#define WM_RBUTTONUP 0x0205
#define WM_MOUSEWHEEL 0x020A
#define WM_DROPFILES 0x0233

#define MK_LBUTTON 0x0001
#define MK_RBUTTON 0x0002
#define MK_SHIFT 0x0004
#define WHEEL_DELTA 120

#define VK_LBUTTON 0x01
#define VK_RBUTTON 0x02
#define VK_SHIFT 0x10
#define VK_MENU 0x12
#define VK_ESCAPE 0x1B
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_F1 0x70
#define VK_F10 0x79
#define VK_F12 0x7B

#define SIZE_MINIMIZED 1

#define MB_OK 0x00
#define MB_YESNO 0x04
#define MB_ICONERROR 0x10
#define MB_ICONQUESTION 0x20
#define MB_ICONEXCLAMATION 0x30
#define MB_ICONINFORMATION 0x40
#define IDOK 1
#define IDYES 6
#define IDNO 7

#define DISP_CHANGE_SUCCESSFUL 0
#define DISP_CHANGE_RESTART 1
#define DISP_CHANGE_FAILED (-1)
#define DISP_CHANGE_BADMODE (-2)
#define DISP_CHANGE_NOTUPDATED (-3)
#define DISP_CHANGE_BADFLAGS (-4)

#define WS_POPUP 0x80000000u
#define WS_CLIPSIBLINGS 0x04000000u
#define WS_CLIPCHILDREN 0x02000000u
#define WS_OVERLAPPEDWINDOW 0x00CF0000u
#define WS_EX_WINDOWEDGE 0x00000100u
#define WS_EX_APPWINDOW 0x00040000u

#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define CS_OWNDC 0x0020

#define PFD_DOUBLEBUFFER 0x00000001
#define PFD_STEREO 0x00000002
#define PFD_DRAW_TO_WINDOW 0x00000004
#define PFD_SUPPORT_OPENGL 0x00000020
#define PFD_TYPE_RGBA 0
#define PFD_MAIN_PLANE 0
#endif

inline unsigned loword(std::uintptr_t v) { return static_cast<unsigned>(v & 0xFFFF); }
inline unsigned hiword(std::uintptr_t v) { return static_cast<unsigned>((v >> 16) & 0xFFFF); }

// The pointer messages, as Windows packs them: WM_MOUSEMOVE carries the
// client position (signed words of lParam) and the MK_ flags of the held
// buttons and Shift in wParam; WM_MOUSEWHEEL the signed turn in the high word
// of wParam (WHEEL_DELTA a notch, away from the user positive), the MK_ flags
// in the low word and the pointer's screen position in lParam.
inline int signed_loword(std::uintptr_t v) { return static_cast<std::int16_t>(v & 0xFFFF); }
inline int signed_hiword(std::uintptr_t v) { return static_cast<std::int16_t>((v >> 16) & 0xFFFF); }
inline int wheel_delta_of(WParam wparam) { return signed_hiword(wparam); }

// Message boxes (MessageBox): shows the box and nothing else. Returns IDOK,
// IDYES, IDNO, or 0 when no box could be shown.
int platform_message_box(WindowHandle owner, const char* text, const char* caption, unsigned style);

// What the shared code calls: the box, first written to stderr as
// "caption: text", so a run without a display, or a log, explains itself.
inline int show_message_box(WindowHandle owner, const char* text, const char* caption, unsigned style) {
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
    std::fflush(stderr);
    return platform_message_box(owner, text, caption, style);
}
WindowHandle platform_get_focus();  // GetFocus

// Window class (RegisterClassEx / UnregisterClass). The class's window
// procedure is always handle_window_message.
bool platform_register_window_class(InstanceHandle instance, const char* class_name);
bool platform_unregister_window_class(const char* class_name, InstanceHandle instance);

// Display mode (ChangeDisplaySettings with CDS_FULLSCREEN / with no mode).
long platform_change_display_mode(int width, int height, int bits_per_pixel);
long platform_restore_display_mode();

// Windows.
bool platform_adjust_window_rect(PlatformRect* rect, unsigned style, unsigned ex_style);  // AdjustWindowRectEx
WindowHandle platform_create_window(unsigned ex_style, const char* class_name, const char* title, unsigned style, int x,
                                    int y, int width, int height,
                                    InstanceHandle instance);            // CreateWindowEx
bool platform_destroy_window(WindowHandle window);                       // DestroyWindow
void platform_show_window(WindowHandle window);                          // ShowWindow(SW_SHOW)
bool platform_set_foreground_window(WindowHandle window);                // SetForegroundWindow
void platform_set_focus(WindowHandle window);                            // SetFocus
bool platform_get_client_rect(WindowHandle window, PlatformRect* rect);  // GetClientRect

// Device context and pixel format.
DeviceContext platform_get_dc(WindowHandle window);                                    // GetDC
bool platform_release_dc(WindowHandle window, DeviceContext dc);                       // ReleaseDC
int platform_choose_pixel_format(DeviceContext dc, const PixelFormatDescriptor* pfd);  // 0: none
bool platform_set_pixel_format(DeviceContext dc, int format, const PixelFormatDescriptor* pfd);
// DescribePixelFormat: fills *pfd with what format really gives (flags such as
// PFD_STEREO, cStencilBits); returns the highest format number, 0 on failure.
int platform_describe_pixel_format(DeviceContext dc, int format, PixelFormatDescriptor* pfd);

// OpenGL context (wglCreateContext / wglMakeCurrent / wglDeleteContext), SwapBuffers.
RenderContext platform_create_context(DeviceContext dc);
bool platform_make_current(DeviceContext dc, RenderContext rc);
bool platform_delete_context(RenderContext rc);
bool platform_swap_buffers(DeviceContext dc);
// wglSwapIntervalEXT for the current context: 1 makes each swap wait for
// the display, 0 does not. False where the system cannot set it.
bool platform_set_swap_interval(int interval);

// Messages (PeekMessage with PM_REMOVE, TranslateMessage, DispatchMessage,
// PostQuitMessage, DefWindowProc).
bool platform_peek_message(Message* message);
void platform_translate_message(const Message* message);
LResult platform_dispatch_message(const Message* message);
void platform_post_quit_message(int exit_code);
LResult platform_default_window_proc(WindowHandle window, unsigned message, WParam wparam, LParam lparam);
// MsgWaitForMultipleObjects(QS_ALLINPUT): waits until a message is waiting
// or timeout_ms have passed, removing nothing; true when one is waiting.
bool platform_wait_message(int timeout_ms);

// Cursor (ShowCursor with its display counter, GetCursorPos, SetCursorPos;
// screen coordinates).
int platform_show_cursor(bool show);
bool platform_get_cursor_pos(PlatformPoint* point);
bool platform_set_cursor_pos(int x, int y);

// Moves a file (MoveFileEx): with replace false an existing file at `to` is
// never overwritten and the move fails instead. Paths are UTF-8.
bool platform_move_file(const char* from, const char* to, bool replace);

// Drawing without a window, for pictures: a GL context of its own, current on
// return, drawing into a width x height RGB colour buffer with 16-bit depth
// and 8-bit stencil, read back with glReadPixels. Null when there is none,
// with the reason in `reason` (reason_size bytes). Destroying releases it.
typedef struct duplexa_offscreen_* OffscreenSurface;
OffscreenSurface platform_create_offscreen(int width, int height, char* reason, std::size_t reason_size);
void platform_destroy_offscreen(OffscreenSurface surface);

// The address of an OpenGL entry point beyond 1.1 in the current context
// (wglGetProcAddress; SDL_GL_GetProcAddress, or EGL's lookup for offscreen
// contexts; OSMesaGetProcAddress in the scripted backend), or null. Some
// systems give an address for any name: whether the context has the
// function is told by its version and extensions, not by this.
void* platform_get_gl_proc_address(const char* name);

// The folder of the running program, ending in a separator (GetModuleFileName
// without the file name), into out (size bytes, terminator included). False
// when it cannot be told or does not fit.
bool platform_get_program_folder(char* out, std::size_t size);

// Clocks (QueryPerformanceFrequency / QueryPerformanceCounter, timeGetTime).
bool platform_query_performance_frequency(std::int64_t* frequency);
bool platform_query_performance_counter(std::int64_t* counter);
std::uint32_t platform_time_get_time();

// Files dropped on a window arrive as WM_DROPFILES with a DropHandle in
// wParam (DragAcceptFiles is on for every window). DragQueryFile: index
// 0xFFFFFFFF gives the number of files; a null buffer gives the length of
// file `index` in bytes of UTF-8 without the terminator; otherwise at most
// size - 1 bytes and a terminator are copied and the bytes copied returned.
// DragFinish releases the handle; the window procedure calls it once.
constexpr unsigned drag_query_count = 0xFFFFFFFFu;
unsigned platform_drag_query_file(DropHandle drop, unsigned index, char* buffer, unsigned size);
void platform_drag_finish(DropHandle drop);

// Provided by the shared code: the window procedure every backend delivers to.
LResult handle_window_message(WindowHandle window, unsigned message, WParam wparam, LParam lparam);
