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
View view_of(const Vec3& position, const Vec3& direction, const Vec3& camera_up) {
    Vec3 forward = direction;
    normalize(forward);
    Vec3 side = cross(forward, camera_up);
    normalize(side);
    const Vec3 up = cross(side, forward);
    return View{side, up, Vec3{-forward.x, -forward.y, -forward.z}, position};
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
    return measure_parallax(rig, ViewPose{camera.position, camera.direction, camera.up}, size, vertices, count, 1.0f,
                            1);
}

int fit_stride(int count) { return count > max_fit_samples ? (count + max_fit_samples - 1) / max_fit_samples : 1; }

float fitted_separation_ratio(const StereoRig& rig, const ParallaxReading& reading, float share) {
    const float widest = std::fmax(std::fabs(reading.nearest), std::fabs(reading.farthest));
    const float limit = static_cast<float>(reading.image_width) / 30.0f * share;
    if (!reading.in_view || !(widest > 0.0f) || !(limit > 0.0f) || !std::isfinite(widest)) return rig.separation_ratio;
    return rig.separation_ratio * widest / limit;
}

ParallaxReading measure_parallax(const StereoRig& rig, const ViewPose& pose, const ViewSize& size,
                                 const float (*vertices)[3], int count, float scale, int stride) {
    const EyeProjection left = rig.eye_projection(Eye::left, size);
    const EyeProjection right = rig.eye_projection(Eye::right, size);
    const View view = view_of(pose.position, pose.direction, pose.up);
    if (stride < 1) stride = 1;

    ParallaxReading reading{false, 0.0f, 0.0f, left.width, false};
    for (int i = 0; i < count; i += stride) {
        const Vec3 world{vertices[i][0] * scale - view.position.x, vertices[i][1] * scale - view.position.y,
                         vertices[i][2] * scale - view.position.z};
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
