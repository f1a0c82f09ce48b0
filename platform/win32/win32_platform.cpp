// The native Win32 backend: each platform function is the Win32 call of the
// same shape. Texts arrive as UTF-8 and go through the wide (W) calls.
//
// [X] window class, window, device context, pixel format, WGL context, swap
// [X] display mode change and restore (ChangeDisplaySettings)
// [X] message pump; the class's window procedure forwards to handle_window_message
//     (Windows' own pointer moves and wheel turns among the messages, as they are)
// [X] message boxes (MessageBoxW)
// [X] cursor, performance counter, timeGetTime
// [X] dropped files: DragAcceptFiles on every window, DragQueryFileW and
//     DragFinish, paths handed on as UTF-8
// [ ] nothing else: no menus, no resources, no DPI awareness
#include "platform/platform.h"  // <windows.h> first, through platform/gl.h

#include <mmsystem.h>
#include <shellapi.h>

#include <cstddef>
#include <cstdio>

#include "platform/win32/win32_text.h"

// Our descriptor is handed to the system as its own PIXELFORMATDESCRIPTOR.
static_assert(sizeof(PixelFormatDescriptor) == sizeof(PIXELFORMATDESCRIPTOR), "descriptor size");
#define DUPLEXA_SAME_OFFSET(field) \
    static_assert(offsetof(PixelFormatDescriptor, field) == offsetof(PIXELFORMATDESCRIPTOR, field), #field)
DUPLEXA_SAME_OFFSET(nSize);
DUPLEXA_SAME_OFFSET(nVersion);
DUPLEXA_SAME_OFFSET(dwFlags);
DUPLEXA_SAME_OFFSET(iPixelType);
DUPLEXA_SAME_OFFSET(cColorBits);
DUPLEXA_SAME_OFFSET(cRedBits);
DUPLEXA_SAME_OFFSET(cAlphaBits);
DUPLEXA_SAME_OFFSET(cAccumBits);
DUPLEXA_SAME_OFFSET(cDepthBits);
DUPLEXA_SAME_OFFSET(cStencilBits);
DUPLEXA_SAME_OFFSET(cAuxBuffers);
DUPLEXA_SAME_OFFSET(iLayerType);
DUPLEXA_SAME_OFFSET(bReserved);
DUPLEXA_SAME_OFFSET(dwLayerMask);
DUPLEXA_SAME_OFFSET(dwVisibleMask);
DUPLEXA_SAME_OFFSET(dwDamageMask);
#undef DUPLEXA_SAME_OFFSET

namespace {

HWND to_hwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }
HDC to_hdc(DeviceContext dc) { return reinterpret_cast<HDC>(dc); }
HGLRC to_hglrc(RenderContext rc) { return reinterpret_cast<HGLRC>(rc); }
HINSTANCE to_hinstance(InstanceHandle instance) { return reinterpret_cast<HINSTANCE>(instance); }

// Class names and titles are short; message boxes get a larger buffer.
constexpr int name_capacity = 256;
constexpr int box_capacity = 2048;

// The message PeekMessage gave last. TranslateMessage and DispatchMessage
// get it whole (time and cursor point included) when asked about it.
MSG last_message = {};

void message_from_msg(const MSG& msg, Message* message) {
    message->window = reinterpret_cast<WindowHandle>(msg.hwnd);
    message->message = msg.message;
    message->wparam = msg.wParam;
    message->lparam = msg.lParam;
}

MSG msg_from_message(const Message* message) {
    if (last_message.hwnd == to_hwnd(message->window) && last_message.message == message->message &&
        last_message.wParam == message->wparam && last_message.lParam == message->lparam)
        return last_message;
    MSG msg = {};
    msg.hwnd = to_hwnd(message->window);
    msg.message = message->message;
    msg.wParam = message->wparam;
    msg.lParam = message->lparam;
    return msg;
}

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return handle_window_message(reinterpret_cast<WindowHandle>(window), message, wparam, lparam);
}

}  // namespace

bool platform_get_program_folder(char* out, std::size_t size) {
    if (out == nullptr || size == 0) return false;
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    while (length > 0 && path[length - 1] != L'\\' && path[length - 1] != L'/') --length;
    path[length] = L'\0';
    int written = WideCharToMultiByte(CP_UTF8, 0, path, -1, out, static_cast<int>(size), nullptr, nullptr);
    return written > 0;
}

int platform_message_box(WindowHandle owner, const char* text, const char* caption, unsigned style) {
    static wchar_t wide_text[box_capacity];
    static wchar_t wide_caption[name_capacity];
    utf8_to_wide(text, wide_text, box_capacity);
    utf8_to_wide(caption, wide_caption, name_capacity);
    return MessageBoxW(to_hwnd(owner), wide_text, wide_caption, style);
}

