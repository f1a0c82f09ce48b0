#include "model/model_view.h"

#include <cmath>
#include <cstdio>
#include <cstring>

// A twentieth of the half field stays clear round the model.
const float frame_margin = 0.05f;

namespace {

const float near_factor = 0.2f;  // the rig's near plane, of the focus distance

// The scale at which a coordinate c, at depth z towards the camera, meets the
// edge whose tangent is t: s c = t (D - s z).
float edge_scale(float c, float z, float t, float distance) {
    const float denominator = std::fabs(c) + t * z;
    return denominator > 0.0f ? t * distance / denominator : 1.0f;
}

}  // namespace

float frame_fit_scale(const float* positions, std::size_t vertices, float distance, float tan_half_width,
                      float tan_half_height) {
    const float keep = 1.0f - frame_margin;
    const float tw = tan_half_width * keep, th = tan_half_height * keep;
    const float nearest = distance * (1.0f - near_factor) * keep;
    float scale = 1.0f;
    for (std::size_t i = 0; i < 3 * vertices; i += 3) {
        const float x = positions[i], y = positions[i + 1], z = positions[i + 2];
        float s = edge_scale(x, z, tw, distance);
        const float sy = edge_scale(y, z, th, distance);
        if (sy < s) s = sy;
        if (z > 0.0f && nearest / z < s) s = nearest / z;
        if (s < scale) scale = s;
    }
    return scale > 0.0f ? scale : 1.0f;
}

const char* up_axis_name(UpAxis up) { return up == UpAxis::z ? "z" : "y"; }

bool up_axis_from_name(const char* name, UpAxis* up) {
    if (std::strcmp(name, "y") == 0) {
        *up = UpAxis::y;
        return true;
    }
    if (std::strcmp(name, "z") == 0) {
        *up = UpAxis::z;
        return true;
    }
    return false;
}

void turn_up_axis(Mesh* mesh, UpAxis from, UpAxis to) {
    if (from == to) return;
    // y to z up: (x, y, z) to (x, z, -y); back: (x, y, z) to (x, -z, y).
    const bool to_z = to == UpAxis::z;
    float* arrays[2] = {mesh->positions.get(), mesh->normals.get()};
    for (float* a : arrays) {
        if (!a) continue;
        for (std::size_t i = 0; i < 3 * mesh->vertex_count(); i += 3) {
            const float y = a[i + 1], z = a[i + 2];
            a[i + 1] = to_z ? z : -z;
            a[i + 2] = to_z ? -y : y;
        }
    }
}

bool z_up_by_default(const char* path) {
    const char* dot = std::strrchr(path, '.');
    if (!dot || std::strpbrk(dot, "/\\")) return false;
    char extension[8] = "";
    std::size_t n = 0;
    for (const char* c = dot + 1; *c && n + 1 < sizeof extension; ++c) {
        extension[n++] = (*c >= 'A' && *c <= 'Z') ? static_cast<char>(*c - 'A' + 'a') : *c;
    }
    extension[n] = '\0';
    if (std::strlen(dot + 1) != n) return false;
    return std::strcmp(extension, "stl") == 0 || std::strcmp(extension, "3mf") == 0 ||
           std::strcmp(extension, "amf") == 0;
}

void format_model_facts(const char* path, const Mesh& mesh, char* out, std::size_t size) {
    if (size == 0) return;
    const char* slash = std::strrchr(path, '/');
    const char* backslash = std::strrchr(path, '\\');
    if (backslash > slash) slash = backslash;
    const char* name = slash ? slash + 1 : path;
    char tail[160];
    const MeshFacts& f = mesh.facts;
    int at =
        std::snprintf(tail, sizeof tail, "  %zu faces  %zu vertices  %u mesh%s  %.4g x %.4g x %.4g", mesh.face_count(),
                      mesh.vertex_count(), f.meshes, f.meshes == 1 ? "" : "es", static_cast<double>(f.size[0]),
                      static_cast<double>(f.size[1]), static_cast<double>(f.size[2]));
    if (f.textures > 0 && at > 0 && static_cast<std::size_t>(at) < sizeof tail)
        std::snprintf(tail + at, sizeof tail - at, "  %u texture%s", f.textures, f.textures == 1 ? "" : "s");
    // The name gives way to the figures on a short line.
    const std::size_t kept = std::strlen(tail);
    std::size_t written = 0;
    for (const char* c = name; *c && written + kept + 1 < size; ++c) out[written++] = *c >= 32 && *c < 127 ? *c : '?';
    std::snprintf(out + written, size - written, "%s", tail);
}
