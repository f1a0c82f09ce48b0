// The SDL2 backend: the platform interface emulated over SDL2 on Linux (X11).
//
// [X] Message boxes (SDL_ShowMessageBox; Yes/No and OK)
// [X] Window class: SDL video is brought up on register and shut down on
//     unregister, so each opening starts from a fresh SDL state
// [X] Full screen: the mode is checked against the display's list and
//     switched to at once on a full-screen window, which the next WS_POPUP
//     window becomes; a switch that does not give the asked size fails
// [X] Windows, device context, pixel format, GL context (SDL_GL_*), swap
// [X] Pixel formats with a stencil buffer or stereo (quad-buffered): X fixes
//     the visual when a window is made, so ChoosePixelFormat tries a hidden
//     1 x 1 window with those attributes, and SetPixelFormat remakes the
//     (still hidden) window when it was made with others
// [ ] Wayland: a format counts as there when its window can be made
// [X] Messages: keys, left/right buttons, pointer moves (WM_MOUSEMOVE, one
//     waiting at a time as Windows coalesces them), the wheel
//     (WM_MOUSEWHEEL), minimise/restore, size, close, quit, through a fixed
//     ring queue
// [X] Cursor: ShowCursor's display counter, global warp, and the position
//     read from the X server; a park asked for before video is up is
//     applied once it is
// [X] Video drivers: x11, then wayland (SDL_VIDEODRIVER overrides); never
//     the offscreen one on its own, so "no display" fails as it should
// [X] Clocks: SDL's performance counter and tick count
// [X] Files dropped on a window (SDL_DROPFILE): one WM_DROPFILES per file,
//     its handle a slot holding SDL's UTF-8 path until DragFinish
// [ ] Other buttons, horizontal wheel, WM_CHAR: nothing reads them
// [ ] WM_ACTIVATE on plain focus changes: only minimise and restore send it,
//     since `active` only tracks the minimised state
// [ ] More than one window class at a time
//
// Everything here is plain, constant-initialised state: the Camera parks the
// cursor from its constructor, before main, in an unspecified order with
// other translation units.
#include <SDL.h>
#include <SDL_syswm.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "platform/platform.h"
#include "platform/sdl/sdl_keys.h"
#include "platform/sdl/sdl_platform.h"
#include "platform/win32_emulation.h"

