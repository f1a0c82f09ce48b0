// The scripted backend: a simulated Win32 system with real offscreen GL.
#include "platform/script/script_platform.h"

#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>

#include "platform/script/script_gl.h"
#include "platform/win32_emulation.h"

namespace script {
namespace {

struct SimWindow {
    bool alive = false;
    bool visible = false;
    unsigned style = 0, ex_style = 0;
    int x = 0, y = 0, outer_width = 0, outer_height = 0;
    int client_width = 0, client_height = 0;
    std::string title;
    bool dc_held = false;
    int pixel_format = 0;
    std::vector<unsigned char> buffer;  // the GL drawing surface, RGBA
};

struct SimContext {
    bool alive = false;
    void* gl = nullptr;
};

struct State {
    std::vector<std::string> calls;
    std::vector<Box> boxes;
    std::deque<int> answers;
    std::map<std::string, int> failures;
    long next_display_result = DISP_CHANGE_SUCCESSFUL;
    bool display_changed = false;
    bool class_registered = false;
    std::vector<SimWindow> windows;    // handle = index + 1
    std::vector<SimContext> contexts;  // handle = index + 1
    int current_window = 0;            // the window whose DC holds the current context
    int focus_window = 0;
    std::deque<Message> queue;
    std::function<void(int)> swap_hook;
    int swaps = 0;
    PlatformPoint cursor{0, 0};
    emulated::CursorCounter cursor_counter;
    bool counter_available = true;
    std::int64_t frequency = 1000000;
    std::int64_t counter = 0;
    std::uint32_t milliseconds = 0;
    std::string program_folder;
    bool stencil_formats = true;
    bool stereo_formats = false;
    bool gl_procedures = true;
    std::vector<std::vector<std::string>> drops;  // handle = index + 1
    std::vector<bool> drop_finished;
    bool gl_procedures_hidden = false;
};

// Constructed on first use: the camera parks the cursor before main runs,
// possibly before this file's own statics would have been constructed.
State& state() {
    static State s;
    return s;
}

bool should_fail(const char* call) {
    auto& failures = state().failures;
    auto it = failures.find(call);
    if (it == failures.end() || it->second <= 0) return false;
    --it->second;
    return true;
}

int index_of(WindowHandle window) {
    auto id = reinterpret_cast<std::uintptr_t>(window);
    if (id == 0 || id > state().windows.size() || !state().windows[id - 1].alive) return -1;
    return static_cast<int>(id - 1);
}

SimWindow* window_of(WindowHandle window) {
    int i = index_of(window);
    return i < 0 ? nullptr : &state().windows[i];
}

WindowHandle handle_of(int index) { return reinterpret_cast<WindowHandle>(static_cast<std::uintptr_t>(index + 1)); }

int current_window_index() {
    for (int i = static_cast<int>(state().windows.size()) - 1; i >= 0; --i)
        if (state().windows[i].alive) return i;
    return -1;
}

// The frame the simulated system draws around a client area of this style.
void frame_of(unsigned style, int* left, int* top, int* right, int* bottom) {
    bool framed = (style & WS_OVERLAPPEDWINDOW) == WS_OVERLAPPEDWINDOW && !(style & WS_POPUP);
    *left = framed ? frame_left : 0;
    *top = framed ? frame_top : 0;
    *right = framed ? frame_right : 0;
    *bottom = framed ? frame_bottom : 0;
}

}  // namespace

void log_call(const std::string& call) { state().calls.push_back(call); }

void reset() {
    State& s = state();
    platform_make_current(nullptr, nullptr);
    for (auto& c : s.contexts)
        if (c.alive) gl_destroy_context(c.gl);
    PlatformPoint cursor = s.cursor;
    bool counter_available = s.counter_available;
    std::int64_t frequency = s.frequency, counter = s.counter;
    std::uint32_t ms = s.milliseconds;
    s = State();
    s.cursor = cursor;
    s.counter_available = counter_available;
    s.frequency = frequency;
    s.counter = counter;
    s.milliseconds = ms;
}

const std::vector<std::string>& calls() { return state().calls; }

std::vector<std::string> calls_starting(const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& c : state().calls)
        if (c.compare(0, prefix.size(), prefix) == 0) out.push_back(c);
    return out;
}

void clear_calls() { state().calls.clear(); }
const std::vector<Box>& boxes() { return state().boxes; }
void queue_box_answers(std::vector<int> answers) {
    for (int a : answers) state().answers.push_back(a);
}
void fail_next(const std::string& call, int times) { state().failures[call] += times; }
void set_gl_procedures(bool available) { state().gl_procedures = available; }
void set_display_change_result(long result) { state().next_display_result = result; }
void set_pixel_formats(bool stencil, bool stereo) {
    state().stencil_formats = stencil;
    state().stereo_formats = stereo;
}

