#include "app/start.h"

#include "app/gl_window.h"
#include "app/inspect.h"
#include "app/statics.h"

void apply_start_options(const Options& options) {
    if (options.shaded) model_scene.shaded = true;
    model_scene.wireframe_asked = options.wireframe;
    if (options.mode_given) stereo_rig.set_mode(options.mode);
    if (options.swap_eyes) stereo_rig.swap_eyes = true;
    if (options.colour_pair >= 0) stereo_rig.colour_pair = options.colour_pair;
    if (options.parallax) stereo_rig.parallax_readout = true;
    if (options.anaglyph_given) stereo_rig.anaglyph_method = options.anaglyph;
    apply_inspect_options(options);
    vsync_wanted = options.vsync;
    if (options.full_detail) model_scene.detail.full_detail = true;
}
