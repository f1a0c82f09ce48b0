#include "app/inspect.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "app/input.h"
#include "app/statics.h"
#include "model/model.h"
#include "stereo/test_object.h"
#include "text/notice.h"

bool turntable_on = false;
Turntable turntable;
UpAxis model_up = UpAxis::y;
bool info_shown = false;
bool parallax_fitted = false;

namespace {

const float home_distance = 5.0f;  // both cameras' home, where the fit is made
const float wheel_travel = 0.5f;   // world units per notch for the flying camera

// The pointer between frames: where it was last seen and what the drags and
// the wheel came to since the last frame.
struct PointerInput {
    int x = 0, y = 0;
    bool seen = false;
    float turn_x = 0.0f, turn_y = 0.0f;
    float pan_x = 0.0f, pan_y = 0.0f;
    float notches = 0.0f;
};
PointerInput pointer;
int pointer_reveals = 0;  // ShowCursor(TRUE) calls made for the turntable, to undo

// The fit is remade only when what it depends on changes.
struct FitKey {
    const float* positions = nullptr;
    std::size_t vertices = 0;
    UpAxis up = UpAxis::y;
    float tan_width = 0.0f, tan_height = 0.0f;
    unsigned generation = 0;
};
FitKey fitted_for;

bool command_line_up_given = false;
UpAxis command_line_up = UpAxis::y;
std::string model_path;
unsigned model_generation = 0;  // one more for every model that arrives

void forget_drags() { pointer.turn_x = pointer.turn_y = pointer.pan_x = pointer.pan_y = pointer.notches = 0.0f; }

void reveal_pointer() {
    if (!turntable_on) return;
    int counter = 0;
    do {
        counter = platform_show_cursor(true);
        ++pointer_reveals;
    } while (counter < 0 && pointer_reveals < 8);
}

void hide_pointer_again() {
    for (; pointer_reveals > 0; --pointer_reveals) platform_show_cursor(false);
}

void switch_camera() {
    turntable_on = !turntable_on;
    forget_drags();
    if (turntable_on) {
        reveal_pointer();
        show_notice("turntable: drag turns, right drag pans, wheel zooms");
    } else {
        hide_pointer_again();
        // The flying camera measures the pointer from its park point: parked
        // now, it goes on where it was without a jump.
        Camera::park_cursor();
        show_notice("flying camera");
    }
}

void set_up_axis(UpAxis up, bool tell) {
    if (model_is_open(model_scene)) {
        turn_up_axis(&model_scene.mesh, model_up, up);
        // The GL's copy of the vertices is of the model as it lay.
        release_model_buffers(model_scene);
    }
    model_up = up;
    if (tell) {
        char text[48];
        std::snprintf(text, sizeof text, "%s up", up == UpAxis::z ? "Z" : "Y");
        show_notice(text);
    }
}

void fit_parallax_now() {
    const bool open = model_is_open(model_scene);
    const Mesh& mesh = model_scene.mesh;
    const int count = open ? static_cast<int>(mesh.vertex_count()) : test_object_vertex_count;
    const float(*vertices)[3] = open ? reinterpret_cast<const float(*)[3]>(mesh.positions.get()) : test_object_vertices;
    const float scale = open ? model_scene.view_scale : 1.0f;
    const ParallaxReading reading =
        measure_parallax(stereo_rig, current_view_pose(), view_size(), vertices, count, scale, fit_stride(count));
    const float ratio = fitted_separation_ratio(stereo_rig, reading, fitted_share);
    stereo_rig.separation_ratio = ratio;
    stereo_rig.eye_separation = stereo_rig.focal_length / ratio;
}

}  // namespace