namespace {

struct SdlWindow {
    SDL_Window* window;
    int pixel_format;
    int format_extras;    // the buffers the window was made with (format_stencil, format_stereo)
    int announced_width;  // the client size last sent with WM_SIZE
    int announced_height;
};

using emulated::format_stencil;
using emulated::format_stereo;

constexpr int max_windows = 4;
SdlWindow windows[max_windows];
int next_window_slot;

bool video_ready;      // between registering and unregistering the class
bool video_connected;  // from the first registering on
bool class_registered;
char class_name_registered[64];

// The full-screen window that holds the display in the mode asked for,
// from the display change until the next WS_POPUP window takes it over.
SDL_Window* mode_holder;
SDL_DisplayMode fullscreen_mode;  // its mode, for a window remade for another pixel format

emulated::CursorCounter cursor_counter;
bool park_pending;
int park_x, park_y;

constexpr int queue_capacity = 64;
Message queue[queue_capacity];
int queue_head;
int queue_count;
bool quit_pending;
int quit_code;

// SDL's path of each dropped file, from its event until DragFinish.
struct DroppedFile {
    char* path;
};
constexpr int max_drops = 8;
DroppedFile drops[max_drops];

WindowHandle handle_of(SdlWindow* slot) { return reinterpret_cast<WindowHandle>(slot); }

// The live window behind a handle, or null for anything else.
SdlWindow* slot_of(const void* handle) {
    for (SdlWindow& slot : windows)
        if (handle == &slot && slot.window) return &slot;
    return nullptr;
}

SdlWindow* slot_of_sdl(SDL_Window* window) {
    if (!window) return nullptr;
    for (SdlWindow& slot : windows)
        if (slot.window == window) return &slot;
    return nullptr;
}

SdlWindow* slot_of_id(Uint32 window_id) { return slot_of_sdl(SDL_GetWindowFromID(window_id)); }

void push_message(SdlWindow* slot, unsigned message, WParam wparam, LParam lparam) {
    if (queue_count == queue_capacity) return;  // the pump stops polling before this can happen
    Message& m = queue[(queue_head + queue_count) % queue_capacity];
    m.window = handle_of(slot);
    m.message = message;
    m.wparam = wparam;
    m.lparam = lparam;
    ++queue_count;
}

// Shift as the key messages made so far have it: the pointer messages carry
// it (MK_SHIFT), and SDL's own modifier state misses keys that come through
// its queue alone.
bool shift_held = false;

// Windows keeps at most one pointer move waiting, the latest: a move right
// after another still queued for the same window takes its place.
void push_pointer_move(SdlWindow* slot, unsigned flags, int x, int y) {
    if (queue_count > 0) {
        Message& last = queue[(queue_head + queue_count - 1) % queue_capacity];
        if (last.message == WM_MOUSEMOVE && last.window == handle_of(slot)) {
            last.wparam = flags;
            last.lparam = emulated::word_pair(x, y);
            return;
        }
    }
    push_message(slot, WM_MOUSEMOVE, flags, emulated::word_pair(x, y));
}

// A sender of messages to a window through the queue.
auto queued_for(SdlWindow* slot) {
    return [slot](unsigned message, WParam wparam, LParam lparam) { push_message(slot, message, wparam, lparam); };
}

// Input goes to the window that has the keyboard focus, as on Windows; input
// of a window destroyed since (an F1 switch) goes to the one that replaced
// it, so that a key released meanwhile still clears its entry.
SdlWindow* input_target(Uint32 window_id) {
    if (SdlWindow* slot = slot_of_id(window_id)) return slot;
    if (SdlWindow* slot = slot_of_sdl(SDL_GetKeyboardFocus())) return slot;
    for (SdlWindow& slot : windows)
        if (slot.window) return &slot;
    return nullptr;
}

void translate_window_event(const SDL_WindowEvent& event) {
    // Events of a window destroyed since are dropped, as Windows drops them.
    SdlWindow* slot = slot_of_id(event.windowID);
    if (!slot) return;
    switch (event.event) {
    case SDL_WINDOWEVENT_MINIMIZED:
        emulated::send_minimised(queued_for(slot));
        slot->announced_width = 0;
        slot->announced_height = 0;
        break;
    case SDL_WINDOWEVENT_RESTORED: {
        int width = 0, height = 0;
        SDL_GetWindowSize(slot->window, &width, &height);
        emulated::send_restored(queued_for(slot), width, height);
        slot->announced_width = width;
        slot->announced_height = height;
        break;
    }
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        if (SDL_GetWindowFlags(slot->window) & SDL_WINDOW_MINIMIZED) break;
        push_message(slot, WM_SIZE, emulated::size_restored, emulated::word_pair(event.data1, event.data2));
        slot->announced_width = event.data1;
        slot->announced_height = event.data2;
        break;
    case SDL_WINDOWEVENT_CLOSE: push_message(slot, WM_CLOSE, 0, 0); break;
    default: break;
    }
}

void translate_event(const SDL_Event& event) {
    switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        int vk = virtual_key_from_sdl(event.key.keysym.sym, event.key.keysym.scancode);
        if (vk == 0) return;
        SdlWindow* slot = input_target(event.key.windowID);
        if (!slot) return;
        bool pressed = event.type == SDL_KEYDOWN;
        if (vk == VK_SHIFT) shift_held = pressed;
        bool alt_held = (event.key.keysym.mod & KMOD_ALT) != 0;
        // Auto-repeat arrives as further key-downs, as on Windows.
        push_message(slot, key_message_for(pressed, vk, alt_held), static_cast<WParam>(vk),
                     key_message_lparam(pressed, event.key.repeat != 0, alt_held));
        return;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        bool pressed = event.type == SDL_MOUSEBUTTONDOWN;
        unsigned message;
        if (event.button.button == SDL_BUTTON_LEFT)
            message = pressed ? WM_LBUTTONDOWN : WM_LBUTTONUP;
        else if (event.button.button == SDL_BUTTON_RIGHT)
            message = pressed ? WM_RBUTTONDOWN : WM_RBUTTONUP;
        else
            return;
        SdlWindow* slot = input_target(event.button.windowID);
        if (!slot) return;
        push_message(slot, message, 0, emulated::word_pair(event.button.x, event.button.y));
        return;
    }
    case SDL_MOUSEMOTION: {
        SdlWindow* slot = input_target(event.motion.windowID);
        if (!slot) return;
        const unsigned flags = emulated::pointer_flags((event.motion.state & SDL_BUTTON_LMASK) != 0,
                                                       (event.motion.state & SDL_BUTTON_RMASK) != 0, shift_held);
        push_pointer_move(slot, flags, event.motion.x, event.motion.y);
        return;
    }
    case SDL_MOUSEWHEEL: {
        SdlWindow* slot = input_target(event.wheel.windowID);
        if (!slot || event.wheel.y == 0) return;
        const int notches = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y;
        const Uint32 buttons = SDL_GetMouseState(nullptr, nullptr);
        const unsigned flags =
            emulated::pointer_flags((buttons & SDL_BUTTON_LMASK) != 0, (buttons & SDL_BUTTON_RMASK) != 0, shift_held);
        int x = 0, y = 0;
        SDL_GetGlobalMouseState(&x, &y);
        push_message(slot, WM_MOUSEWHEEL, emulated::wheel_wparam(notches * WHEEL_DELTA, flags),
                     emulated::word_pair(x, y));
        return;
    }
    case SDL_WINDOWEVENT: translate_window_event(event.window); return;
    case SDL_DROPFILE: {
        SdlWindow* slot = input_target(event.drop.windowID);
        DroppedFile* free_drop = nullptr;
        for (DroppedFile& d : drops)
            if (!d.path && !free_drop) free_drop = &d;
        // More drops at once than the viewer can take are let go.
        if (!slot || !free_drop || !event.drop.file) {
            SDL_free(event.drop.file);
            return;
        }
        free_drop->path = event.drop.file;
        push_message(slot, WM_DROPFILES, reinterpret_cast<WParam>(free_drop), 0);
        return;
    }
    default:
        // SDL_QUIT among them: SDL sends it after the last window's close
        // event, which has already become WM_CLOSE.
        return;
    }
}

