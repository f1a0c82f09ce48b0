#include "stereo/parallax.h"

#include <cmath>
#include <cstdio>

namespace {

struct View {
    Vec3 side, up, back;  // rows of the camera's rotation (gluLookAt's s, u, -f)
    Vec3 position;
};

Vec3 cross(const Vec3& a, const Vec3& b) {
    return Vec3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// The camera's view as gluLookAt builds it from position, direction and up.
View view_of(const Camera& camera) {
    Vec3 forward = camera.direction;
    normalize(forward);
    Vec3 side = cross(forward, camera.up);
    normalize(side);
    const Vec3 up = cross(side, forward);
    return View{side, up, Vec3{-forward.x, -forward.y, -forward.z}, camera.position};
}

// x of an eye-space point in an eye's image, pixels from its viewport's left
// edge: the frustum's x row, the perspective divide, the viewport.
float image_x(const EyeProjection& p, float x, float z) {
    const float scale = 2.0f * p.near_plane / (p.right - p.left);
    const float centre = (p.right + p.left) / (p.right - p.left);
    const float clip_x = scale * (x + p.eye_offset) + centre * z;
    const float ndc_x = clip_x / -z;
    return (ndc_x + 1.0f) * 0.5f * static_cast<float>(p.width);
}

}  // namespace

ParallaxReading measure_parallax(const StereoRig& rig, const Camera& camera, const ViewSize& size,
                                 const float (*vertices)[3], int count) {
    const EyeProjection left = rig.eye_projection(Eye::left, size);
    const EyeProjection right = rig.eye_projection(Eye::right, size);
    const View view = view_of(camera);

    ParallaxReading reading{false, 0.0f, 0.0f, left.width, false};
    for (int i = 0; i < count; ++i) {
        const Vec3 world{vertices[i][0] - view.position.x, vertices[i][1] - view.position.y,
                         vertices[i][2] - view.position.z};
        const float x = dot(view.side, world);
        const float z = dot(view.back, world);
        // Both eyes share the depth: only what lies between the planes is drawn.
        if (!(-z >= rig.near_plane && -z <= rig.far_plane)) continue;
        const float parallax = image_x(right, x, z) - image_x(left, x, z);
        if (!std::isfinite(parallax)) continue;
        if (!reading.in_view || parallax < reading.nearest) reading.nearest = parallax;
        if (!reading.in_view || parallax > reading.farthest) reading.farthest = parallax;
        reading.in_view = true;
    }
    const float limit = static_cast<float>(reading.image_width) / 30.0f;
    reading.uncomfortable =
        reading.in_view && (std::fabs(reading.nearest) > limit || std::fabs(reading.farthest) > limit);
    return reading;
}

void format_parallax(const ParallaxReading& reading, char* out, std::size_t size) {
    if (size == 0) return;
    if (!reading.in_view || reading.image_width <= 0) {
        std::snprintf(out, size, "parallax: nothing in view");
        return;
    }
    const double percent = 100.0 / reading.image_width;
    std::snprintf(out, size, "parallax %+.1fpx %+.1f%% .. %+.1fpx %+.1f%%%s", static_cast<double>(reading.nearest),
                  reading.nearest * percent, static_cast<double>(reading.farthest), reading.farthest * percent,
                  reading.uncomfortable ? "  over 1/30" : "");
}