void note_pointer_message(unsigned message, WParam wparam, LParam lparam) {
    switch (message) {
    case WM_MOUSEMOVE: {
        const int x = signed_loword(static_cast<std::uintptr_t>(lparam));
        const int y = signed_hiword(static_cast<std::uintptr_t>(lparam));
        if (pointer.seen && (wparam & (MK_LBUTTON | MK_RBUTTON))) {
            const bool pans = (wparam & MK_RBUTTON) || (wparam & MK_SHIFT);
            (pans ? pointer.pan_x : pointer.turn_x) += static_cast<float>(x - pointer.x);
            (pans ? pointer.pan_y : pointer.turn_y) += static_cast<float>(y - pointer.y);
        }
        pointer.x = x;
        pointer.y = y;
        pointer.seen = true;
        return;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        // A drag starts where the button went down, wherever the pointer was last seen.
        pointer.x = signed_loword(static_cast<std::uintptr_t>(lparam));
        pointer.y = signed_hiword(static_cast<std::uintptr_t>(lparam));
        pointer.seen = true;
        return;
    case WM_MOUSEWHEEL: pointer.notches += static_cast<float>(wheel_delta_of(wparam)) / WHEEL_DELTA; return;
    default: return;
    }
}

void reset_inspect() {
    turntable_on = false;
    turntable.reset();
    model_up = UpAxis::y;
    info_shown = false;
    parallax_fitted = false;
    pointer = PointerInput();
    pointer_reveals = 0;
    fitted_for = FitKey();
    command_line_up_given = false;
    model_scene.view_scale = 1.0f;
}

void apply_inspect_options(const Options& options) {
    if (options.turntable) turntable_on = true;
    command_line_up_given = options.up_given;
    command_line_up = options.up;
    if (options.fit_parallax) parallax_fitted = true;
}

void settle_pointer() { reveal_pointer(); }

void model_arrived(const char* path) {
    model_path = path ? path : "";
    ++model_generation;
    // The mesh comes as the file has it, Y up.
    model_up = UpAxis::y;
    if (command_line_up_given) {
        set_up_axis(command_line_up, false);
    } else if (z_up_by_default(model_path.c_str())) {
        set_up_axis(UpAxis::z, false);
        show_notice("Z up, as STL, 3MF and AMF files are (B: Y up)");
    }
}

float update_view() {
    if (!turntable_on) {
        camera.update_from_input(held_keys());
        // The wheel moves along the view, as Up and Down do.
        if (pointer.notches != 0.0f) {
            camera.move(0.0f, 0.0f, pointer.notches * wheel_travel);
            camera.apply_view();
        }
        forget_drags();
        return camera.distance_from_origin();
    }
    turntable.turn(pointer.turn_x, pointer.turn_y);
    turntable.pan(pointer.pan_x, pointer.pan_y, view_height, stereo_rig.field_of_view);
    turntable.zoom(pointer.notches);
    forget_drags();
    turntable.apply_view();
    return turntable.distance;
}

ViewPose current_view_pose() {
    if (turntable_on) return ViewPose{turntable.position(), turntable.direction(), turntable.up()};
    return ViewPose{camera.position, camera.direction, camera.up};
}

float view_distance() { return turntable_on ? turntable.distance : camera.distance_from_origin(); }

void reset_view() {
    if (turntable_on)
        turntable.reset();
    else
        camera.reset();
}

void toggle_turntable() { switch_camera(); }

void next_up_axis() { set_up_axis(model_up == UpAxis::y ? UpAxis::z : UpAxis::y, true); }

void toggle_info_line() { info_shown = !info_shown; }

void toggle_fitted_parallax() {
    parallax_fitted = !parallax_fitted;
    if (parallax_fitted) fit_parallax_now();
    show_notice(parallax_fitted ? "separation fitted to the comfort limit" : "separation as set");
}

void follow_fitted_parallax() {
    if (!parallax_fitted) return;
    if (key_down['X'] || key_down['Z'] || key_down['E']) {
        parallax_fitted = false;
        return;
    }
    if (stereo_rig.auto_focus) fit_parallax_now();
}

void fit_model_to_view() {
    if (!model_is_open(model_scene)) {
        model_scene.view_scale = 1.0f;
        return;
    }
    const EyeProjection p = stereo_rig.eye_projection(Eye::left, view_size());
    FitKey key;
    key.positions = model_scene.mesh.positions.get();
    key.vertices = model_scene.mesh.vertex_count();
    key.up = model_up;
    // Rounded: the frustum's figures move in their last bits as the focus does.
    key.tan_width = std::round(2048.0f * (p.right - p.left) / p.near_plane) / 4096.0f;
    key.tan_height = std::round(4096.0f * p.top / p.near_plane) / 4096.0f;
    key.generation = model_generation;
    if (key.positions == fitted_for.positions && key.vertices == fitted_for.vertices && key.up == fitted_for.up &&
        key.generation == fitted_for.generation && key.tan_width == fitted_for.tan_width &&
        key.tan_height == fitted_for.tan_height)
        return;
    fitted_for = key;
    model_scene.view_scale = frame_fit_scale(key.positions, key.vertices, home_distance, key.tan_width, key.tan_height);
}

void format_info_line(char* out, std::size_t size) {
    if (size == 0) return;
    if (!model_is_open(model_scene)) {
        std::snprintf(out, size, "the test object: no model open");
        return;
    }
    format_model_facts(model_path.c_str(), model_scene.mesh, out, size);
}