void pump_events() {
    SDL_PumpEvents();
    SDL_Event event;
    // Minimise and restore make two messages each; what does not fit stays
    // in SDL's queue for the next poll.
    while (queue_count <= queue_capacity - 2 &&
           SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1)
        translate_event(event);
}

// Drops the window messages (size, activation, close) still queued for a
// window that is being destroyed; its input stays, retargeted later.
void purge_window_messages(WindowHandle window) {
    int kept = 0;
    for (int i = 0; i < queue_count; ++i) {
        const Message& m = queue[(queue_head + i) % queue_capacity];
        bool window_message = m.message == WM_SIZE || m.message == WM_ACTIVATE || m.message == WM_CLOSE;
        if (m.window == window && window_message) continue;
        queue[(queue_head + kept) % queue_capacity] = m;
        ++kept;
    }
    queue_count = kept;
}

void retarget_input(WindowHandle from, WindowHandle to) {
    for (int i = 0; i < queue_count; ++i) {
        Message& m = queue[(queue_head + i) % queue_capacity];
        if (m.window == from) m.window = to;
    }
}

// GetCursorPos under X: the pointer as the server has it now. SDL's own
// global state is a cache that input through XTEST (and so every automated
// run) never refreshes, while the camera reads the pointer in every frame.
bool query_x11_pointer(int* x, int* y) {
#if defined(SDL_VIDEO_DRIVER_X11)
    for (const SdlWindow& slot : windows) {
        if (!slot.window) continue;
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        if (!SDL_GetWindowWMInfo(slot.window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
        Display* display = info.info.x11.display;
        ::Window root, child;
        int root_x, root_y, window_x, window_y;
        unsigned mask;
        if (!XQueryPointer(display, DefaultRootWindow(display), &root, &child, &root_x, &root_y, &window_x, &window_y,
                           &mask))
            return false;
        *x = root_x;
        *y = root_y;
        return true;
    }
#else
    (void)x;
    (void)y;
#endif
    return false;
}

// A park asked for before there is a display, made before the first box is
// shown: the Camera parks the pointer before the program starts on Windows,
// so moving the mouse while answering the start-up question turns the first
// frame's view. Straight through X, since SDL's video is not up yet.
void park_before_boxes() {
    if (!park_pending || video_ready) return;
#if defined(SDL_VIDEO_DRIVER_X11)
    if (Display* display = XOpenDisplay(nullptr)) {
        XWarpPointer(display, None, DefaultRootWindow(display), 0, 0, 0, 0, park_x, park_y);
        XCloseDisplay(display);
        park_pending = false;
    }
#endif
}

void apply_cursor_visibility() { SDL_ShowCursor(cursor_counter.visible() ? SDL_ENABLE : SDL_DISABLE); }

void announce_size(SdlWindow* slot) {
    int width = 0, height = 0;
    SDL_GetWindowSize(slot->window, &width, &height);
    slot->announced_width = width;
    slot->announced_height = height;
    emulated::send_client_size(emulated::sent_to(handle_of(slot)), width, height);
}

// The GL attributes choose the X visual, which is fixed when the window is
// made: this is where the pixel format is really decided.
SDL_Window* make_gl_window(const char* title, int x, int y, int width, int height, Uint32 flags, int extras) {
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 1);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 1);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 1);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, (extras & format_stencil) ? 8 : 0);
    if (extras & format_stereo) SDL_GL_SetAttribute(SDL_GL_STEREO, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    return SDL_CreateWindow(title, x, y, width, height, flags);
}