WindowHandle platform_get_focus() { return reinterpret_cast<WindowHandle>(GetFocus()); }

bool platform_register_window_class(InstanceHandle instance, const char* class_name) {
    wchar_t wide_name[name_capacity];
    utf8_to_wide(class_name, wide_name, name_capacity);

    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof(window_class);
    window_class.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    window_class.lpfnWndProc = window_procedure;
    window_class.cbClsExtra = 0;
    window_class.cbWndExtra = 0;
    window_class.hInstance = to_hinstance(instance);
    // Integer resource ids: the A/W form of the macro does not matter.
    window_class.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_WINLOGO));
    window_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    window_class.hbrBackground = nullptr;
    window_class.lpszMenuName = nullptr;
    window_class.lpszClassName = wide_name;
    window_class.hIconSm = nullptr;
    return RegisterClassExW(&window_class) != 0;
}

bool platform_unregister_window_class(const char* class_name, InstanceHandle instance) {
    wchar_t wide_name[name_capacity];
    utf8_to_wide(class_name, wide_name, name_capacity);
    return UnregisterClassW(wide_name, to_hinstance(instance)) != 0;
}

long platform_change_display_mode(int width, int height, int bits_per_pixel) {
    DEVMODEW mode = {};
    mode.dmSize = sizeof(mode);
    mode.dmPelsWidth = static_cast<DWORD>(width);
    mode.dmPelsHeight = static_cast<DWORD>(height);
    mode.dmBitsPerPel = static_cast<DWORD>(bits_per_pixel);
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    return ChangeDisplaySettingsW(&mode, CDS_FULLSCREEN);
}

long platform_restore_display_mode() { return ChangeDisplaySettingsW(nullptr, 0); }

bool platform_adjust_window_rect(PlatformRect* rect, unsigned style, unsigned ex_style) {
    if (rect == nullptr) return false;
    RECT r = {rect->left, rect->top, rect->right, rect->bottom};
    if (!AdjustWindowRectEx(&r, style, FALSE, ex_style)) return false;
    rect->left = r.left;
    rect->top = r.top;
    rect->right = r.right;
    rect->bottom = r.bottom;
    return true;
}

WindowHandle platform_create_window(unsigned ex_style, const char* class_name, const char* title, unsigned style, int x,
                                    int y, int width, int height, InstanceHandle instance) {
    wchar_t wide_class[name_capacity];
    wchar_t wide_title[name_capacity];
    utf8_to_wide(class_name, wide_class, name_capacity);
    utf8_to_wide(title, wide_title, name_capacity);
    HWND window = CreateWindowExW(ex_style, wide_class, wide_title, style, x, y, width, height, nullptr, nullptr,
                                  to_hinstance(instance), nullptr);
    if (window != nullptr) DragAcceptFiles(window, TRUE);
    return reinterpret_cast<WindowHandle>(window);
}

bool platform_destroy_window(WindowHandle window) { return DestroyWindow(to_hwnd(window)) != 0; }

void platform_show_window(WindowHandle window) { ShowWindow(to_hwnd(window), SW_SHOW); }

bool platform_set_foreground_window(WindowHandle window) { return SetForegroundWindow(to_hwnd(window)) != 0; }

void platform_set_focus(WindowHandle window) { SetFocus(to_hwnd(window)); }

bool platform_get_client_rect(WindowHandle window, PlatformRect* rect) {
    if (rect == nullptr) return false;
    RECT r = {};
    if (!GetClientRect(to_hwnd(window), &r)) return false;
    rect->left = r.left;
    rect->top = r.top;
    rect->right = r.right;
    rect->bottom = r.bottom;
    return true;
}

DeviceContext platform_get_dc(WindowHandle window) { return reinterpret_cast<DeviceContext>(GetDC(to_hwnd(window))); }

bool platform_release_dc(WindowHandle window, DeviceContext dc) { return ReleaseDC(to_hwnd(window), to_hdc(dc)) != 0; }

int platform_choose_pixel_format(DeviceContext dc, const PixelFormatDescriptor* pfd) {
    return ChoosePixelFormat(to_hdc(dc), reinterpret_cast<const PIXELFORMATDESCRIPTOR*>(pfd));
}

bool platform_set_pixel_format(DeviceContext dc, int format, const PixelFormatDescriptor* pfd) {
    return SetPixelFormat(to_hdc(dc), format, reinterpret_cast<const PIXELFORMATDESCRIPTOR*>(pfd)) != 0;
}

