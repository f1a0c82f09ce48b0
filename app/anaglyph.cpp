#include "app/anaglyph.h"

#include <cstdio>

#include "app/input.h"
#include "app/statics.h"
#include "platform/platform.h"
#include "stereo/anaglyph_mixer.h"
#include "text/notice.h"

namespace {

// The mixing anaglyph methods' GL objects, for the context in use.
AnaglyphMixer anaglyph_mixer;

}  // namespace

// Whether this frame's anaglyph is mixed. A GL that cannot mix (no shaders,
// an area beyond its textures) says so once and the viewer goes on with
// channels.
bool mixing_ready() {
    if (stereo_rig.mode() != OutputMode::anaglyph || !anaglyph_method_mixes(stereo_rig.anaglyph_method)) return false;
    // A window shrunk to nothing has nothing to mix; the method stays.
    if (view_width <= 0 || view_height <= 0) return false;
    if (anaglyph_mixer.ready_for(view_width, view_height, platform_get_gl_proc_address)) return true;
    char text[72];
    std::snprintf(text, sizeof text, "%s: not available (%s)", anaglyph_method_name(stereo_rig.anaglyph_method),
                  anaglyph_mixer.why());
    show_notice(text);
    stereo_rig.anaglyph_method = AnaglyphMethod::channels;
    return false;
}

void step_anaglyph_method() {
    AnaglyphMethod next = next_anaglyph_method(stereo_rig.anaglyph_method);
    // A GL found without shaders has only channels.
    if (anaglyph_mixer.lacks_shaders()) next = AnaglyphMethod::channels;
    if (next == stereo_rig.anaglyph_method) return;
    stereo_rig.anaglyph_method = next;
    // Asked at once, so that a GL that cannot mix says so at the press.
    if (anaglyph_method_mixes(next) && stereo_rig.mode() == OutputMode::anaglyph && !mixing_ready()) return;
    char text[72];
    const int pair = stereo_rig.colour_pair;
    if (next == AnaglyphMethod::optimised && !has_optimised_matrices(pair))
        std::snprintf(text, sizeof text, "anaglyph optimised (as grey: no matrices for %s)", colour_pair_name(pair));
    else
        std::snprintf(text, sizeof text, "anaglyph %s", anaglyph_method_name(next));
    show_notice(text);
}

void forget_anaglyph_mixer() { anaglyph_mixer.forget_context(); }

void draw_mixed_scene(bool draw_left, bool draw_right, void (*draw_object)(), const float (*bounds)[3], int count) {
    draw_mixed_anaglyph(anaglyph_mixer, stereo_rig, view_size(), draw_left, draw_right, draw_object, bounds, count);
}