// Whether the display has a visual with these buffers.
bool format_available(int extras) {
    SDL_Window* probe = make_gl_window("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN, extras);
    if (!probe) return false;
    SDL_DestroyWindow(probe);
    return true;
}

bool style_is_popup(unsigned style) { return (style & WS_POPUP) != 0; }

void release_mode_holder() {
    if (!mode_holder) return;
    SDL_SetWindowFullscreen(mode_holder, 0);
    SDL_DestroyWindow(mode_holder);
    mode_holder = nullptr;
}

}  // namespace

SDL_Window* sdl_window_of(WindowHandle window) {
    SdlWindow* slot = slot_of(window);
    return slot ? slot->window : nullptr;
}

// ---- Message boxes ---------------------------------------------------------

int platform_message_box(WindowHandle owner, const char* text, const char* caption, unsigned style) {
    if (!text) text = "";
    if (!caption) caption = "";
    park_before_boxes();

    bool yes_no = (style & 0x0F) == MB_YESNO;
    SDL_MessageBoxButtonData buttons[2];
    int button_count;
    if (yes_no) {
        buttons[0] = {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, IDYES, "Yes"};
        buttons[1] = {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDNO, "No"};
        button_count = 2;
    } else {
        buttons[0] = {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDOK, "OK"};
        button_count = 1;
    }

    Uint32 flags = SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
    switch (style & 0xF0) {
    case MB_ICONERROR: flags |= SDL_MESSAGEBOX_ERROR; break;
    case MB_ICONEXCLAMATION: flags |= SDL_MESSAGEBOX_WARNING; break;
    default: flags |= SDL_MESSAGEBOX_INFORMATION; break;
    }

    SdlWindow* parent = slot_of(owner);
    SDL_MessageBoxData data = {};
    data.flags = flags;
    data.window = parent ? parent->window : nullptr;
    data.title = caption;
    data.message = text;
    data.numbuttons = button_count;
    data.buttons = buttons;
    data.colorScheme = nullptr;

    int pressed = -1;
    if (SDL_ShowMessageBox(&data, &pressed) != 0) {
        std::fprintf(stderr, "duplexa: cannot show a message box: %s\n", SDL_GetError());
        return 0;
    }
    // The box's own close button: a Yes/No box on Windows has none that
    // works, and Escape means No there, so closing counts as No.
    if (pressed != IDYES && pressed != IDNO && pressed != IDOK) return yes_no ? IDNO : IDOK;
    return pressed;
}

WindowHandle platform_get_focus() {
    if (!video_ready) return nullptr;
    SdlWindow* slot = slot_of_sdl(SDL_GetKeyboardFocus());
    return slot ? handle_of(slot) : nullptr;
}

// ---- Window class ------------------------------------------------------------

bool platform_register_window_class(InstanceHandle, const char* class_name) {
    if (!class_name || !*class_name || std::strlen(class_name) >= sizeof class_name_registered) return false;
    if (class_registered) return false;  // RegisterClassEx refuses a class that exists

    // Let SIGINT/SIGTERM end the process as they would a Windows program,
    // instead of becoming an SDL_QUIT that nothing reads.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // A full-screen Win32 pop-up stays up when it loses the focus.
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    // A real display only: SDL would otherwise fall back to its offscreen
    // driver and run with no window anyone can see. SDL_VIDEODRIVER in the
    // environment still wins over this default.
    SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, "x11,wayland", SDL_HINT_DEFAULT);
    // The display connection, once made, stays until the process ends: a
    // reopening (F1, an output mode's pixel format) that closed it in
    // between would leave an X server with no other client to reset itself
    // under us.
    if (!video_connected) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            const char* display = std::getenv("DISPLAY");
            std::fprintf(stderr, "duplexa: cannot open a display (DISPLAY=%s): %s\n",
                         display && *display ? display : "unset", SDL_GetError());
            return false;
        }
        std::atexit(SDL_Quit);
        video_connected = true;
    }
    video_ready = true;
    SDL_StopTextInput();  // no WM_CHAR is made; spare the input method
    apply_cursor_visibility();
    if (park_pending) {
        park_pending = false;
        SDL_WarpMouseGlobal(park_x, park_y);
    }

    std::strcpy(class_name_registered, class_name);
    class_registered = true;
    return true;
}

