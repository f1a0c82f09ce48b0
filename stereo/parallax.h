// The parallax comfort readout: how far apart the two eyes' images of what is
// drawn lie on the screen, computed on the CPU from the vertices through each
// eye's own projection and viewport (the same figures setup_left_eye and
// setup_right_eye give the GL), without reading anything back.
#pragma once

#include <cstddef>

#include "camera/camera.h"
#include "stereo/stereo_rig.h"

struct ParallaxReading {
    bool in_view;        // some vertex lies between the near and far planes
    float nearest;       // smallest parallax, pixels (negative: in front of the screen)
    float farthest;      // largest parallax, pixels (positive: behind the screen)
    int image_width;     // pixels of one eye's image, which the percentages refer to
    bool uncomfortable;  // either end beyond 1/30 of image_width
};

// Parallax of a vertex = its x in the right eye's image minus its x in the
// left eye's, each counted from its own viewport's left edge. Any vertex
// array can be measured: the test object's today, a mesh's later.
ParallaxReading measure_parallax(const StereoRig& rig, const Camera& camera, const ViewSize& view,
                                 const float (*vertices)[3], int count);

// The same for any view (the turntable's among them), of the vertices scaled
// by `scale` about the origin, taking every `stride`-th vertex only.
struct ViewPose {
    Vec3 position, direction, up;
};
ParallaxReading measure_parallax(const StereoRig& rig, const ViewPose& pose, const ViewSize& view,
                                 const float (*vertices)[3], int count, float scale, int stride);
// Every how many vertices a fit measures: the whole of a small mesh, an even
// sample of at most max_fit_samples of a large one.
constexpr int max_fit_samples = 32768;
int fit_stride(int count);

// The separation ratio at which a reading's nearest and farthest parallax
// come to `share` (at most 1) of the comfort limit, the focal length kept:
// parallax grows with the separation, which is focal length / ratio. The
// rig's own ratio when nothing is in view or nothing lies off the plane.
constexpr float fitted_share = 0.95f;
float fitted_separation_ratio(const StereoRig& rig, const ParallaxReading& reading, float share);

// The overlay line, e.g. "parallax -36.2px -4.5% .. +4.0px +0.5%  over 1/30".
void format_parallax(const ParallaxReading& reading, char* out, std::size_t size);
