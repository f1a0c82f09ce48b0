#include "stereo/anaglyph_mixer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// GL 2.0 / ARB names of the values used; the Windows GL header stops at 1.1.
const GLenum fragment_shader = 0x8B30;
const GLenum vertex_shader = 0x8B31;
const GLenum compile_status = 0x8B81;  // also GL_OBJECT_COMPILE_STATUS_ARB
const GLenum link_status = 0x8B82;     // also GL_OBJECT_LINK_STATUS_ARB
const GLenum texture_unit_0 = 0x84C0;
const GLenum texture_unit_1 = 0x84C1;

// The quad's corners are clip coordinates already: no matrix is touched.
const char* const vertex_source =
    "varying vec2 place;\n"
    "void main() {\n"
    "    place = gl_MultiTexCoord0.xy;\n"
    "    gl_Position = gl_Vertex;\n"
    "}\n";
const char* const fragment_source =
    "uniform sampler2D left_image;\n"
    "uniform sampler2D right_image;\n"
    "uniform mat3 left_matrix;\n"
    "uniform mat3 right_matrix;\n"
    "uniform vec4 left_area;\n"
    "uniform vec4 right_area;\n"
    "varying vec2 place;\n"
    "float inside(vec4 area) {\n"
    "    vec2 in_area = step(area.xy, place) * step(place, area.zw);\n"
    "    return in_area.x * in_area.y;\n"
    "}\n"
    "void main() {\n"
    "    vec3 left_rgb = texture2D(left_image, place).rgb * inside(left_area);\n"
    "    vec3 right_rgb = texture2D(right_image, place).rgb * inside(right_area);\n"
    "    gl_FragColor = vec4(clamp(left_matrix * left_rgb + right_matrix * right_rgb, 0.0, 1.0), 1.0);\n"
    "}\n";

// A whole word of the extension string (GL_ARB_shader_objects is not
// GL_ARB_shader_objects_extra).
bool has_extension(const char* name) {
    const char* all = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    const std::size_t length = std::strlen(name);
    for (const char* at = all ? std::strstr(all, name) : nullptr; at; at = std::strstr(at + length, name)) {
        const bool starts = at == all || at[-1] == ' ';
        const bool ends = at[length] == '\0' || at[length] == ' ';
        if (starts && ends) return true;
    }
    return false;
}

int gl_major_version() {
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    return version ? std::atoi(version) : 0;
}

template <typename Function>
bool resolve(Function* slot, GlProcLookup lookup, bool core, const char* core_name, const char* arb_name) {
    *slot = reinterpret_cast<Function>(lookup(core ? core_name : arb_name));
    return *slot != nullptr;
}

int power_of_two_at_least(int value) {
    int p = 1;
    while (p < value && p < (1 << 30)) p <<= 1;
    return p;
}

// Row-major rows to the column-major order GLSL's mat3 takes.
void columns_of(const float rows[3][3], GLfloat out[9]) {
    for (int column = 0; column < 3; ++column)
        for (int row = 0; row < 3; ++row) out[column * 3 + row] = rows[row][column];
}

PixelRect united(PixelRect a, PixelRect b) {
    if (a.width <= 0 || a.height <= 0) return b;
    if (b.width <= 0 || b.height <= 0) return a;
    const int x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
    const int x1 = std::max(a.x + a.width, b.x + b.width), y1 = std::max(a.y + a.height, b.y + b.height);
    return PixelRect{x0, y0, x1 - x0, y1 - y0};
}

}  // namespace