bool platform_unregister_window_class(const char* class_name, InstanceHandle) {
    if (!class_registered || !class_name || std::strcmp(class_name, class_name_registered) != 0) return false;
    for (const SdlWindow& slot : windows)
        if (slot.window) return false;  // UnregisterClass refuses while windows of the class exist

    class_registered = false;
    class_name_registered[0] = '\0';
    release_mode_holder();
    video_ready = false;
    return true;
}

// ---- Display mode -------------------------------------------------------------

long platform_change_display_mode(int width, int height, int bits_per_pixel) {
    if (!video_ready) return DISP_CHANGE_FAILED;
    int count = SDL_GetNumDisplayModes(0);
    if (count < 1) return DISP_CHANGE_FAILED;

    // The exact depth if the display has it, else the first deeper one.
    bool found = false;
    SDL_DisplayMode chosen = {};
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(0, i, &mode) != 0) continue;
        if (mode.w != width || mode.h != height) continue;
        int bits = static_cast<int>(SDL_BITSPERPIXEL(mode.format));
        if (bits == bits_per_pixel) {
            chosen = mode;
            found = true;
            break;
        }
        if (bits > bits_per_pixel && !found) {
            chosen = mode;
            found = true;
        }
    }
    if (!found) return DISP_CHANGE_BADMODE;

    // SDL changes the mode only when a full-screen window is shown, so the
    // switch is made here, on the window that the next pop-up becomes: the
    // result is then the switch's own, as ChangeDisplaySettings reports it.
    release_mode_holder();
    SDL_Window* window =
        make_gl_window("", 0, 0, width, height,
                       SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS | SDL_WINDOW_FULLSCREEN, 0);
    if (!window) {
        std::fprintf(stderr, "duplexa: cannot switch the display: %s\n", SDL_GetError());
        return DISP_CHANGE_FAILED;
    }
    mode_holder = window;
    fullscreen_mode = chosen;
    if (SDL_SetWindowDisplayMode(window, &chosen) != 0) {
        std::fprintf(stderr, "duplexa: cannot set the full-screen mode: %s\n", SDL_GetError());
        release_mode_holder();
        return DISP_CHANGE_FAILED;
    }
    SDL_ShowWindow(window);

    // Whatever SDL says, the switch worked only if the display and the
    // drawing area now have the size asked for.
    SDL_DisplayMode current = {};
    int window_width = 0, window_height = 0;
    SDL_GL_GetDrawableSize(window, &window_width, &window_height);
    int display = SDL_GetWindowDisplayIndex(window);
    if (display < 0 || SDL_GetCurrentDisplayMode(display, &current) != 0 || current.w != width || current.h != height ||
        window_width != width || window_height != height || !(SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN)) {
        std::fprintf(stderr, "duplexa: the display did not switch to %d x %d (display %d x %d, window %d x %d)\n",
                     width, height, current.w, current.h, window_width, window_height);
        release_mode_holder();
        return DISP_CHANGE_FAILED;
    }
    return DISP_CHANGE_SUCCESSFUL;
}

long platform_restore_display_mode() {
    release_mode_holder();
    for (SdlWindow& slot : windows)
        if (slot.window && (SDL_GetWindowFlags(slot.window) & SDL_WINDOW_FULLSCREEN))
            SDL_SetWindowFullscreen(slot.window, 0);
    return DISP_CHANGE_SUCCESSFUL;
}

// ---- Windows -------------------------------------------------------------------

bool platform_adjust_window_rect(PlatformRect* rect, unsigned, unsigned) {
    // SDL sizes a window by its client area and the window manager adds its
    // frame outside, so the outer rectangle to ask for is the client one.
    return rect != nullptr;
}

