#include "app/mode_switch.h"

#include <cstdio>

#include "app/gl_window.h"
#include "app/statics.h"
#include "text/notice.h"

bool reopen_requested = false;

namespace {

OutputMode reopening_for = OutputMode::anaglyph;
BufferNeeds found_missing = {false, false};  // asked of this system once, and not there

BufferNeeds needs_of(OutputMode mode) { return BufferNeeds{mode_needs_stencil(mode), mode_needs_stereo(mode)}; }

bool serves(BufferNeeds format, OutputMode mode) { return covers(format, needs_of(mode)); }

bool known_missing(OutputMode mode) {
    const BufferNeeds needs = needs_of(mode);
    return (needs.stencil && found_missing.stencil) || (needs.stereo && found_missing.stereo);
}

void take(OutputMode mode) {
    stereo_rig.set_mode(mode);
    show_notice(output_mode_name(mode));
}

void tell_missing(OutputMode mode) {
    const BufferNeeds needs = needs_of(mode);
    if (needs.stencil) found_missing.stencil = true;
    if (needs.stereo) found_missing.stereo = true;
    char text[72];
    std::snprintf(text, sizeof text, "%s: not available (no %s)", output_mode_name(mode),
                  needs.stereo ? "stereo pixel format" : "stencil buffer");
    show_notice(text);
}

}  // namespace

void switch_output_mode(OutputMode mode) {
    if (mode == stereo_rig.mode()) return;
    if (serves(format_obtained, mode)) {
        take(mode);
    } else if (format_offered(needs_of(mode))) {
        reopening_for = mode;
        reopen_requested = true;
    } else {
        tell_missing(mode);
    }
}

void step_output_mode() {
    OutputMode next = next_output_mode(stereo_rig.mode());
    while (known_missing(next)) next = next_output_mode(next);
    switch_output_mode(next);
}

void prepare_opening() { format_wanted = needs_of(reopen_requested ? reopening_for : stereo_rig.mode()); }

void settle_output_mode() {
    if (reopen_requested) {
        reopen_requested = false;
        if (serves(format_obtained, reopening_for))
            take(reopening_for);
        else
            tell_missing(reopening_for);
    } else if (!serves(format_obtained, stereo_rig.mode())) {
        tell_missing(stereo_rig.mode());
    }
    // The mode in force may have lost its buffers with the new window.
    if (!serves(format_obtained, stereo_rig.mode())) stereo_rig.set_mode(OutputMode::anaglyph);
    format_wanted = needs_of(stereo_rig.mode());
}

void reset_mode_switch() {
    reopen_requested = false;
    reopening_for = OutputMode::anaglyph;
    found_missing = BufferNeeds{false, false};
    format_wanted = BufferNeeds{false, false};
    format_obtained = BufferNeeds{false, false};
    clear_notice();
}