void post(unsigned message, WParam wparam, LParam lparam) {
    int i = current_window_index();
    state().queue.push_back(Message{i < 0 ? nullptr : handle_of(i), message, wparam, lparam});
}
void key_press(int vk) { post(WM_KEYDOWN, static_cast<WParam>(vk)); }
void key_release(int vk) { post(WM_KEYUP, static_cast<WParam>(vk)); }
void close_window() { post(WM_CLOSE); }
void pointer_move(int x, int y, unsigned flags) { post(WM_MOUSEMOVE, flags, emulated::word_pair(x, y)); }
void wheel(int notches, unsigned flags) {
    const PlatformPoint at = cursor();
    post(WM_MOUSEWHEEL, emulated::wheel_wparam(notches * WHEEL_DELTA, flags),
         emulated::word_pair(static_cast<int>(at.x), static_cast<int>(at.y)));
}
void minimise() { emulated::send_minimised(post); }
void restore() {
    WindowState w = window();
    emulated::send_restored(post, w.client_width, w.client_height);
}

void drop_files(std::vector<std::string> paths) {
    state().drops.push_back(std::move(paths));
    state().drop_finished.push_back(false);
    post(WM_DROPFILES, static_cast<WParam>(state().drops.size()));
}

int drops_unfinished() {
    int n = 0;
    for (bool finished : state().drop_finished) n += !finished;
    return n;
}

void on_swap(std::function<void(int)> hook) { state().swap_hook = std::move(hook); }
int swap_count() { return state().swaps; }

void set_cursor(long x, long y) { state().cursor = PlatformPoint{x, y}; }
PlatformPoint cursor() { return state().cursor; }
int cursor_display_count() { return state().cursor_counter.count; }
void set_performance_counter(bool available, std::int64_t frequency) {
    state().counter_available = available;
    state().frequency = frequency;
}
void set_counter(std::int64_t value) { state().counter = value; }
void advance_counter(std::int64_t ticks) { state().counter += ticks; }
void set_milliseconds(std::uint32_t value) { state().milliseconds = value; }
bool display_mode_changed() { return state().display_changed; }

WindowState window() {
    int i = current_window_index();
    if (i < 0) return WindowState{false, false, 0, 0, 0, 0, 0, 0, 0, 0, std::string()};
    const SimWindow& w = state().windows[i];
    return WindowState{true,          w.visible,      w.style,        w.ex_style,      w.x,    w.y,
                       w.outer_width, w.outer_height, w.client_width, w.client_height, w.title};
}

int live_windows() {
    int n = 0;
    for (const auto& w : state().windows) n += w.alive;
    return n;
}

int live_contexts() {
    int n = 0;
    for (const auto& c : state().contexts) n += c.alive;
    return n;
}

bool class_registered() { return state().class_registered; }

}  // namespace script

using script::state;

int platform_message_box(WindowHandle owner, const char* text, const char* caption, unsigned style) {
    auto& s = state();
    s.boxes.push_back(script::Box{text, caption, style, owner != nullptr});
    script::log_call(std::string("MessageBox(") + caption + ": " + text + ")");
    int answer = (style & 0xF) == MB_YESNO ? IDNO : IDOK;
    if (!s.answers.empty()) {
        answer = s.answers.front();
        s.answers.pop_front();
    }
    return answer;
}

WindowHandle platform_get_focus() {
    int f = state().focus_window;
    return f > 0 && script::index_of(script::handle_of(f - 1)) >= 0 ? script::handle_of(f - 1) : nullptr;
}

bool platform_register_window_class(InstanceHandle, const char* class_name) {
    script::log_call(std::string("RegisterClassEx(") + class_name + ")");
    // Like Win32, a second registration of a live class fails.
    if (script::should_fail("RegisterClassEx") || state().class_registered) return false;
    state().class_registered = true;
    return true;
}

bool platform_unregister_window_class(const char* class_name, InstanceHandle) {
    script::log_call(std::string("UnregisterClass(") + class_name + ")");
    // Like Win32, a class with a live window stays registered.
    if (script::should_fail("UnregisterClass") || !state().class_registered || script::live_windows() > 0) return false;
    state().class_registered = false;
    return true;
}

