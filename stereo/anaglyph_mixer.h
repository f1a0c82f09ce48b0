// The mixing anaglyph methods on the GL: each eye is drawn straight into a
// texture of its own through a framebuffer object (GL 3.0, or
// EXT_framebuffer_object), or, on a GL without them, drawn in the drawing
// area and copied from it (glCopyTexSubImage2D, GL 1.1); one quad over the
// area then mixes the two through a small GLSL program. The program needs
// GL 2.0, or the ARB shader and multitexture extensions; a GL without them
// has no mixing, which the caller tells the user.
//
// GL objects belong to the context they were made in: the programs once per
// context, the textures (and framebuffers) once per size of the drawing
// area. Nothing is made per frame.
#pragma once

#include "platform/gl.h"
#include "stereo/anaglyph_method.h"
#include "stereo/stereo_rig.h"

// Looks a GL entry point up by name (platform_get_gl_proc_address).
typedef void* (*GlProcLookup)(const char* name);

// A rectangle of the drawing area in pixels from its lower left corner.
struct PixelRect {
    int x, y, width, height;
};

// Where points land through a projection and a model-view matrix (column-major,
// as the GL gives them) and a viewport: their bounding rectangle grown by two
// pixels and kept inside the viewport. The whole viewport when a point lies
// at or behind the eye's plane, where its image has no bounds. Mixing only
// this part is what keeps a software rasteriser's frame short: everywhere
// else both eyes are black, which every method keeps black.
PixelRect projected_area(const float projection[16], const float modelview[16], const int viewport[4],
                         const float (*points)[3], int count);
// The same through the GL's current matrices and viewport.
PixelRect current_projected_area(const float (*points)[3], int count);

class AnaglyphMixer {
public:
    // A new context: what was made in the old one is gone with it (never
    // deleted here), and the new one is asked again.
    void forget_context();

    // Whether mixing can run over a width x height area in the current
    // context: its entry points and program (asked once per context) and its
    // textures (made once per size). False with the reason in why().
    bool ready_for(int width, int height, GlProcLookup lookup);
    // True once this context has been found without the shaders.
    bool lacks_shaders() const { return state_ == State::missing; }
    const char* why() const { return why_; }

    // True where the eyes are drawn into the textures themselves; else each
    // is drawn in the drawing area, cleared by the caller before the second.
    bool draws_into_textures() const { return direct_; }
    // The eye of `place` is drawn from here on: into its texture, cleared
    // (colour and depth), and only within `area` (the scissor's), so that
    // outside it the image is black; nothing where the eyes are copied.
    void begin_eye(Eye place, PixelRect area);
    // The part `area` of what is drawn so far becomes the image of the eye's
    // place (the left or right glasses); outside it the image is black. The
    // drawing goes to the drawing area again, the scissor as it was. Leaves
    // the texture binding as it found it.
    void capture(Eye place, PixelRect area);
    // Draws the mix of both places' images over their areas, in a viewport
    // over the whole drawing area: depth untouched, blending off meanwhile,
    // every state as it was found after.
    void combine(const MixMatrices& m);