PixelRect projected_area(const float projection[16], const float modelview[16], const int viewport[4],
                         const float (*points)[3], int count) {
    const PixelRect whole{viewport[0], viewport[1], viewport[2], viewport[3]};
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    for (int i = 0; i < count; ++i) {
        float eye[4], clip[4];
        for (int r = 0; r < 4; ++r)
            eye[r] = modelview[r] * points[i][0] + modelview[4 + r] * points[i][1] + modelview[8 + r] * points[i][2] +
                     modelview[12 + r];
        for (int r = 0; r < 4; ++r)
            clip[r] = projection[r] * eye[0] + projection[4 + r] * eye[1] + projection[8 + r] * eye[2] +
                      projection[12 + r] * eye[3];
        if (!(clip[3] > 1e-6f)) return whole;
        const float x = viewport[0] + (clip[0] / clip[3] + 1.0f) * 0.5f * viewport[2];
        const float y = viewport[1] + (clip[1] / clip[3] + 1.0f) * 0.5f * viewport[3];
        if (!std::isfinite(x) || !std::isfinite(y)) return whole;
        x0 = i == 0 ? x : std::min(x0, x);
        y0 = i == 0 ? y : std::min(y0, y);
        x1 = i == 0 ? x : std::max(x1, x);
        y1 = i == 0 ? y : std::max(y1, y);
    }
    if (count <= 0) return PixelRect{viewport[0], viewport[1], 0, 0};
    // A line or point reaches a pixel beyond its vertices' own.
    const float margin = 2.0f;
    const float left = std::max(x0 - margin, static_cast<float>(whole.x));
    const float bottom = std::max(y0 - margin, static_cast<float>(whole.y));
    const float right = std::min(x1 + margin, static_cast<float>(whole.x + whole.width));
    const float top = std::min(y1 + margin, static_cast<float>(whole.y + whole.height));
    if (right <= left || top <= bottom) return PixelRect{viewport[0], viewport[1], 0, 0};
    const int ix = static_cast<int>(std::floor(left)), iy = static_cast<int>(std::floor(bottom));
    return PixelRect{ix, iy, static_cast<int>(std::ceil(right)) - ix, static_cast<int>(std::ceil(top)) - iy};
}

PixelRect current_projected_area(const float (*points)[3], int count) {
    GLfloat projection[16], modelview[16];
    GLint viewport[4];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    glGetIntegerv(GL_VIEWPORT, viewport);
    const int view[4] = {viewport[0], viewport[1], viewport[2], viewport[3]};
    return projected_area(projection, modelview, view, points, count);
}

void AnaglyphMixer::forget_context() { *this = AnaglyphMixer(); }

bool AnaglyphMixer::ready_for(int width, int height, GlProcLookup lookup) {
    if (state_ == State::untried) state_ = prepare(lookup) ? State::ready : State::missing;
    if (state_ != State::ready) return false;
    if (width == width_ && height == height_) return true;
    return size_textures(width, height);
}

bool AnaglyphMixer::prepare(GlProcLookup lookup) {
    // GL 2.0 has the shaders in its core; before it, the ARB extensions
    // carry the same functions under other names.
    const bool core = gl_major_version() >= 2;
    if (!core && !(has_extension("GL_ARB_shader_objects") && has_extension("GL_ARB_vertex_shader") &&
                   has_extension("GL_ARB_fragment_shader") && has_extension("GL_ARB_multitexture"))) {
        why_ = "no GLSL shaders";
        return false;
    }
    any_texture_size_ = core || has_extension("GL_ARB_texture_non_power_of_two");
    EntryPoints& g = gl_;
    const bool found = lookup && resolve(&g.create_shader, lookup, core, "glCreateShader", "glCreateShaderObjectARB") &&
                       resolve(&g.shader_source, lookup, core, "glShaderSource", "glShaderSourceARB") &&
                       resolve(&g.compile_shader, lookup, core, "glCompileShader", "glCompileShaderARB") &&
                       resolve(&g.get_shader, lookup, core, "glGetShaderiv", "glGetObjectParameterivARB") &&
                       resolve(&g.create_program, lookup, core, "glCreateProgram", "glCreateProgramObjectARB") &&
                       resolve(&g.attach, lookup, core, "glAttachShader", "glAttachObjectARB") &&
                       resolve(&g.link_program, lookup, core, "glLinkProgram", "glLinkProgramARB") &&
                       resolve(&g.get_program, lookup, core, "glGetProgramiv", "glGetObjectParameterivARB") &&
                       resolve(&g.use_program, lookup, core, "glUseProgram", "glUseProgramObjectARB") &&
                       resolve(&g.uniform_location, lookup, core, "glGetUniformLocation", "glGetUniformLocationARB") &&
                       resolve(&g.uniform_1i, lookup, core, "glUniform1i", "glUniform1iARB") &&
                       resolve(&g.uniform_4f, lookup, core, "glUniform4f", "glUniform4fARB") &&
                       resolve(&g.uniform_matrix_3, lookup, core, "glUniformMatrix3fv", "glUniformMatrix3fvARB") &&
                       resolve(&g.active_texture, lookup, core, "glActiveTexture", "glActiveTextureARB");
    if (!found) {
        why_ = "no GLSL shader entry points";
        return false;
    }
    if (!build_program()) {
        why_ = "the mixing shaders do not compile";
        return false;
    }

    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glGenTextures(2, textures_);
    for (GLuint texture : textures_) {
        glBindTexture(GL_TEXTURE_2D, texture);
        // One texel per pixel, read at its centre.
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    }
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
    return true;
}

