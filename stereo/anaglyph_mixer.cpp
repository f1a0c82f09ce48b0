#include "stereo/anaglyph_mixer.h"

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

}  // namespace

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
    g.use_program(program_);
    g.uniform_1i(g.uniform_location(program_, "left_image"), 0);
    g.uniform_1i(g.uniform_location(program_, "right_image"), 1);
    g.use_program(0);
    return left_matrix_ >= 0 && right_matrix_ >= 0;
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
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, texture_width, texture_height, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
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

void AnaglyphMixer::capture(Eye place) const {
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glBindTexture(GL_TEXTURE_2D, textures_[place == Eye::left ? 0 : 1]);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, width_, height_);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
}

void AnaglyphMixer::combine(const MixMatrices& m) const {
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
    g.active_texture(texture_unit_1);
    glBindTexture(GL_TEXTURE_2D, textures_[1]);
    g.active_texture(texture_unit_0);
    glBindTexture(GL_TEXTURE_2D, textures_[0]);

    const float s = static_cast<float>(width_) / static_cast<float>(texture_width_);
    const float t = static_cast<float>(height_) / static_cast<float>(texture_height_);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(-1.0f, -1.0f);
    glTexCoord2f(s, 0.0f);
    glVertex2f(1.0f, -1.0f);
    glTexCoord2f(s, t);
    glVertex2f(1.0f, 1.0f);
    glTexCoord2f(0.0f, t);
    glVertex2f(-1.0f, 1.0f);
    glEnd();

    g.use_program(0);
    g.active_texture(texture_unit_1);
    glBindTexture(GL_TEXTURE_2D, 0);
    g.active_texture(texture_unit_0);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
    if (depth_test) glEnable(GL_DEPTH_TEST);
    if (blend) glEnable(GL_BLEND);
}