WindowHandle platform_create_window(unsigned, const char* class_name, const char* title, unsigned style, int x, int y,
                                    int width, int height, InstanceHandle) {
    if (!video_ready || !class_registered || !class_name || std::strcmp(class_name, class_name_registered) != 0)
        return nullptr;

    // A new handle for each window, so that nothing queued for the last one
    // can reach this one under the same handle.
    SdlWindow* slot = nullptr;
    for (int i = 0; i < max_windows && !slot; ++i) {
        int index = (next_window_slot + i) % max_windows;
        if (!windows[index].window) {
            slot = &windows[index];
            next_window_slot = (index + 1) % max_windows;
        }
    }
    if (!slot) return nullptr;

    SDL_Window* window = nullptr;
    if (style_is_popup(style) && mode_holder) {
        // The window that switched the display becomes this one.
        window = mode_holder;
        mode_holder = nullptr;
        SDL_SetWindowTitle(window, title ? title : "");
    } else {
        Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
        if (style_is_popup(style))
            flags |= SDL_WINDOW_BORDERLESS;
        else if ((style & WS_OVERLAPPEDWINDOW) == WS_OVERLAPPEDWINDOW)
            flags |= SDL_WINDOW_RESIZABLE;
        // The basic format; SetPixelFormat remakes the window for another.
        window = make_gl_window(title ? title : "", x, y, width < 1 ? 1 : width, height < 1 ? 1 : height, flags, 0);
        if (!window) {
            std::fprintf(stderr, "duplexa: cannot create a window: %s\n", SDL_GetError());
            return nullptr;
        }
    }

    slot->window = window;
    slot->pixel_format = 0;
    slot->format_extras = 0;
    // CreateWindowEx sends WM_SIZE before it returns.
    announce_size(slot);
    return handle_of(slot);
}

bool platform_destroy_window(WindowHandle window) {
    SdlWindow* slot = slot_of(window);
    if (!slot) return false;
    purge_window_messages(window);
    SDL_Window* sdl_window = slot->window;
    *slot = SdlWindow{};
    // Keys and buttons queued for it now belong to whichever window is left.
    SdlWindow* heir = nullptr;
    for (SdlWindow& other : windows)
        if (other.window && !heir) heir = &other;
    if (heir) retarget_input(window, handle_of(heir));
    SDL_DestroyWindow(sdl_window);
    return true;
}

void platform_show_window(WindowHandle window) {
    SdlWindow* slot = slot_of(window);
    if (!slot) return;
    SDL_ShowWindow(slot->window);
    // Showing activates the window on Windows, with WM_ACTIVATE sent at once;
    // a size the full-screen switch changed is announced too.
    emulated::send_shown(emulated::sent_to(window));
    int width = 0, height = 0;
    SDL_GetWindowSize(slot->window, &width, &height);
    if (width != slot->announced_width || height != slot->announced_height) announce_size(slot);
}

bool platform_set_foreground_window(WindowHandle window) {
    SdlWindow* slot = slot_of(window);
    if (!slot) return false;
    SDL_RaiseWindow(slot->window);
    return true;
}

void platform_set_focus(WindowHandle window) {
    SdlWindow* slot = slot_of(window);
    if (!slot) return;
    SDL_RaiseWindow(slot->window);
    // Without a window manager (Xvfb) only an explicit input focus gives the
    // window the keyboard.
    SDL_SetWindowInputFocus(slot->window);
}

bool platform_get_client_rect(WindowHandle window, PlatformRect* rect) {
    SdlWindow* slot = slot_of(window);
    if (!slot || !rect) return false;
    int width = 0, height = 0;
    // A minimised window has an empty client area on Windows.
    if (!(SDL_GetWindowFlags(slot->window) & SDL_WINDOW_MINIMIZED)) SDL_GetWindowSize(slot->window, &width, &height);
    rect->left = 0;
    rect->top = 0;
    rect->right = width;
    rect->bottom = height;
    return true;
}

// ---- Device context and pixel format --------------------------------------------

// The device context is the window's own (CS_OWNDC): the same handle every time.
DeviceContext platform_get_dc(WindowHandle window) {
    SdlWindow* slot = slot_of(window);
    return slot ? reinterpret_cast<DeviceContext>(slot) : nullptr;
}

bool platform_release_dc(WindowHandle window, DeviceContext dc) {
    SdlWindow* slot = slot_of(window);
    return slot && reinterpret_cast<DeviceContext>(slot) == dc;
}

int platform_choose_pixel_format(DeviceContext dc, const PixelFormatDescriptor* pfd) {
    if (!slot_of(dc)) return 0;
    return emulated::choose_format(pfd, format_available);
}

