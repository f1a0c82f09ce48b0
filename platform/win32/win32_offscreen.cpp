// Offscreen drawing and file moves on Windows: a hidden window's WGL context
// drawing into a framebuffer object (a hidden window's own pixels are not
// guaranteed to be kept, and cannot be larger than the screen), and
// MoveFileExW.
#include "platform/platform.h"  // <windows.h> first, through platform/gl.h

#include <cstdio>
#include <new>

#include "platform/win32/win32_text.h"

// The framebuffer object extension's names; mingw's GL header stops at 1.1.
#ifndef GL_FRAMEBUFFER_EXT
#define GL_FRAMEBUFFER_EXT 0x8D40
#define GL_RENDERBUFFER_EXT 0x8D41
#define GL_COLOR_ATTACHMENT0_EXT 0x8CE0
#define GL_DEPTH_ATTACHMENT_EXT 0x8D00
#define GL_STENCIL_ATTACHMENT_EXT 0x8D20
#define GL_FRAMEBUFFER_COMPLETE_EXT 0x8CD5
#endif
#ifndef GL_DEPTH24_STENCIL8_EXT
#define GL_DEPTH24_STENCIL8_EXT 0x88F0
#endif

namespace {

typedef void(APIENTRY* GenFunction)(GLsizei, GLuint*);
typedef void(APIENTRY* DeleteFunction)(GLsizei, const GLuint*);
typedef void(APIENTRY* BindFunction)(GLenum, GLuint);
typedef void(APIENTRY* StorageFunction)(GLenum, GLenum, GLsizei, GLsizei);
typedef void(APIENTRY* AttachFunction)(GLenum, GLenum, GLenum, GLuint);
typedef GLenum(APIENTRY* StatusFunction)(GLenum);

const wchar_t class_name[] = L"DuplexaOffscreen";

// Extension entry points come as PROC; going through void* says the cast is meant.
template <typename Function>
Function gl_function(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(wglGetProcAddress(name)));
}

void say(char* reason, std::size_t size, const char* what) {
    if (reason && size > 0) std::snprintf(reason, size, "%s", what);
}

}  // namespace

struct duplexa_offscreen_ {
    HWND window;
    HDC dc;
    HGLRC context;
    GLuint framebuffer;
    GLuint renderbuffers[2];
};

namespace {

void release(duplexa_offscreen_* s) {
    if (s->context) {
        if (s->framebuffer) {
            auto delete_framebuffers = gl_function<DeleteFunction>("glDeleteFramebuffersEXT");
            auto delete_renderbuffers = gl_function<DeleteFunction>("glDeleteRenderbuffersEXT");
            if (delete_framebuffers) delete_framebuffers(1, &s->framebuffer);
            if (delete_renderbuffers) delete_renderbuffers(2, s->renderbuffers);
        }
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(s->context);
    }
    if (s->dc) ReleaseDC(s->window, s->dc);
    if (s->window) DestroyWindow(s->window);
    UnregisterClassW(class_name, GetModuleHandleW(nullptr));
}

}  // namespace

OffscreenSurface platform_create_offscreen(int width, int height, char* reason, std::size_t reason_size) {
    duplexa_offscreen_* s = new (std::nothrow) duplexa_offscreen_{};
    if (!s) {
        say(reason, reason_size, "out of memory");
        return nullptr;
    }
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof(window_class);
    window_class.style = CS_OWNDC;
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = instance;
    window_class.lpszClassName = class_name;
    PIXELFORMATDESCRIPTOR pfd = {};
    pfd.nSize = sizeof(pfd);
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 24;
    pfd.cDepthBits = 16;
    pfd.cStencilBits = 8;
    int format = 0;
    if (!RegisterClassExW(&window_class)) {
        say(reason, reason_size, "cannot register a window class");
    } else if (!(s->window =
                     CreateWindowExW(0, class_name, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, instance, nullptr))) {
        say(reason, reason_size, "cannot create a hidden window");
    } else if (!(s->dc = GetDC(s->window)) || !(format = ChoosePixelFormat(s->dc, &pfd)) ||
               !SetPixelFormat(s->dc, format, &pfd)) {
        say(reason, reason_size, "no OpenGL pixel format");
    } else if (!(s->context = wglCreateContext(s->dc)) || !wglMakeCurrent(s->dc, s->context)) {
        say(reason, reason_size, "cannot create an OpenGL context");
    } else {
        auto gen_framebuffers = gl_function<GenFunction>("glGenFramebuffersEXT");
        auto bind_framebuffer = gl_function<BindFunction>("glBindFramebufferEXT");
        auto gen_renderbuffers = gl_function<GenFunction>("glGenRenderbuffersEXT");
        auto bind_renderbuffer = gl_function<BindFunction>("glBindRenderbufferEXT");
        auto storage = gl_function<StorageFunction>("glRenderbufferStorageEXT");
        auto attach = gl_function<AttachFunction>("glFramebufferRenderbufferEXT");
        auto status = gl_function<StatusFunction>("glCheckFramebufferStatusEXT");
        if (!gen_framebuffers || !bind_framebuffer || !gen_renderbuffers || !bind_renderbuffer || !storage || !attach ||
            !status) {
            say(reason, reason_size, "the OpenGL driver has no framebuffer objects");
        } else {
            gen_renderbuffers(2, s->renderbuffers);
            bind_renderbuffer(GL_RENDERBUFFER_EXT, s->renderbuffers[0]);
            storage(GL_RENDERBUFFER_EXT, GL_RGB8, width, height);
            bind_renderbuffer(GL_RENDERBUFFER_EXT, s->renderbuffers[1]);
            storage(GL_RENDERBUFFER_EXT, GL_DEPTH24_STENCIL8_EXT, width, height);
            gen_framebuffers(1, &s->framebuffer);
            bind_framebuffer(GL_FRAMEBUFFER_EXT, s->framebuffer);
            attach(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_RENDERBUFFER_EXT, s->renderbuffers[0]);
            attach(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT, s->renderbuffers[1]);
            attach(GL_FRAMEBUFFER_EXT, GL_STENCIL_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT, s->renderbuffers[1]);
            if (glGetError() == GL_NO_ERROR && status(GL_FRAMEBUFFER_EXT) == GL_FRAMEBUFFER_COMPLETE_EXT) {
                // Draws and reads go to the framebuffer object from now on.
                glDrawBuffer(GL_COLOR_ATTACHMENT0_EXT);
                glReadBuffer(GL_COLOR_ATTACHMENT0_EXT);
                return s;
            }
            say(reason, reason_size, "cannot make an offscreen buffer of that size");
        }
    }
    release(s);
    delete s;
    return nullptr;
}

void platform_destroy_offscreen(OffscreenSurface surface) {
    if (!surface) return;
    release(surface);
    delete surface;
}

namespace {

// A path that does not fit whole is refused: a cut one names another file.
bool path_to_wide(const char* path, wchar_t* out) {
    int needed = path ? MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0) : 0;
    return needed > 1 && needed <= MAX_PATH && utf8_to_wide(path, out, MAX_PATH) == needed - 1;
}

}  // namespace

bool platform_move_file(const char* from, const char* to, bool replace) {
    wchar_t wide_from[MAX_PATH];
    wchar_t wide_to[MAX_PATH];
    if (!path_to_wide(from, wide_from) || !path_to_wide(to, wide_to)) return false;
    return MoveFileExW(wide_from, wide_to, replace ? MOVEFILE_REPLACE_EXISTING : 0) != 0;
}
