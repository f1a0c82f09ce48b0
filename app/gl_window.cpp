#include "app/gl_window.h"

#include <cstdio>
#include <new>

#include "app/anaglyph.h"
#include "app/statics.h"
#include "model/model.h"
#include "platform/gl.h"
#include "stereo/interleave_mask.h"
#include "text/glyph_font.h"

bool fullscreen = true;
InstanceHandle instance_handle = nullptr;
WindowHandle window_handle = nullptr;
DeviceContext device_context = nullptr;
RenderContext render_context = nullptr;
bool overlay_blend_in_force = false;
bool vsync_wanted = false;
int view_width = 0;
int view_height = 1;
GlyphFont* glyph_font = nullptr;
BufferNeeds format_wanted = {false, false};
BufferNeeds format_obtained = {false, false};

namespace {

const char* const class_name = "OpenGL";
const char* const error_caption = "ERROR";
const char* const display_caption = "Chyba pri inicializacii grafickeho rezimu";

// One descriptor for the whole run; the first opening that gets as far as the
// device context fills in the colour depth, and later openings reuse it.
// clang-format off
PixelFormatDescriptor pixel_format = {
    sizeof(PixelFormatDescriptor), 1, PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER,
    PFD_TYPE_RGBA, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, PFD_MAIN_PLANE, 0, 0, 0, 0};
// clang-format on
bool pixel_format_filled = false;

const std::uint32_t basic_format_flags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
const std::uint8_t stencil_bits = 8;

// The descriptor with exactly these extra buffers asked for.
void ask_for(PixelFormatDescriptor* descriptor, BufferNeeds needs) {
    descriptor->dwFlags = basic_format_flags | (needs.stereo ? PFD_STEREO : 0u);
    descriptor->cStencilBits = needs.stencil ? stencil_bits : 0;
}

// What a chosen format really gives (DescribePixelFormat).
BufferNeeds described(DeviceContext dc, int format) {
    PixelFormatDescriptor got{};
    if (format == 0 || platform_describe_pixel_format(dc, format, &got) == 0) return BufferNeeds{false, false};
    return BufferNeeds{got.cStencilBits > 0, (got.dwFlags & PFD_STEREO) != 0};
}

void error_box(const char* text) { show_message_box(nullptr, text, error_caption, MB_OK | MB_ICONEXCLAMATION); }
void release_box(const char* text) { show_message_box(nullptr, text, error_caption, MB_OK | MB_ICONINFORMATION); }

// The close-then-tell of every failure after the window exists.
bool fail_opening(const char* text) {
    close_gl_window();
    error_box(text);
    return false;
}

const char* display_change_text(long result) {
    switch (result) {
    case DISP_CHANGE_RESTART: return "The computer must be restarted in order for the graphics mode to work.";
    case DISP_CHANGE_FAILED: return "The display driver failed the specified graphics mode.";
    case DISP_CHANGE_BADMODE: return "The graphics mode is not supported.";
    case DISP_CHANGE_BADFLAGS: return "An invalid set of flags was passed in.";
    default: return nullptr;
    }
}

}  // namespace