bool platform_set_pixel_format(DeviceContext dc, int format, const PixelFormatDescriptor*) {
    SdlWindow* slot = slot_of(dc);
    if (!slot || !emulated::valid_format(format)) return false;
    // A window's pixel format is set once for its lifetime.
    if (slot->pixel_format != 0 && slot->pixel_format != format) return false;
    const int extras = format - 1;
    if (extras != slot->format_extras) {
        // The window is still hidden and has no context: remade with the
        // visual of this format, under the same handle.
        char title[256];
        SDL_strlcpy(title, SDL_GetWindowTitle(slot->window), sizeof title);
        int x = 0, y = 0, width = 0, height = 0;
        SDL_GetWindowPosition(slot->window, &x, &y);
        SDL_GetWindowSize(slot->window, &width, &height);
        const Uint32 kept = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS | SDL_WINDOW_RESIZABLE |
                            SDL_WINDOW_FULLSCREEN;
        const Uint32 flags = SDL_GetWindowFlags(slot->window) & kept;
        SDL_Window* remade = make_gl_window(title, x, y, width, height, flags, extras);
        if (!remade) {
            std::fprintf(stderr, "duplexa: cannot remake the window for its pixel format: %s\n", SDL_GetError());
            return false;
        }
        if ((flags & SDL_WINDOW_FULLSCREEN) && SDL_SetWindowDisplayMode(remade, &fullscreen_mode) != 0)
            std::fprintf(stderr, "duplexa: cannot set the full-screen mode: %s\n", SDL_GetError());
        SDL_DestroyWindow(slot->window);
        slot->window = remade;
        slot->format_extras = extras;
    }
    slot->pixel_format = format;
    return true;
}

int platform_describe_pixel_format(DeviceContext dc, int format, PixelFormatDescriptor* pfd) {
    if (!slot_of(dc)) return 0;
    return emulated::describe_format(format, 24, pfd);
}

// ---- OpenGL context ----------------------------------------------------------------

RenderContext platform_create_context(DeviceContext dc) {
    SdlWindow* slot = slot_of(dc);
    if (!slot || slot->pixel_format == 0) return nullptr;
    SDL_Window* previous_window = SDL_GL_GetCurrentWindow();
    SDL_GLContext previous_context = SDL_GL_GetCurrentContext();
    SDL_GLContext context = SDL_GL_CreateContext(slot->window);
    if (!context) {
        std::fprintf(stderr, "duplexa: cannot create an OpenGL context: %s\n", SDL_GetError());
        return nullptr;
    }
    // SDL makes the new context current; wglCreateContext does not.
    SDL_GL_MakeCurrent(previous_window, previous_context);
    // The swap interval is left at the driver's default: the loop never
    // sleeps, and under Xvfb there is no vertical sync to wait for anyway.
    return reinterpret_cast<RenderContext>(context);
}

bool platform_make_current(DeviceContext dc, RenderContext rc) {
    if (!rc) {
        if (!video_ready) return true;
        return SDL_GL_MakeCurrent(nullptr, nullptr) == 0;
    }
    SdlWindow* slot = slot_of(dc);
    if (!slot) return false;
    return SDL_GL_MakeCurrent(slot->window, reinterpret_cast<SDL_GLContext>(rc)) == 0;
}

bool platform_delete_context(RenderContext rc) {
    if (!rc || !video_ready) return false;
    SDL_GL_DeleteContext(reinterpret_cast<SDL_GLContext>(rc));
    return true;
}

bool platform_swap_buffers(DeviceContext dc) {
    SdlWindow* slot = slot_of(dc);
    if (!slot) return false;
    SDL_GL_SwapWindow(slot->window);
    return true;
}

void* (*sdl_offscreen_proc_lookup)(const char* name) = nullptr;

void* platform_get_gl_proc_address(const char* name) {
    if (!name) return nullptr;
    if (video_ready && SDL_GL_GetCurrentContext()) return SDL_GL_GetProcAddress(name);
    return sdl_offscreen_proc_lookup ? sdl_offscreen_proc_lookup(name) : nullptr;
}

bool platform_set_swap_interval(int interval) { return video_ready && SDL_GL_SetSwapInterval(interval) == 0; }

// ---- Messages ----------------------------------------------------------------------

bool platform_peek_message(Message* message) {
    if (!message) return false;
    if (queue_count == 0 && !quit_pending && video_ready) pump_events();
    if (queue_count > 0) {
        *message = queue[queue_head];
        queue_head = (queue_head + 1) % queue_capacity;
        --queue_count;
        return true;
    }
    // WM_QUIT comes once nothing else is waiting, as on Windows.
    if (quit_pending) {
        quit_pending = false;
        message->window = nullptr;
        message->message = WM_QUIT;
        message->wparam = static_cast<WParam>(quit_code);
        message->lparam = 0;
        return true;
    }
    return false;
}

