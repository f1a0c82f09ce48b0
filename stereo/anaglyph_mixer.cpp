#include "stereo/anaglyph_mixer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
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
// GL 3.0 / EXT_framebuffer_object names, the same numbers in both.
const GLenum framebuffer_target = 0x8D40;
const GLenum renderbuffer_target = 0x8D41;
const GLenum framebuffer_binding = 0x8CA6;
const GLenum renderbuffer_binding = 0x8CA7;
const GLenum colour_attachment = 0x8CE0;
const GLenum depth_attachment = 0x8D00;
const GLenum framebuffer_complete = 0x8CD5;
const GLenum depth_16 = 0x81A5, depth_24 = 0x81A6, depth_32 = 0x81A7;

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
// The same where each texture is black outside its place's area already
// (drawn into, cleared whole for every eye): no test of the areas, a
// quarter of the pass's cost on a software rasteriser.
const char* const drawn_fragment_source =
    "uniform sampler2D left_image;\n"
    "uniform sampler2D right_image;\n"
    "uniform mat3 left_matrix;\n"
    "uniform mat3 right_matrix;\n"
    "varying vec2 place;\n"
    "void main() {\n"
    "    vec3 left_rgb = texture2D(left_image, place).rgb;\n"
    "    vec3 right_rgb = texture2D(right_image, place).rgb;\n"
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
                       resolve(&g.uniform_3f, lookup, core, "glUniform3f", "glUniform3fARB") &&
                       resolve(&g.uniform_4f, lookup, core, "glUniform4f", "glUniform4fARB") &&
                       resolve(&g.uniform_matrix_3, lookup, core, "glUniformMatrix3fv", "glUniformMatrix3fvARB") &&
                       resolve(&g.active_texture, lookup, core, "glActiveTexture", "glActiveTextureARB");
    if (!found) {
        why_ = "no GLSL shader entry points";
        return false;
    }
    if (!build_program(fragment_source, &copied_) || copied_.left_area < 0 || copied_.right_area < 0) {
        why_ = "the mixing shaders do not compile";
        return false;
    }
    framebuffer_calls_ = find_framebuffer_calls(lookup) && build_program(drawn_fragment_source, &drawn_);

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

bool AnaglyphMixer::find_framebuffer_calls(GlProcLookup lookup) {
    // GL 3.0 (and ARB_framebuffer_object) has them without a suffix; the EXT
    // extension before it the same calls with one.
    const bool core = gl_major_version() >= 3 || has_extension("GL_ARB_framebuffer_object");
    if (!core && !has_extension("GL_EXT_framebuffer_object")) return false;
    EntryPoints& g = gl_;
    const bool found =
        resolve(&g.gen_framebuffers, lookup, core, "glGenFramebuffers", "glGenFramebuffersEXT") &&
        resolve(&g.gen_renderbuffers, lookup, core, "glGenRenderbuffers", "glGenRenderbuffersEXT") &&
        resolve(&g.bind_framebuffer, lookup, core, "glBindFramebuffer", "glBindFramebufferEXT") &&
        resolve(&g.bind_renderbuffer, lookup, core, "glBindRenderbuffer", "glBindRenderbufferEXT") &&
        resolve(&g.attach_texture, lookup, core, "glFramebufferTexture2D", "glFramebufferTexture2DEXT") &&
        resolve(&g.attach_renderbuffer, lookup, core, "glFramebufferRenderbuffer", "glFramebufferRenderbufferEXT") &&
        resolve(&g.renderbuffer_storage, lookup, core, "glRenderbufferStorage", "glRenderbufferStorageEXT") &&
        resolve(&g.framebuffer_status, lookup, core, "glCheckFramebufferStatus", "glCheckFramebufferStatusEXT");
    if (!found) {
        g.gen_framebuffers = g.gen_renderbuffers = nullptr;
        g.bind_framebuffer = g.bind_renderbuffer = nullptr;
        g.attach_texture = nullptr;
        g.attach_renderbuffer = nullptr;
        g.renderbuffer_storage = nullptr;
        g.framebuffer_status = nullptr;
    }
    return found;
}

