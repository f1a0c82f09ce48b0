// The stereo parameters, their keyboard controls and the per-eye set-ups
// (off-axis frusta with the eye offset folded into the projection).
#pragma once

#include "platform/key_state.h"
#include "stereo/anaglyph_method.h"
#include "stereo/output_mode.h"

enum class Eye { left, right };

// The drawing area the eyes share, in pixels: the client size of the last
// resize_view; height never 0.
struct ViewSize {
    int width, height;
};

// Where and how one eye's image is drawn: the viewport (a call is made only
// when sets_viewport; otherwise the whole client area set by resize_view
// stays), the off-axis frustum, and the eye's sideways offset folded into the
// projection (world units along x, positive: the scene moves right).
struct EyeProjection {
    bool sets_viewport;
    int x, y, width, height;
    float left, right, bottom, top, near_plane, far_plane;
    float eye_offset;
};

class StereoRig {
public:
    float focal_length;    // distance to the zero-parallax plane
    float field_of_view;   // vertical, degrees
    float eye_separation;  // always focal_length / separation_ratio
    float near_plane;      // always 0.2 * focal_length
    float far_plane;
    float image_shift;       // pixels between the eye viewports without glasses
    float separation_ratio;  // focal length / eye separation
    bool glasses_mode;       // true: anaglyph; false: two shifted viewports or another mode
    bool auto_focus;         // focal length follows the camera's distance
    int colour_pair;         // row of the anaglyph colour table
    // The presentation. Between the two basic ones (anaglyph, free-view)
    // glasses_mode decides, as D toggles it; set_mode keeps the two fields in
    // step, glasses_mode true exactly in anaglyph.
    OutputMode output_mode;
    bool swap_eyes;         // each eye's image goes where the other's would
    bool parallax_readout;  // the overlay shows the comfort line
    // How the anaglyph makes one picture of the two eyes (A). With a mixing
    // method the eyes draw in full colour; the frame mixes them afterwards.
    AnaglyphMethod anaglyph_method;

    explicit StereoRig(bool glasses);

    OutputMode mode() const;
    void set_mode(OutputMode mode);

    void set_focus(float distance);
    // The held controls (focal length, separation, image shift); D and U,
    // which act once per press, are the shell's, through the two toggles.
    void update_from_input(const KeyState& keys, float distance);
    void toggle_presentation();
    void toggle_auto_focus() { auto_focus = !auto_focus; }

    void setup_left_eye(const ViewSize& view) const;
    void setup_right_eye(const ViewSize& view) const;
    void setup_mono(const ViewSize& view) const;
    // What setup_left_eye / setup_right_eye give the GL, for the CPU.
    EyeProjection eye_projection(Eye eye, const ViewSize& view) const;
};