bool platform_wait_message(int timeout_ms) {
    if (queue_count > 0 || quit_pending) return true;
    if (!video_ready) return false;
    // With no event given, SDL leaves the one that arrived in its queue.
    return SDL_WaitEventTimeout(nullptr, timeout_ms < 0 ? 0 : timeout_ms) == 1;
}

void platform_translate_message(const Message*) {
    // No WM_CHAR is wanted: key messages carry everything the shell reads.
}

LResult platform_dispatch_message(const Message* message) {
    if (!message || !message->window) return 0;
    return handle_window_message(message->window, message->message, message->wparam, message->lparam);
}

void platform_post_quit_message(int exit_code) {
    quit_pending = true;
    quit_code = exit_code;
}

LResult platform_default_window_proc(WindowHandle, unsigned, WParam, LParam) {
    // Alt+F4 and the close box reach us as SDL_WINDOWEVENT_CLOSE, already
    // WM_CLOSE; nothing else needs the system's default handling here.
    return 0;
}

// ---- Cursor -----------------------------------------------------------------------

int platform_show_cursor(bool show) {
    const int count = cursor_counter.show(show);
    if (video_ready) apply_cursor_visibility();
    return count;
}

bool platform_get_cursor_pos(PlatformPoint* point) {
    if (!point) return false;
    if (!video_ready) {
        if (!park_pending) return false;
        point->x = park_x;
        point->y = park_y;
        return true;
    }
    int x = 0, y = 0;
    if (!query_x11_pointer(&x, &y)) SDL_GetGlobalMouseState(&x, &y);
    point->x = x;
    point->y = y;
    return true;
}

bool platform_set_cursor_pos(int x, int y) {
    if (!video_ready) {
        // Asked for before there is a display (the Camera is built before
        // main): kept and applied when video comes up.
        park_pending = true;
        park_x = x;
        park_y = y;
        return true;
    }
    return SDL_WarpMouseGlobal(x, y) == 0;
}

// ---- Program folder --------------------------------------------------------------

bool platform_get_program_folder(char* out, std::size_t size) {
    if (!out || size == 0) return false;
    // Read from /proc/self/exe; needs no SDL_Init.
    char* base = SDL_GetBasePath();
    if (!base) return false;
    bool fits = std::strlen(base) < size;
    if (fits) std::strcpy(out, base);
    SDL_free(base);
    return fits;
}

// ---- Clocks --------------------------------------------------------------------------

// SDL's timer functions need no SDL_Init, so they work before main too.
bool platform_query_performance_frequency(std::int64_t* frequency) {
    if (!frequency) return false;
    *frequency = static_cast<std::int64_t>(SDL_GetPerformanceFrequency());
    return *frequency != 0;
}

bool platform_query_performance_counter(std::int64_t* counter) {
    if (!counter) return false;
    *counter = static_cast<std::int64_t>(SDL_GetPerformanceCounter());
    return true;
}

std::uint32_t platform_time_get_time() { return static_cast<std::uint32_t>(SDL_GetTicks64()); }

// ---- Dropped files -----------------------------------------------------------------

unsigned platform_drag_query_file(DropHandle drop, unsigned index, char* buffer, unsigned size) {
    DroppedFile* d = nullptr;
    for (DroppedFile& candidate : drops)
        if (reinterpret_cast<DropHandle>(&candidate) == drop && candidate.path) d = &candidate;
    if (!d) return 0;
    if (index == drag_query_count) return 1;
    if (index != 0) return 0;
    std::size_t length = std::strlen(d->path);
    if (!buffer) return static_cast<unsigned>(length);
    if (size == 0) return 0;
    std::size_t n = length < size - 1 ? length : size - 1;
    std::memcpy(buffer, d->path, n);
    buffer[n] = '\0';
    return static_cast<unsigned>(n);
}

void platform_drag_finish(DropHandle drop) {
    for (DroppedFile& d : drops)
        if (reinterpret_cast<DropHandle>(&d) == drop && d.path) {
            SDL_free(d.path);
            d.path = nullptr;
        }
}

void sdl_tune_process() {
#ifdef __GLIBC__
    mallopt(M_TRIM_THRESHOLD, 48 << 20);
#endif
}