bool AnaglyphMixer::build_program() {
    const EntryPoints& g = gl_;
    const GLuint shaders[2] = {g.create_shader(vertex_shader), g.create_shader(fragment_shader)};
    const char* const sources[2] = {vertex_source, fragment_source};
    program_ = g.create_program();
    if (!shaders[0] || !shaders[1] || !program_) return false;
    for (int i = 0; i < 2; ++i) {
        GLint compiled = 0;
        g.shader_source(shaders[i], 1, &sources[i], nullptr);
        g.compile_shader(shaders[i]);
        g.get_shader(shaders[i], compile_status, &compiled);
        if (!compiled) return false;
        g.attach(program_, shaders[i]);
    }
    GLint linked = 0;
    g.link_program(program_);
    g.get_program(program_, link_status, &linked);
    if (!linked) return false;
    left_matrix_ = g.uniform_location(program_, "left_matrix");
    right_matrix_ = g.uniform_location(program_, "right_matrix");
    left_area_ = g.uniform_location(program_, "left_area");
    right_area_ = g.uniform_location(program_, "right_area");
    g.use_program(program_);
    g.uniform_1i(g.uniform_location(program_, "left_image"), 0);
    g.uniform_1i(g.uniform_location(program_, "right_image"), 1);
    g.use_program(0);
    return left_matrix_ >= 0 && right_matrix_ >= 0 && left_area_ >= 0 && right_area_ >= 0;
}

bool AnaglyphMixer::size_textures(int width, int height) {
    width_ = height_ = 0;
    const int texture_width = any_texture_size_ ? width : power_of_two_at_least(width);
    const int texture_height = any_texture_size_ ? height : power_of_two_at_least(height);
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    if (width <= 0 || height <= 0 || texture_width > largest || texture_height > largest) {
        why_ = "the drawing area is larger than the GL's textures";
        return false;
    }
    while (glGetError() != GL_NO_ERROR) {
    }
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    for (GLuint texture : textures_) {
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, texture_width, texture_height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    }
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
    if (glGetError() != GL_NO_ERROR) {
        why_ = "no room for the eyes' textures";
        return false;
    }
    width_ = width;
    height_ = height;
    texture_width_ = texture_width;
    texture_height_ = texture_height;
    return true;
}

void AnaglyphMixer::capture(Eye place, PixelRect area) {
    // Kept within the textures, whatever the caller measured.
    const int x0 = std::max(area.x, 0), y0 = std::max(area.y, 0);
    const int x1 = std::min(area.x + area.width, width_), y1 = std::min(area.y + area.height, height_);
    const int index = place == Eye::left ? 0 : 1;
    areas_[index] = x1 > x0 && y1 > y0 ? PixelRect{x0, y0, x1 - x0, y1 - y0} : PixelRect{0, 0, 0, 0};
    if (areas_[index].width == 0) return;
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glBindTexture(GL_TEXTURE_2D, textures_[index]);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, x0, y0, x0, y0, x1 - x0, y1 - y0);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
}