    // Function pointer types of the entry points (core and ARB names share them).
    typedef GLuint(APIENTRY* CreateShader)(GLenum);
    typedef void(APIENTRY* ShaderSource)(GLuint, GLsizei, const char* const*, const GLint*);
    typedef void(APIENTRY* TakeHandle)(GLuint);
    typedef void(APIENTRY* GetParameter)(GLuint, GLenum, GLint*);
    typedef GLuint(APIENTRY* CreateProgram)();
    typedef void(APIENTRY* Attach)(GLuint, GLuint);
    typedef GLint(APIENTRY* UniformLocation)(GLuint, const char*);
    typedef void(APIENTRY* Uniform1i)(GLint, GLint);
    typedef void(APIENTRY* Uniform3f)(GLint, GLfloat, GLfloat, GLfloat);
    typedef void(APIENTRY* Uniform4f)(GLint, GLfloat, GLfloat, GLfloat, GLfloat);
    typedef void(APIENTRY* UniformMatrix3)(GLint, GLsizei, GLboolean, const GLfloat*);
    typedef void(APIENTRY* ActiveTexture)(GLenum);
    typedef void(APIENTRY* GenNames)(GLsizei, GLuint*);
    typedef void(APIENTRY* BindName)(GLenum, GLuint);
    typedef void(APIENTRY* AttachTexture)(GLenum, GLenum, GLenum, GLuint, GLint);
    typedef void(APIENTRY* AttachRenderbuffer)(GLenum, GLenum, GLenum, GLuint);
    typedef void(APIENTRY* RenderbufferStorage)(GLenum, GLenum, GLsizei, GLsizei);
    typedef GLenum(APIENTRY* FramebufferStatus)(GLenum);

private:
    enum class State { untried, ready, missing };
    struct EntryPoints {
        CreateShader create_shader;
        ShaderSource shader_source;
        TakeHandle compile_shader;
        GetParameter get_shader;
        CreateProgram create_program;
        Attach attach;
        TakeHandle link_program;
        GetParameter get_program;
        TakeHandle use_program;
        UniformLocation uniform_location;
        Uniform1i uniform_1i;
        Uniform3f uniform_3f;
        Uniform4f uniform_4f;
        UniformMatrix3 uniform_matrix_3;
        ActiveTexture active_texture;
        // Framebuffer objects: all found, or all null.
        GenNames gen_framebuffers, gen_renderbuffers;
        BindName bind_framebuffer, bind_renderbuffer;
        AttachTexture attach_texture;
        AttachRenderbuffer attach_renderbuffer;
        RenderbufferStorage renderbuffer_storage;
        FramebufferStatus framebuffer_status;
    };
    struct Program {
        GLuint name = 0;
        GLint left_matrix = -1, right_matrix = -1;
        GLint left_area = -1, right_area = -1;  // the captured parts, in texture coordinates; -1 where unused
        GLint weights[3] = {-1, -1, -1};        // of each output channel over its one eye's colour
    };
    // Where each output channel takes one eye's colour alone (grey and
    // half-colour do), a program of three dot products instead of two
    // matrices: bit c set, channel c from the right eye. -1: not so.
    static int single_eye_channels(const MixMatrices& m);

    bool prepare(GlProcLookup lookup);
    bool find_framebuffer_calls(GlProcLookup lookup);
    bool build_program(const char* fragment_source, Program* out) const;
    const Program* drawn_program(const MixMatrices& m);
    bool size_textures(int width, int height);
    bool attach_framebuffers(int width, int height);

    State state_ = State::untried;
    const char* why_ = "";
    EntryPoints gl_{};
    bool any_texture_size_ = false;  // non-power-of-two textures
    bool framebuffer_calls_ = false;
    // The copies' program tells each place's area; the framebuffers' has no
    // need to: their textures are cleared whole for every eye.
    Program copied_, drawn_;
    Program single_eye_[8];  // by single_eye_channels, made when first needed
    PixelRect areas_[2] = {};
    GLuint textures_[2] = {0, 0};                  // left place, right place
    GLuint framebuffers_[2] = {0, 0}, depth_ = 0;  // of each place's texture, and their depth
    bool direct_ = false;                          // the framebuffers are complete for this size
    GLint screen_ = 0;                             // the framebuffer the frame is drawn in
    GLint scissor_[4] = {0, 0, 0, 0};              // its scissor box, and whether it was on
    GLboolean scissor_on_ = GL_FALSE;
    int width_ = 0, height_ = 0;  // of the area the textures are for
    int texture_width_ = 0, texture_height_ = 0;
};

// A mixed anaglyph frame: each eye in full colour (unless hidden, J and K),
// its part of the area the bounding points reach copied into its place's
// texture, then both mixed by the rig's method and colour pair. The depth
// buffer is cleared between the eyes, as in the channels frame, and the
// centred projection is restored after.
void draw_mixed_anaglyph(AnaglyphMixer& mixer, const StereoRig& rig, const ViewSize& view, bool draw_left,
                         bool draw_right, void (*draw_object)(), const float (*bounds)[3], int count);
