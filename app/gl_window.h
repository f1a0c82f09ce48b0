// The window, its display mode, pixel format and OpenGL context, and the
// default GL state.
#pragma once

#include "platform/platform.h"

class GlyphFont;

extern bool fullscreen;
extern InstanceHandle instance_handle;
extern WindowHandle window_handle;
extern DeviceContext device_context;
extern RenderContext render_context;
extern int view_width;   // client size given to the last resize_view
extern int view_height;  // never 0
extern GlyphFont* glyph_font;

// Makes everything drawing needs. True when the window is shown with a
// current context, GL state and font; false after a reported failure, with
// whatever the attempt made released again.
bool open_gl_window(const char* title, int width, int height, int bits, bool fullscreen_wanted);

// Releases whatever is held; safe with some or all of it missing.
void close_gl_window();

// Viewport and the default 45-degree perspective for a client size.
void resize_view(int width, int height);

// The default GL state, font texture and glyph font; false if the font failed.
bool init_gl_state();
