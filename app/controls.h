// Every key the viewer reads: when it acts, what it does, and its line on
// the help page. The table is the one place that says which keys exist.
#pragma once

#include "platform/platform.h"

enum class Acts {
    held,  // on every frame while its key_down entry is 1
    once,  // once per key-down message (take_press)
};

// Where in the frame (or the loop) a control acts. Controls of one stage
// act in the order of the table.
enum class Stage {
    camera,        // before the camera moves: R
    rig,           // after the rig's held controls: U, Y, E, D
    presentation,  // after the focus: M, V, C, P, L
    picture,       // between the scene and the overlay: F12
    loop,          // the loop's own: Escape before the swap, F1 after it
    owner,         // read where it acts: the camera, the rig, the scene or the overlay
};

struct Control {
    int key;
    Acts acts;
    Stage stage;
    void (*act)();     // nullptr when read by its owner (Stage::owner) or the loop
    const char* help;  // its help line; nullptr when it shares the line of the key before it
};

extern const Control controls[];
extern const int control_count;

// Acts on the controls of one stage that have an action.
void run_controls(Stage stage);

// The help page's first line of controls, one row per line below.
const int help_first_row = 10;
const int help_column = 15;