int platform_describe_pixel_format(DeviceContext dc, int format, PixelFormatDescriptor* pfd) {
    return DescribePixelFormat(to_hdc(dc), format, sizeof(PIXELFORMATDESCRIPTOR),
                               reinterpret_cast<PIXELFORMATDESCRIPTOR*>(pfd));
}

RenderContext platform_create_context(DeviceContext dc) {
    return reinterpret_cast<RenderContext>(wglCreateContext(to_hdc(dc)));
}

bool platform_make_current(DeviceContext dc, RenderContext rc) { return wglMakeCurrent(to_hdc(dc), to_hglrc(rc)) != 0; }

bool platform_delete_context(RenderContext rc) { return wglDeleteContext(to_hglrc(rc)) != 0; }

bool platform_swap_buffers(DeviceContext dc) { return SwapBuffers(to_hdc(dc)) != 0; }

void* platform_get_gl_proc_address(const char* name) {
    if (!name || !wglGetCurrentContext()) return nullptr;
    const PROC proc = wglGetProcAddress(name);
    // Some drivers answer a small number instead of null for what they lack.
    const std::intptr_t value = reinterpret_cast<std::intptr_t>(proc);
    if (value >= -1 && value <= 3) return nullptr;
    return reinterpret_cast<void*>(proc);
}

bool platform_set_swap_interval(int interval) {
    typedef BOOL(WINAPI * SwapIntervalProc)(int);
    const auto set = reinterpret_cast<SwapIntervalProc>(platform_get_gl_proc_address("wglSwapIntervalEXT"));
    return set && set(interval) != FALSE;
}

bool platform_peek_message(Message* message) {
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    last_message = msg;
    message_from_msg(msg, message);
    return true;
}

bool platform_wait_message(int timeout_ms) {
    // MWMO_INPUTAVAILABLE: a message already seen by a peek counts too.
    const DWORD waited = MsgWaitForMultipleObjectsEx(0, nullptr, timeout_ms < 0 ? 0 : static_cast<DWORD>(timeout_ms),
                                                     QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    return waited == WAIT_OBJECT_0;
}

void platform_translate_message(const Message* message) {
    MSG msg = msg_from_message(message);
    TranslateMessage(&msg);
}

LResult platform_dispatch_message(const Message* message) {
    MSG msg = msg_from_message(message);
    return DispatchMessageW(&msg);
}

void platform_post_quit_message(int exit_code) { PostQuitMessage(exit_code); }

LResult platform_default_window_proc(WindowHandle window, unsigned message, WParam wparam, LParam lparam) {
    return DefWindowProcW(to_hwnd(window), message, wparam, lparam);
}

int platform_show_cursor(bool show) { return ShowCursor(show ? TRUE : FALSE); }

bool platform_get_cursor_pos(PlatformPoint* point) {
    if (point == nullptr) return false;
    POINT p = {};
    if (!GetCursorPos(&p)) return false;
    point->x = p.x;
    point->y = p.y;
    return true;
}

bool platform_set_cursor_pos(int x, int y) { return SetCursorPos(x, y) != 0; }

bool platform_query_performance_frequency(std::int64_t* frequency) {
    LARGE_INTEGER value;
    if (!QueryPerformanceFrequency(&value)) return false;
    if (frequency != nullptr) *frequency = value.QuadPart;
    return true;
}

bool platform_query_performance_counter(std::int64_t* counter) {
    LARGE_INTEGER value;
    if (!QueryPerformanceCounter(&value)) return false;
    if (counter != nullptr) *counter = value.QuadPart;
    return true;
}

std::uint32_t platform_time_get_time() { return timeGetTime(); }

unsigned platform_drag_query_file(DropHandle drop, unsigned index, char* buffer, unsigned size) {
    HDROP handle = reinterpret_cast<HDROP>(drop);
    if (index == drag_query_count) return DragQueryFileW(handle, 0xFFFFFFFFu, nullptr, 0);
    UINT wide_length = DragQueryFileW(handle, index, nullptr, 0);
    if (wide_length == 0) return 0;
    // Paths are short; one longer than this is not opened.
    static wchar_t wide[32768];
    if (wide_length >= sizeof wide / sizeof wide[0]) return 0;
    DragQueryFileW(handle, index, wide, wide_length + 1);
    int length = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(wide_length), nullptr, 0, nullptr, nullptr);
    if (buffer == nullptr) return static_cast<unsigned>(length);
    if (size == 0 || static_cast<unsigned>(length) >= size)
        return 0;  // the caller asks for the length first; a cut path would open another file
    int written = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(wide_length), buffer, static_cast<int>(size),
                                      nullptr, nullptr);
    buffer[written] = '\0';
    return static_cast<unsigned>(written);
}

void platform_drag_finish(DropHandle drop) { DragFinish(reinterpret_cast<HDROP>(drop)); }
