// The scripted system: its own queue, filled as the tests ask.
#include "platform/script/script_platform.h"
#include "tests/backend/system.h"

bool system_up(std::string*) { return true; }
void system_reset() { script::reset(); }
InstanceHandle system_instance() { return nullptr; }

// The scripted system posts to its newest window, the only one in these tests.
void system_minimise(WindowHandle) { script::minimise(); }
void system_restore(WindowHandle) { script::restore(); }
void system_key(WindowHandle, int vk, bool down) { down ? script::key_press(vk) : script::key_release(vk); }
void system_close(WindowHandle) { script::close_window(); }
void system_pointer(WindowHandle, int x, int y, unsigned flags) { script::pointer_move(x, y, flags); }
void system_wheel(WindowHandle, int notches, unsigned flags) { script::wheel(notches, flags); }
void system_settle() {}
