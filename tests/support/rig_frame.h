// The rig's part of a frame as the shell's controls run it, for tests of a
// rig of their own: the held controls, then U and D once per press.
#pragma once

#include "app/input.h"
#include "stereo/stereo_rig.h"

inline void update(StereoRig& rig, float distance) {
    rig.update_from_input(held_keys(), distance);
    if (take_press('U')) rig.toggle_auto_focus();
    if (take_press('D')) rig.toggle_presentation();
}