bool AnaglyphMixer::build_program(const char* fragment, Program* out) const {
    const EntryPoints& g = gl_;
    const GLuint shaders[2] = {g.create_shader(vertex_shader), g.create_shader(fragment_shader)};
    const char* const sources[2] = {vertex_source, fragment};
    const GLuint program = g.create_program();
    if (!shaders[0] || !shaders[1] || !program) return false;
    for (int i = 0; i < 2; ++i) {
        GLint compiled = 0;
        g.shader_source(shaders[i], 1, &sources[i], nullptr);
        g.compile_shader(shaders[i]);
        g.get_shader(shaders[i], compile_status, &compiled);
        if (!compiled) return false;
        g.attach(program, shaders[i]);
    }
    GLint linked = 0;
    g.link_program(program);
    g.get_program(program, link_status, &linked);
    if (!linked) return false;
    Program p;
    p.name = program;
    p.left_matrix = g.uniform_location(program, "left_matrix");
    p.right_matrix = g.uniform_location(program, "right_matrix");
    p.left_area = g.uniform_location(program, "left_area");
    p.right_area = g.uniform_location(program, "right_area");
    const char* const weight_names[3] = {"weight_r", "weight_g", "weight_b"};
    for (int c = 0; c < 3; ++c) p.weights[c] = g.uniform_location(program, weight_names[c]);
    g.use_program(program);
    // An eye whose image a program does not read has no sampler to set (-1, which the GL passes over).
    g.uniform_1i(g.uniform_location(program, "left_image"), 0);
    g.uniform_1i(g.uniform_location(program, "right_image"), 1);
    g.use_program(0);
    const bool matrices = p.left_matrix >= 0 && p.right_matrix >= 0;
    const bool weights = p.weights[0] >= 0 && p.weights[1] >= 0 && p.weights[2] >= 0;
    if (!matrices && !weights) return false;
    *out = p;
    return true;
}

int AnaglyphMixer::single_eye_channels(const MixMatrices& m) {
    int right_bits = 0;
    for (int c = 0; c < 3; ++c) {
        const bool left = m.left[c][0] != 0.0f || m.left[c][1] != 0.0f || m.left[c][2] != 0.0f;
        const bool right = m.right[c][0] != 0.0f || m.right[c][1] != 0.0f || m.right[c][2] != 0.0f;
        if (left && right) return -1;
        if (right) right_bits |= 1 << c;
    }
    return right_bits;
}

const AnaglyphMixer::Program* AnaglyphMixer::drawn_program(const MixMatrices& m) {
    const int pattern = single_eye_channels(m);
    if (pattern < 0) return &drawn_;
    Program& p = single_eye_[pattern];
    if (p.name == 0) {
        const char* eye[3];
        for (int c = 0; c < 3; ++c) eye[c] = pattern & (1 << c) ? "right_rgb" : "left_rgb";
        char source[768];
        std::snprintf(source, sizeof source,
                      "uniform sampler2D left_image;\n"
                      "uniform sampler2D right_image;\n"
                      "uniform vec3 weight_r;\n"
                      "uniform vec3 weight_g;\n"
                      "uniform vec3 weight_b;\n"
                      "varying vec2 place;\n"
                      "void main() {\n"
                      "    vec3 left_rgb = texture2D(left_image, place).rgb;\n"
                      "    vec3 right_rgb = texture2D(right_image, place).rgb;\n"
                      "    vec3 mixed = vec3(dot(weight_r, %s), dot(weight_g, %s), dot(weight_b, %s));\n"
                      "    gl_FragColor = vec4(clamp(mixed, 0.0, 1.0), 1.0);\n"
                      "}\n",
                      eye[0], eye[1], eye[2]);
        // A GL that will not build it mixes with the matrices, and is not asked again.
        if (!build_program(source, &p) || p.weights[0] < 0) p = drawn_;
    }
    return &p;
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
    direct_ = framebuffer_calls_ && attach_framebuffers(texture_width, texture_height);
    return true;
}

bool AnaglyphMixer::attach_framebuffers(int width, int height) {
    const EntryPoints& g = gl_;
    // The eyes' depth as precise as the drawing area's, so that they hide
    // each other's surfaces there as they would in it.
    GLint depth_bits = 0, screen = 0, bound_renderbuffer = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depth_bits);
    // An eye drawn into an 8-bit texture has the pixels its copy from an
    // 8-bit drawing area would have; from a deeper one (a 10-bit offscreen
    // surface) the copy rounds twice, and the copies keep the pictures so.
    const GLenum colour_bits[3] = {GL_RED_BITS, GL_GREEN_BITS, GL_BLUE_BITS};
    for (GLenum bits_of : colour_bits) {
        GLint bits = 0;
        glGetIntegerv(bits_of, &bits);
        if (bits != 8) return false;
    }
    glGetIntegerv(framebuffer_binding, &screen);
    glGetIntegerv(renderbuffer_binding, &bound_renderbuffer);
    if (!depth_) {
        g.gen_renderbuffers(1, &depth_);
        g.gen_framebuffers(2, framebuffers_);
    }
    g.bind_renderbuffer(renderbuffer_target, depth_);
    g.renderbuffer_storage(renderbuffer_target,
                           depth_bits > 24   ? depth_32
                           : depth_bits > 16 ? depth_24
                                             : depth_16,
                           width, height);
    g.bind_renderbuffer(renderbuffer_target, static_cast<GLuint>(bound_renderbuffer));
    bool complete = true;
    for (int i = 0; i < 2; ++i) {
        g.bind_framebuffer(framebuffer_target, framebuffers_[i]);
        g.attach_texture(framebuffer_target, colour_attachment, GL_TEXTURE_2D, textures_[i], 0);
        g.attach_renderbuffer(framebuffer_target, depth_attachment, renderbuffer_target, depth_);
        complete = complete && g.framebuffer_status(framebuffer_target) == framebuffer_complete;
    }
    g.bind_framebuffer(framebuffer_target, static_cast<GLuint>(screen));
    // A GL that cannot draw into them still has the copies.
    return glGetError() == GL_NO_ERROR && complete;
}

