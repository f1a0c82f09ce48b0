// The window, its display mode, pixel format and OpenGL context, and the
// default GL state.
#pragma once

#include "app/input.h"
#include "platform/platform.h"

class GlyphFont;

extern bool fullscreen;
extern InstanceHandle instance_handle;
extern WindowHandle window_handle;
extern DeviceContext device_context;
extern RenderContext render_context;
extern GlyphFont* glyph_font;
// Whether the overlay has set its blend function in the current context;
// false from each context's creation until its first overlay.
extern bool overlay_blend_in_force;
// --vsync: each opening asks for a swap interval of 1.
extern bool vsync_wanted;

// Buffers a pixel format may give beyond colour and depth: a stencil buffer
// (the interleaved output modes) and left and right back buffers (page-flip).
struct BufferNeeds {
    bool stencil;
    bool stereo;
};
// Whether a format that gives `got` has every buffer `needs` asks for.
inline bool covers(BufferNeeds got, BufferNeeds needs) {
    return (!needs.stencil || got.stencil) && (!needs.stereo || got.stereo);
}
// What the next openings ask of the pixel format; nothing extra by default.
extern BufferNeeds format_wanted;
// What the open window's format gives; read back (DescribePixelFormat) only
// when the opening asked for something extra, nothing otherwise.
extern BufferNeeds format_obtained;

// Whether the system has a format with these buffers, asked on the open
// window's device context (ChoosePixelFormat, DescribePixelFormat) without
// making a window.
bool format_offered(BufferNeeds needs);

// Makes everything drawing needs. True when the window is shown with a
// current context, GL state and font; false after a reported failure, with
// whatever the attempt made released again.
bool open_gl_window(const char* title, int width, int height, int bits, bool fullscreen_wanted);

// Releases whatever is held; safe with some or all of it missing.
void close_gl_window();

// Said on standard error when a question could not be shown: no answer is
// taken as consent to change the display.
void report_unanswered_question();

// Viewport and the default 45-degree perspective for a client size.
void resize_view(int width, int height);

// The scene's blend function: the overlay's once it has run in this
// context, the GL's initial one (one, zero) before.
void set_scene_blend_function();

// The default GL state, font texture and glyph font; false if the font failed.
bool init_gl_state();
// The GL state every drawing starts from (texturing, smooth shading, clear
// values, the depth test): init_gl_state's part that needs no font.
void set_default_gl_state();
