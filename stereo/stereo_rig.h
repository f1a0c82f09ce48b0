// The stereo parameters, their keyboard controls and the per-eye set-ups
// (off-axis frusta with the eye offset folded into the projection).
#pragma once

class StereoRig {
public:
    float focal_length;      // distance to the zero-parallax plane
    float field_of_view;     // vertical, degrees
    float eye_separation;    // always focal_length / separation_ratio
    float near_plane;        // always 0.2 * focal_length
    float far_plane;
    float image_shift;       // pixels between the eye viewports without glasses
    float separation_ratio;  // focal length / eye separation
    bool glasses_mode;       // true: anaglyph; false: two shifted viewports
    bool auto_focus;         // focal length follows the camera's distance
    int colour_pair;         // row of the anaglyph colour table

    explicit StereoRig(bool glasses);

    void set_focus(float distance);
    void update_from_input(float distance);

    void setup_left_eye() const;
    void setup_right_eye() const;
    void setup_mono() const;
};

// Anaglyph colours, left eye then right eye, as RGB.
struct ColourPair {
    float left[3];
    float right[3];
};
extern const ColourPair colour_pairs[6];