bool open_gl_window(const char* title, int width, int height, int bits, bool fullscreen_wanted) {
    PlatformRect rect{0, 0, width, height};
    fullscreen = fullscreen_wanted;

    if (!platform_register_window_class(instance_handle, class_name)) {
        error_box("Chyba pri registracii triedy okna.");
        return false;
    }

    unsigned style = WS_OVERLAPPEDWINDOW;
    unsigned ex_style = WS_EX_APPWINDOW | WS_EX_WINDOWEDGE;
    if (fullscreen) {
        long result = platform_change_display_mode(width, height, bits);
        if (result == DISP_CHANGE_SUCCESSFUL) {
            platform_show_cursor(false);
            style = WS_POPUP;
            ex_style = WS_EX_APPWINDOW;
        } else {
            if (const char* text = display_change_text(result))
                show_message_box(nullptr, text, display_caption, MB_OK | MB_ICONERROR);
            int answer =
                show_message_box(nullptr, "Chyba pri inicializacii grafickeho rezimu. Chcete pokracovat v okne?",
                                 "Chyba", MB_YESNO | MB_ICONEXCLAMATION);
            // A question nobody could see is not a No: the window is the safe way on.
            if (answer == 0) report_unanswered_question();
            if (answer != IDYES && answer != 0) {
                show_message_box(nullptr, "Program se uzavrie.", error_caption, MB_OK | MB_ICONERROR);
                return false;
            }
            fullscreen = false;
        }
    }

    platform_adjust_window_rect(&rect, style, ex_style);
    window_handle = platform_create_window(ex_style, class_name, title, style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0,
                                           static_cast<int>(rect.right - rect.left),
                                           static_cast<int>(rect.bottom - rect.top), instance_handle);
    if (!window_handle) return fail_opening("Chyba pri tvorbe okna.");

    if (!pixel_format_filled) {
        pixel_format.cColorBits = static_cast<std::uint8_t>(bits);
        pixel_format.cDepthBits = 16;
        pixel_format_filled = true;
    }

    const bool extras = format_wanted.stencil || format_wanted.stereo;
    ask_for(&pixel_format, format_wanted);

    device_context = platform_get_dc(window_handle);
    if (!device_context) return fail_opening("Nejde vytvorit GL Device Context.");
    int format = platform_choose_pixel_format(device_context, &pixel_format);
    if (format == 0 && extras) {
        // A system without the extra buffers still gets its window; the
        // output mode then falls back and says why.
        ask_for(&pixel_format, BufferNeeds{false, false});
        format = platform_choose_pixel_format(device_context, &pixel_format);
    }
    if (format == 0) return fail_opening("Nejde nájst PixelFormat.");
    format_obtained = extras ? described(device_context, format) : BufferNeeds{false, false};
    if (!platform_set_pixel_format(device_context, format, &pixel_format))
        return fail_opening("Nejde nastavit PixelFormat.");
    render_context = platform_create_context(device_context);
    overlay_blend_in_force = false;
    if (!render_context) return fail_opening("Nejde vytvorit GL Rendering Context.");
    if (!platform_make_current(device_context, render_context))
        return fail_opening("Nejde aktivovat GL Rendering Context.");
    // Where the system cannot, the loop goes on unsynchronised.
    if (vsync_wanted) platform_set_swap_interval(1);

    platform_show_window(window_handle);
    platform_set_foreground_window(window_handle);
    platform_set_focus(window_handle);

    if (fullscreen) {
        resize_view(width, height);
    } else {
        PlatformRect client{0, 0, width, height};
        platform_get_client_rect(window_handle, &client);
        resize_view(static_cast<int>(client.right), static_cast<int>(client.bottom));
    }

    if (!init_gl_state()) return fail_opening("Chyba pri inicializácii.");
    return true;
}

void close_gl_window() {
    if (glyph_font) {
        delete glyph_font;
        glyph_font = nullptr;
    }

    // The model's buffers go with the context they were made in.
    if (render_context) release_model_buffers(model_scene);

    platform_show_cursor(true);

    if (fullscreen) platform_restore_display_mode();

    if (render_context) {
        if (!platform_make_current(nullptr, nullptr)) release_box("DC a RC chyba.");
        if (!platform_delete_context(render_context)) release_box("Chyba: Delete Rendering Context.");
        render_context = nullptr;
    }

    if (device_context) {
        if (!platform_release_dc(window_handle, device_context)) release_box("Chyba: Uvolnenia Device Context.");
        device_context = nullptr;
    }

    if (window_handle) {
        if (!platform_destroy_window(window_handle)) release_box("Chyba: hWnd.");
        window_handle = nullptr;
    }

    if (!platform_unregister_window_class(class_name, instance_handle)) {
        release_box("Nejde odregistrovat okno.");
        instance_handle = nullptr;
    }
}

bool format_offered(BufferNeeds needs) {
    if (!device_context) return false;
    PixelFormatDescriptor probe = pixel_format;
    ask_for(&probe, needs);
    return covers(described(device_context, platform_choose_pixel_format(device_context, &probe)), needs);
}

void report_unanswered_question() {
    std::fputs("duplexa: no answer: opening a window\n", stderr);
    std::fflush(stderr);
}

void resize_view(int width, int height) {
    if (height == 0) height = 1;
    view_width = width;
    view_height = height;
    invalidate_interleave_mask();

    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<double>(width) / static_cast<double>(height), 0.1f, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

bool init_gl_state() {
    if (!load_font_texture()) return false;

    set_default_gl_state();
    forget_anaglyph_mixer();

    // An allocation failure leaves the viewer without its overlay, not without a picture.
    glyph_font = new (std::nothrow) GlyphFont(font_texture);
    // A model shown before lost its textures with the old context.
    upload_model_textures_anew(model_scene);

    platform_show_cursor(false);
    return true;
}

void set_scene_blend_function() {
    if (overlay_blend_in_force)
        glBlendFunc(overlay_blend_source, overlay_blend_destination);
    else
        glBlendFunc(GL_ONE, GL_ZERO);
}

void set_default_gl_state() {
    glEnable(GL_TEXTURE_2D);
    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
}