void AnaglyphMixer::begin_eye(Eye place, PixelRect area) {
    if (!direct_) return;
    glGetIntegerv(framebuffer_binding, &screen_);
    scissor_on_ = glIsEnabled(GL_SCISSOR_TEST);
    glGetIntegerv(GL_SCISSOR_BOX, scissor_);
    gl_.bind_framebuffer(framebuffer_target, framebuffers_[place == Eye::left ? 0 : 1]);
    // Black, whatever the clear colour: the image outside the area.
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    glClearColor(0.0f, 0.0f, 0.0f, clear[3]);
    glDisable(GL_SCISSOR_TEST);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(clear[0], clear[1], clear[2], clear[3]);
    glEnable(GL_SCISSOR_TEST);
    glScissor(area.x, area.y, std::max(area.width, 0), std::max(area.height, 0));
}

void AnaglyphMixer::capture(Eye place, PixelRect area) {
    // Kept within the textures, whatever the caller measured.
    const int x0 = std::max(area.x, 0), y0 = std::max(area.y, 0);
    const int x1 = std::min(area.x + area.width, width_), y1 = std::min(area.y + area.height, height_);
    const int index = place == Eye::left ? 0 : 1;
    areas_[index] = x1 > x0 && y1 > y0 ? PixelRect{x0, y0, x1 - x0, y1 - y0} : PixelRect{0, 0, 0, 0};
    if (direct_) {
        gl_.bind_framebuffer(framebuffer_target, static_cast<GLuint>(screen_));
        glScissor(scissor_[0], scissor_[1], scissor_[2], scissor_[3]);
        if (!scissor_on_) glDisable(GL_SCISSOR_TEST);
        return;
    }
    if (areas_[index].width == 0) return;
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glBindTexture(GL_TEXTURE_2D, textures_[index]);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, x0, y0, x0, y0, x1 - x0, y1 - y0);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
}

void AnaglyphMixer::combine(const MixMatrices& m) {
    const PixelRect all = united(areas_[0], areas_[1]);
    if (all.width <= 0 || all.height <= 0) return;
    const EntryPoints& g = gl_;
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    const GLboolean depth_test = glIsEnabled(GL_DEPTH_TEST), blend = glIsEnabled(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);

    const Program& p = direct_ ? *drawn_program(m) : copied_;
    g.use_program(p.name);
    if (p.weights[0] >= 0) {
        // Each channel's row of the matrix of the one eye it takes.
        const int from_right = single_eye_channels(m);
        for (int c = 0; c < 3; ++c) {
            const float* row = from_right & (1 << c) ? m.right[c] : m.left[c];
            g.uniform_3f(p.weights[c], row[0], row[1], row[2]);
        }
    } else {
        GLfloat columns[9];
        columns_of(m.left, columns);
        g.uniform_matrix_3(p.left_matrix, 1, GL_FALSE, columns);
        columns_of(m.right, columns);
        g.uniform_matrix_3(p.right_matrix, 1, GL_FALSE, columns);
    }
    // The areas' edges: every pixel centre lies clearly inside or outside,
    // and a texel outside its place's area counts as black.
    const float tw = static_cast<float>(texture_width_), th = static_cast<float>(texture_height_);
    const GLint area_uniforms[2] = {p.left_area, p.right_area};
    for (int i = 0; i < 2 && !direct_; ++i) {
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
    const Eye right_place = left_place == Eye::left ? Eye::right : Eye::left;
    // Each eye's area is known from its projection before it is drawn.
    rig.setup_left_eye(view);
    PixelRect area = current_projected_area(bounds, count);
    mixer.begin_eye(left_place, area);
    if (draw_left) draw_object();
    mixer.capture(left_place, area);
    if (!mixer.draws_into_textures()) glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    rig.setup_right_eye(view);
    area = current_projected_area(bounds, count);
    mixer.begin_eye(right_place, area);
    if (draw_right) draw_object();
    mixer.capture(right_place, area);
    mixer.combine(anaglyph_matrices(rig.anaglyph_method, rig.colour_pair));
    rig.setup_mono(view);
}