void AnaglyphMixer::combine(const MixMatrices& m) const {
    const PixelRect all = united(areas_[0], areas_[1]);
    if (all.width <= 0 || all.height <= 0) return;
    const EntryPoints& g = gl_;
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    const GLboolean depth_test = glIsEnabled(GL_DEPTH_TEST), blend = glIsEnabled(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);

    GLfloat columns[9];
    g.use_program(program_);
    columns_of(m.left, columns);
    g.uniform_matrix_3(left_matrix_, 1, GL_FALSE, columns);
    columns_of(m.right, columns);
    g.uniform_matrix_3(right_matrix_, 1, GL_FALSE, columns);
    // The areas' edges: every pixel centre lies clearly inside or outside,
    // and a texel outside its place's area counts as black.
    const float tw = static_cast<float>(texture_width_), th = static_cast<float>(texture_height_);
    const GLint area_uniforms[2] = {left_area_, right_area_};
    for (int i = 0; i < 2; ++i) {
        const PixelRect& a = areas_[i];
        if (a.width > 0)
            g.uniform_4f(area_uniforms[i], a.x / tw, a.y / th, (a.x + a.width) / tw, (a.y + a.height) / th);
        else
            g.uniform_4f(area_uniforms[i], 2.0f, 2.0f, -1.0f, -1.0f);
    }
    g.active_texture(texture_unit_1);
    glBindTexture(GL_TEXTURE_2D, textures_[1]);
    g.active_texture(texture_unit_0);
    glBindTexture(GL_TEXTURE_2D, textures_[0]);

    // The quad covers the areas' union and no more: its corners in clip
    // coordinates of the whole drawing area, its texture coordinates the
    // same pixels' in the textures.
    const float s0 = all.x / tw, s1 = (all.x + all.width) / tw;
    const float t0 = all.y / th, t1 = (all.y + all.height) / th;
    const float x0 = 2.0f * all.x / width_ - 1.0f, x1 = 2.0f * (all.x + all.width) / width_ - 1.0f;
    const float y0 = 2.0f * all.y / height_ - 1.0f, y1 = 2.0f * (all.y + all.height) / height_ - 1.0f;
    glBegin(GL_QUADS);
    glTexCoord2f(s0, t0);
    glVertex2f(x0, y0);
    glTexCoord2f(s1, t0);
    glVertex2f(x1, y0);
    glTexCoord2f(s1, t1);
    glVertex2f(x1, y1);
    glTexCoord2f(s0, t1);
    glVertex2f(x0, y1);
    glEnd();

    g.use_program(0);
    g.active_texture(texture_unit_1);
    glBindTexture(GL_TEXTURE_2D, 0);
    g.active_texture(texture_unit_0);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
    if (depth_test) glEnable(GL_DEPTH_TEST);
    if (blend) glEnable(GL_BLEND);
}

void draw_mixed_anaglyph(AnaglyphMixer& mixer, const StereoRig& rig, const ViewSize& view, bool draw_left,
                         bool draw_right, void (*draw_object)(), const float (*bounds)[3], int count) {
    const Eye left_place = rig.swap_eyes ? Eye::right : Eye::left;
    rig.setup_left_eye(view);
    if (draw_left) draw_object();
    mixer.capture(left_place, current_projected_area(bounds, count));
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    rig.setup_right_eye(view);
    if (draw_right) draw_object();
    mixer.capture(left_place == Eye::left ? Eye::right : Eye::left, current_projected_area(bounds, count));
    mixer.combine(anaglyph_matrices(rig.anaglyph_method, rig.colour_pair));
    rig.setup_mono(view);
}
