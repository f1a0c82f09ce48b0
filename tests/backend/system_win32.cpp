// Windows itself (Wine on a virtual display): the user's doings are the
// system commands and input messages Windows makes of them.
#include "platform/platform.h"  // <windows.h> first

#include "tests/backend/system.h"

namespace {

HWND hwnd(WindowHandle w) { return reinterpret_cast<HWND>(w); }

}  // namespace

bool system_up(std::string*) { return true; }
void system_reset() {}
InstanceHandle system_instance() { return reinterpret_cast<InstanceHandle>(GetModuleHandleW(nullptr)); }

void system_minimise(WindowHandle w) { SendMessageW(hwnd(w), WM_SYSCOMMAND, SC_MINIMIZE, 0); }
void system_restore(WindowHandle w) { SendMessageW(hwnd(w), WM_SYSCOMMAND, SC_RESTORE, 0); }

void system_key(WindowHandle w, int vk, bool down) {
    // The repeat count, and for a release the previous-state and transition bits.
    PostMessageW(hwnd(w), down ? WM_KEYDOWN : WM_KEYUP, static_cast<WPARAM>(vk), down ? 1 : 0xC0000001);
}

void system_close(WindowHandle w) { PostMessageW(hwnd(w), WM_SYSCOMMAND, SC_CLOSE, 0); }

void system_pointer(WindowHandle w, int x, int y, unsigned flags) {
    PostMessageW(hwnd(w), WM_MOUSEMOVE, flags, MAKELPARAM(x, y));
}

void system_wheel(WindowHandle w, int notches, unsigned flags) {
    PostMessageW(hwnd(w), WM_MOUSEWHEEL, MAKEWPARAM(flags, notches * WHEEL_DELTA), 0);
}

void system_settle() { Sleep(50); }