long platform_change_display_mode(int width, int height, int bits) {
    script::log_call("ChangeDisplaySettings(" + std::to_string(width) + "x" + std::to_string(height) + "x" +
                     std::to_string(bits) + ")");
    long result = state().next_display_result;
    state().next_display_result = DISP_CHANGE_SUCCESSFUL;
    if (result == DISP_CHANGE_SUCCESSFUL) state().display_changed = true;
    return result;
}

long platform_restore_display_mode() {
    script::log_call("ChangeDisplaySettings(restore)");
    state().display_changed = false;
    return DISP_CHANGE_SUCCESSFUL;
}

bool platform_adjust_window_rect(PlatformRect* rect, unsigned style, unsigned) {
    script::log_call("AdjustWindowRectEx");
    int l, t, r, b;
    script::frame_of(style, &l, &t, &r, &b);
    rect->left -= l;
    rect->top -= t;
    rect->right += r;
    rect->bottom += b;
    return true;
}

WindowHandle platform_create_window(unsigned ex_style, const char* class_name, const char* title, unsigned style, int x,
                                    int y, int width, int height, InstanceHandle) {
    script::log_call(std::string("CreateWindowEx(") + title + ")");
    auto& s = state();
    if (script::should_fail("CreateWindowEx") || !s.class_registered || std::string(class_name) != "OpenGL")
        return nullptr;
    script::SimWindow w;
    w.alive = true;
    w.style = style;
    w.ex_style = ex_style;
    w.x = x;
    w.y = y;
    w.outer_width = width;
    w.outer_height = height;
    int l, t, r, b;
    script::frame_of(style, &l, &t, &r, &b);
    w.client_width = width - l - r;
    w.client_height = height - t - b;
    w.title = title;
    s.windows.push_back(std::move(w));
    int index = static_cast<int>(s.windows.size()) - 1;
    WindowHandle handle = script::handle_of(index);
    emulated::send_client_size(emulated::sent_to(handle), s.windows[index].client_width,
                               s.windows[index].client_height);
    return handle;
}

bool platform_destroy_window(WindowHandle window) {
    script::log_call("DestroyWindow");
    script::SimWindow* w = script::window_of(window);
    if (script::should_fail("DestroyWindow") || !w) return false;
    w->alive = false;
    w->visible = false;
    w->buffer.clear();
    w->buffer.shrink_to_fit();
    return true;
}

void platform_show_window(WindowHandle window) {
    script::log_call("ShowWindow");
    if (script::SimWindow* w = script::window_of(window)) {
        w->visible = true;
        emulated::send_shown(emulated::sent_to(window));
    }
}

bool platform_set_foreground_window(WindowHandle window) {
    script::log_call("SetForegroundWindow");
    return script::window_of(window) != nullptr;
}

void platform_set_focus(WindowHandle window) {
    script::log_call("SetFocus");
    int i = script::index_of(window);
    if (i >= 0) state().focus_window = i + 1;
}

bool platform_get_client_rect(WindowHandle window, PlatformRect* rect) {
    script::log_call("GetClientRect");
    script::SimWindow* w = script::window_of(window);
    if (!w) return false;
    *rect = PlatformRect{0, 0, w->client_width, w->client_height};
    return true;
}

DeviceContext platform_get_dc(WindowHandle window) {
    script::log_call("GetDC");
    script::SimWindow* w = script::window_of(window);
    if (script::should_fail("GetDC") || !w) return nullptr;
    w->dc_held = true;
    return reinterpret_cast<DeviceContext>(window);  // one DC per window (CS_OWNDC)
}

bool platform_release_dc(WindowHandle window, DeviceContext dc) {
    script::log_call("ReleaseDC");
    script::SimWindow* w = script::window_of(window);
    if (script::should_fail("ReleaseDC") || !w || reinterpret_cast<WindowHandle>(dc) != window) return false;
    w->dc_held = false;
    return true;
}

int platform_choose_pixel_format(DeviceContext dc, const PixelFormatDescriptor* pfd) {
    script::log_call("ChoosePixelFormat");
    if (script::should_fail("ChoosePixelFormat") || !script::window_of(reinterpret_cast<WindowHandle>(dc))) return 0;
    return emulated::choose_format(pfd, [](int extras) {
        return (!(extras & emulated::format_stencil) || state().stencil_formats) &&
               (!(extras & emulated::format_stereo) || state().stereo_formats);
    });
}

int platform_describe_pixel_format(DeviceContext dc, int format, PixelFormatDescriptor* pfd) {
    script::log_call("DescribePixelFormat(" + std::to_string(format) + ")");
    if (!script::window_of(reinterpret_cast<WindowHandle>(dc))) return 0;
    return emulated::describe_format(format, 32, pfd);
}

