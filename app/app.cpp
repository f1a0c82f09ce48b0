#include "app/app.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/frame.h"
#include "app/gl_window.h"
#include "app/inspect.h"
#include "app/mode_switch.h"
#include "app/model_open.h"
#include "app/start.h"
#include "app/statics.h"
#include "model/model.h"
#include "model/motion_detail.h"
#include "platform/platform.h"

unsigned char key_down[256];
unsigned char key_pressed[256];
bool active = true;
const char* const window_title = "Duplexa 01";

namespace {

constexpr int window_width = 800;
constexpr int window_height = 600;
constexpr int window_bits = 16;

// One model is shown at a time: of several files dropped together the
// first is opened.
void open_dropped_file(DropHandle drop) {
    if (platform_drag_query_file(drop, drag_query_count, nullptr, 0) > 0) {
        unsigned length = platform_drag_query_file(drop, 0, nullptr, 0);
        std::string path(length + 1, '\0');
        path.resize(platform_drag_query_file(drop, 0, &path[0], length + 1));
        open_model_file(path.c_str());
    }
    platform_drag_finish(drop);
}

}  // namespace

void clear_input() {
    std::memset(key_down, 0, sizeof key_down);
    std::memset(key_pressed, 0, sizeof key_pressed);
}

bool take_press(int key) {
    const int k = key & 0xFF;
    const bool pressed = key_pressed[k] != 0 || key_down[k] != 0;
    key_pressed[k] = 0;
    key_down[k] = 0;
    return pressed;
}

LResult handle_window_message(WindowHandle window, unsigned message, WParam wparam, LParam lparam) {
    note_pointer_message(message, wparam, lparam);
    switch (message) {
    case WM_SIZE:
        resize_view(static_cast<int>(loword(static_cast<std::uintptr_t>(lparam))),
                    static_cast<int>(hiword(static_cast<std::uintptr_t>(lparam))));
        return 0;
    case WM_ACTIVATE:
        // The high word is non-zero when the window is minimised; the
        // activation state in the low word does not matter.
        active = hiword(wparam) == 0;
        return 0;
    case WM_CLOSE:
        // The loop ends on the quit message; close_gl_window destroys the window.
        platform_post_quit_message(0);
        return 0;
    case WM_KEYDOWN:
        key_down[wparam & 0xFF] = 1;
        key_pressed[wparam & 0xFF] = 1;
        return 0;
    case WM_KEYUP: key_down[wparam & 0xFF] = 0; return 0;
    case WM_LBUTTONDOWN: key_down[VK_LBUTTON] = 1; return 0;
    case WM_LBUTTONUP: key_down[VK_LBUTTON] = 0; return 0;
    case WM_RBUTTONDOWN: key_down[VK_RBUTTON] = 1; return 0;
    case WM_RBUTTONUP: key_down[VK_RBUTTON] = 0; return 0;
    case WM_DROPFILES: open_dropped_file(reinterpret_cast<DropHandle>(wparam)); return 0;
    default: return platform_default_window_proc(window, message, wparam, lparam);
    }
}

LoopPass run_loop_pass(Message& message) {
    if (platform_peek_message(&message)) {
        if (message.message == WM_QUIT) return LoopPass::ended;
        platform_translate_message(&message);
        platform_dispatch_message(&message);
        return LoopPass::message;
    }

    // A model being read arrives between frames; nothing here waits for it.
    poll_model_file(platform_time_get_time());
    if (active) render_frame();
    // Minimised, nothing is drawn: the loop sleeps until a message comes,
    // waking often enough to take in a model being read.
    if (!active) platform_wait_message(model_file_loading() ? 10 : 100);

    // Escape ends the loop without showing the frame of this pass.
    const bool escape = take_press(VK_ESCAPE);
    if (!escape) platform_swap_buffers(device_context);

    // F1 switches between full screen and window; an output mode that
    // needs another pixel format reopens in the same state.
    const bool switch_screen = take_press(VK_F1);
    if (switch_screen || reopen_requested) {
        close_gl_window();
        if (switch_screen) fullscreen = !fullscreen;
        prepare_opening();
        if (!open_gl_window(window_title, window_width, window_height, window_bits, fullscreen))
            return LoopPass::reopen_failed;
        settle_output_mode();
        settle_pointer();
    }
    return escape ? LoopPass::ended : LoopPass::frame;
}

int run_viewer(InstanceHandle instance, const Options& options) {
    instance_handle = instance;

    switch (options.display) {
    case StartDisplay::window: fullscreen = false; break;
    case StartDisplay::fullscreen: fullscreen = true; break;
    case StartDisplay::ask: {
        int answer = show_message_box(nullptr, "Would You Like To Run In Fullscreen Mode?", "Start FullScreen?",
                                      MB_YESNO | MB_ICONQUESTION);
        if (answer == 0) report_unanswered_question();
        // Only an explicit Yes switches the display.
        if (answer == IDNO || answer == 0) fullscreen = false;
        break;
    }
    }

    apply_start_options(options);

    // A failed opening has already told the user why; report it as a failure.
    prepare_opening();
    if (!open_gl_window(window_title, window_width, window_height, window_bits, fullscreen)) return 1;
    settle_output_mode();
    settle_pointer();
    // The model arrives while the first frames show the test object; one
    // that cannot be opened is told in its box and the test object stays.
    if (!options.model_path.empty()) open_model_file(options.model_path.c_str());

    Message message{nullptr, 0, 0, 0};
    for (;;) {
        const LoopPass pass = run_loop_pass(message);
        if (pass == LoopPass::ended) break;
        if (pass == LoopPass::reopen_failed) {
            cancel_model_file();
            return 1;
        }
    }

    // The import worker goes with the viewer, at once.
    cancel_model_file();
    close_gl_window();
    // After Escape the message record holds whatever the pump last delivered;
    // an ending chosen by the user is a success.
    return message.message == WM_QUIT ? static_cast<int>(message.wparam) : 0;
}
