// What the system and its user do to a window, done the way each backend's
// system does it, so that one contract test can run on every backend:
// Windows itself under Wine, SDL's event queue, the scripted system.
#pragma once

#include <string>

#include "platform/platform.h"

// Brings the system up for the tests; false, with the reason, where it
// cannot run here.
bool system_up(std::string* why);
// Undoes what a test left behind that the platform calls cannot.
void system_reset();
InstanceHandle system_instance();

// The user minimises or restores the window, presses or releases a key on
// it, or clicks its close box.
void system_minimise(WindowHandle window);
void system_restore(WindowHandle window);
void system_key(WindowHandle window, int vk, bool down);
void system_close(WindowHandle window);
// The user moves the pointer to client point (x, y) with the MK_ flags held,
// or turns the wheel by `notches` (positive: away from the user).
void system_pointer(WindowHandle window, int x, int y, unsigned flags);
void system_wheel(WindowHandle window, int notches, unsigned flags);

// Waits for whatever the system delivers on its own time (Windows' own
// follow-up messages); nothing where delivery is immediate.
void system_settle();
