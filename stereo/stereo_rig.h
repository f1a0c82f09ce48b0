// The stereo parameters, their keyboard controls and the per-eye set-ups
// (off-axis frusta with the eye offset folded into the projection).
#pragma once

#include "stereo/anaglyph_method.h"
#include "stereo/output_mode.h"

enum class Eye { left, right };

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
    void update_from_input(float distance);

    void setup_left_eye() const;
    void setup_right_eye() const;
    void setup_mono() const;
    // What setup_left_eye / setup_right_eye give the GL, for the CPU.
    EyeProjection eye_projection(Eye eye) const;
};

// Anaglyph colours, left eye then right eye, as RGB.
struct ColourPair {
    float left[3];
    float right[3];
};
extern const ColourPair colour_pairs[colour_pair_count];
