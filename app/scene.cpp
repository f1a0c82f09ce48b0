#include "app/scene.h"

#include "app/anaglyph.h"
#include "app/input.h"
#include "app/statics.h"
#include "model/model.h"
#include "platform/gl.h"

namespace {

// The mixer draws each eye through a plain function.
void draw_object() { draw_scene_object(model_scene); }

}  // namespace

void draw_scene(const KeyState& keys) {
    const ViewSize view = view_size();
    if (keys.held('S')) {
        // Mono draws with the projection, viewport and colour the previous
        // frame's setup_mono left.
        draw_object();
    } else if (mixing_ready()) {
        int count = 0;
        const float(*bounds)[3] = scene_object_bounds(model_scene, &count);
        draw_mixed_scene(!keys.held('J'), !keys.held('K'), draw_object, bounds, count);
    } else {
        stereo_rig.setup_left_eye(view);
        if (!keys.held('J')) draw_object();
        // The right image must not be hidden by the left one's depth.
        glClear(GL_DEPTH_BUFFER_BIT);
        stereo_rig.setup_right_eye(view);
        if (!keys.held('K')) draw_object();
        stereo_rig.setup_mono(view);
    }
}