bool platform_set_pixel_format(DeviceContext dc, int format, const PixelFormatDescriptor*) {
    script::log_call("SetPixelFormat");
    script::SimWindow* w = script::window_of(reinterpret_cast<WindowHandle>(dc));
    // Like Win32, a window's pixel format can be set only once.
    if (script::should_fail("SetPixelFormat") || !w || !emulated::valid_format(format) || w->pixel_format != 0)
        return false;
    w->pixel_format = format;
    return true;
}

RenderContext platform_create_context(DeviceContext dc) {
    script::log_call("wglCreateContext");
    script::SimWindow* w = script::window_of(reinterpret_cast<WindowHandle>(dc));
    if (script::should_fail("wglCreateContext") || !w || w->pixel_format == 0) return nullptr;
    const bool stencil = ((w->pixel_format - 1) & emulated::format_stencil) != 0;
    void* gl = script::gl_create_context(stencil ? 8 : 0);
    if (!gl) return nullptr;
    state().contexts.push_back(script::SimContext{true, gl});
    return reinterpret_cast<RenderContext>(static_cast<std::uintptr_t>(state().contexts.size()));
}

bool platform_make_current(DeviceContext dc, RenderContext rc) {
    auto& s = state();
    if (!dc && !rc) {
        script::log_call("wglMakeCurrent(null)");
        if (script::should_fail("wglMakeCurrent")) return false;
        s.current_window = 0;
        return script::gl_make_current(nullptr, nullptr, 0, 0);
    }
    script::log_call("wglMakeCurrent");
    auto id = reinterpret_cast<std::uintptr_t>(rc);
    script::SimWindow* w = script::window_of(reinterpret_cast<WindowHandle>(dc));
    if (script::should_fail("wglMakeCurrent") || !w || id == 0 || id > s.contexts.size() || !s.contexts[id - 1].alive)
        return false;
    // The drawing surface follows the client size, at least 1 x 1.
    int width = w->client_width > 0 ? w->client_width : 1;
    int height = w->client_height > 0 ? w->client_height : 1;
    w->buffer.assign(static_cast<std::size_t>(width) * height * 4, 0);
    if (!script::gl_make_current(s.contexts[id - 1].gl, w->buffer.data(), width, height)) return false;
    s.current_window = script::index_of(reinterpret_cast<WindowHandle>(dc)) + 1;
    return true;
}

bool platform_delete_context(RenderContext rc) {
    script::log_call("wglDeleteContext");
    auto& s = state();
    auto id = reinterpret_cast<std::uintptr_t>(rc);
    if (script::should_fail("wglDeleteContext") || id == 0 || id > s.contexts.size() || !s.contexts[id - 1].alive)
        return false;
    script::gl_destroy_context(s.contexts[id - 1].gl);
    s.contexts[id - 1] = script::SimContext{};
    return true;
}

bool platform_swap_buffers(DeviceContext dc) {
    auto& s = state();
    if (!script::window_of(reinterpret_cast<WindowHandle>(dc))) return false;
    ++s.swaps;
    // Each presented frame takes 20 ms of simulated time: a steady 50 frames per second.
    s.counter += s.frequency / 50;
    s.milliseconds += 20;
    if (s.swap_hook) s.swap_hook(s.swaps);
    if (s.swaps % 100000 == 0) {
        std::fprintf(stderr, "script: runaway loop after %d swaps, closing the window\n", s.swaps);
        script::close_window();
    }
    return true;
}

bool platform_set_swap_interval(int interval) {
    script::log_call("wglSwapIntervalEXT(" + std::to_string(interval) + ")");
    return !script::should_fail("wglSwapIntervalEXT");
}

bool platform_wait_message(int timeout_ms) {
    script::log_call("MsgWaitForMultipleObjects(" + std::to_string(timeout_ms) + ")");
    return !state().queue.empty();
}

bool platform_peek_message(Message* message) {
    auto& q = state().queue;
    if (q.empty()) return false;
    *message = q.front();
    q.pop_front();
    return true;
}

void platform_translate_message(const Message*) {}

LResult platform_dispatch_message(const Message* message) {
    return handle_window_message(message->window, message->message, message->wparam, message->lparam);
}

void platform_post_quit_message(int exit_code) {
    script::log_call("PostQuitMessage(" + std::to_string(exit_code) + ")");
    state().queue.push_back(Message{nullptr, WM_QUIT, static_cast<WParam>(exit_code), 0});
}

LResult platform_default_window_proc(WindowHandle, unsigned, WParam, LParam) {
    script::log_call("DefWindowProc");
    return 0;
}

