// The scene as the eyes see it in one frame, without the overlay: what the
// frame draws and what the pictures read.
#pragma once

#include "platform/key_state.h"

// Both eyes in the output mode, or one image while S is held (mono); J and
// K hide the right and the left eye's image.
void draw_scene(const KeyState& keys);
