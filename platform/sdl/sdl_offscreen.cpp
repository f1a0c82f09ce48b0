// Offscreen drawing, GL entry points and file moves on Linux: EGL on Mesa's
// surfaceless platform (no display, no window system), and POSIX renames.
//
// The GL entry points the shared code calls come from libGL through
// libglvnd, which dispatches to whichever context is current, an EGL one
// included.
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <SDL.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/platform.h"
#include "platform/sdl/sdl_platform.h"

struct duplexa_offscreen_ {
    EGLDisplay display;
    EGLSurface surface;
    EGLContext context;
};

namespace {

void say(char* reason, std::size_t size, const char* what) {
    if (reason && size > 0)
        std::snprintf(reason, size, "%s (EGL error 0x%04X)", what, static_cast<unsigned>(eglGetError()));
}

void* egl_proc_address(const char* name) { return reinterpret_cast<void*>(eglGetProcAddress(name)); }

}  // namespace

OffscreenSurface platform_create_offscreen(int width, int height, char* reason, std::size_t reason_size) {
    auto get_platform_display =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!get_platform_display) {
        say(reason, reason_size, "EGL has no platform displays");
        return nullptr;
    }
    EGLDisplay display = get_platform_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint major = 0, minor = 0;
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) {
        say(reason, reason_size, "no surfaceless EGL display");
        return nullptr;
    }
    const EGLint config_attributes[] = {EGL_SURFACE_TYPE,
                                        EGL_PBUFFER_BIT,
                                        EGL_RENDERABLE_TYPE,
                                        EGL_OPENGL_BIT,
                                        EGL_RED_SIZE,
                                        8,
                                        EGL_GREEN_SIZE,
                                        8,
                                        EGL_BLUE_SIZE,
                                        8,
                                        EGL_DEPTH_SIZE,
                                        16,
                                        EGL_STENCIL_SIZE,
                                        8,
                                        EGL_NONE};
    EGLConfig config;
    EGLint count = 0;
    const EGLint size_attributes[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    EGLSurface surface = EGL_NO_SURFACE;
    EGLContext context = EGL_NO_CONTEXT;
    if (!eglBindAPI(EGL_OPENGL_API) || !eglChooseConfig(display, config_attributes, &config, 1, &count) || count < 1) {
        say(reason, reason_size, "no EGL configuration for desktop OpenGL with depth and stencil");
    } else if ((surface = eglCreatePbufferSurface(display, config, size_attributes)) == EGL_NO_SURFACE) {
        say(reason, reason_size, "cannot make an offscreen buffer of that size");
    } else if ((context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr)) == EGL_NO_CONTEXT) {
        say(reason, reason_size, "cannot create an OpenGL context");
    } else if (!eglMakeCurrent(display, surface, surface, context)) {
        say(reason, reason_size, "cannot make the OpenGL context current");
    } else {
        OffscreenSurface made = new (std::nothrow) duplexa_offscreen_{display, surface, context};
        if (made) {
            sdl_offscreen_proc_lookup = egl_proc_address;
            return made;
        }
        say(reason, reason_size, "out of memory");
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    }
    if (context != EGL_NO_CONTEXT) eglDestroyContext(display, context);
    if (surface != EGL_NO_SURFACE) eglDestroySurface(display, surface);
    eglTerminate(display);
    return nullptr;
}

void platform_destroy_offscreen(OffscreenSurface surface) {
    if (!surface) return;
    sdl_offscreen_proc_lookup = nullptr;
    eglMakeCurrent(surface->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(surface->display, surface->context);
    eglDestroySurface(surface->display, surface->surface);
    eglTerminate(surface->display);
    delete surface;
}

bool platform_move_file(const char* from, const char* to, bool replace) {
    if (!from || !to) return false;
    if (replace) return std::rename(from, to) == 0;
    // A hard link fails when the name is taken, where rename would overwrite.
    if (link(from, to) != 0) return false;
    unlink(from);
    return true;
}