int platform_show_cursor(bool show) {
    script::log_call(show ? "ShowCursor(1)" : "ShowCursor(0)");
    return state().cursor_counter.show(show);
}

bool platform_get_cursor_pos(PlatformPoint* point) {
    if (script::should_fail("GetCursorPos")) return false;
    *point = state().cursor;
    return true;
}

bool platform_set_cursor_pos(int x, int y) {
    state().cursor = PlatformPoint{x, y};
    return true;
}

bool platform_query_performance_frequency(std::int64_t* frequency) {
    if (!state().counter_available) return false;
    *frequency = state().frequency;
    return true;
}

bool platform_query_performance_counter(std::int64_t* counter) {
    *counter = state().counter;
    return true;
}

std::uint32_t platform_time_get_time() { return state().milliseconds; }

void script::set_program_folder(const std::string& folder) { state().program_folder = folder; }

bool platform_get_program_folder(char* out, std::size_t size) {
    const std::string& folder = state().program_folder;
    if (!out || folder.empty() || folder.size() >= size) return false;
    std::memcpy(out, folder.c_str(), folder.size() + 1);
    return true;
}

void script::hide_gl_procedures(bool hidden) { state().gl_procedures_hidden = hidden; }

void* platform_get_gl_proc_address(const char* name) {
    script::log_call(std::string("wglGetProcAddress(") + (name ? name : "") + ")");
    if (!name || state().gl_procedures_hidden || !state().gl_procedures) return nullptr;
    return script::gl_proc_address(name);
}

// Pictures: real offscreen GL (OSMesa) into a buffer of the asked size.
struct duplexa_offscreen_ {
    void* context;
    std::vector<unsigned char> pixels;
};

OffscreenSurface platform_create_offscreen(int width, int height, char* reason, std::size_t reason_size) {
    script::log_call("CreateOffscreen(" + std::to_string(width) + "x" + std::to_string(height) + ")");
    auto say = [&](const char* what) {
        if (reason && reason_size) std::snprintf(reason, reason_size, "%s", what);
    };
    if (script::should_fail("CreateOffscreen")) {
        say("no offscreen OpenGL in this test");
        return nullptr;
    }
    auto* surface = new duplexa_offscreen_{script::gl_create_context(8),
                                           std::vector<unsigned char>(static_cast<std::size_t>(width) * height * 4)};
    if (surface->context && script::gl_make_current(surface->context, surface->pixels.data(), width, height))
        return surface;
    say("cannot make an offscreen context");
    script::gl_destroy_context(surface->context);
    delete surface;
    return nullptr;
}

void platform_destroy_offscreen(OffscreenSurface surface) {
    if (!surface) return;
    script::log_call("DestroyOffscreen");
    script::gl_make_current(nullptr, nullptr, 0, 0);
    script::gl_destroy_context(surface->context);
    delete surface;
}

// The real file system: tests look at the files written.
bool platform_move_file(const char* from, const char* to, bool replace) {
    script::log_call(std::string("MoveFileEx(") + to + (replace ? ", replace)" : ")"));
    if (script::should_fail("MoveFileEx") || !from || !to) return false;
    if (!replace) {
        if (std::FILE* existing = std::fopen(to, "rb")) {
            std::fclose(existing);
            return false;
        }
    }
    std::remove(to);
    return std::rename(from, to) == 0;
}

unsigned platform_drag_query_file(DropHandle drop, unsigned index, char* buffer, unsigned size) {
    script::log_call(index == drag_query_count ? "DragQueryFile(count)"
                                               : "DragQueryFile(" + std::to_string(index) + ")");
    auto& s = state();
    auto id = reinterpret_cast<std::uintptr_t>(drop);
    if (id == 0 || id > s.drops.size() || s.drop_finished[id - 1]) return 0;
    const auto& paths = s.drops[id - 1];
    if (index == drag_query_count) return static_cast<unsigned>(paths.size());
    if (index >= paths.size()) return 0;
    const std::string& path = paths[index];
    if (!buffer) return static_cast<unsigned>(path.size());
    if (size == 0) return 0;
    std::size_t n = path.size() < size - 1 ? path.size() : size - 1;
    std::memcpy(buffer, path.data(), n);
    buffer[n] = '\0';
    return static_cast<unsigned>(n);
}

void platform_drag_finish(DropHandle drop) {
    script::log_call("DragFinish");
    auto id = reinterpret_cast<std::uintptr_t>(drop);
    if (id > 0 && id <= state().drop_finished.size()) state().drop_finished[id - 1] = true;
}
