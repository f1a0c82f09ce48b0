// Offscreen GL for the scripted backend through Mesa's OSMesa (llvmpipe).
#include <GL/osmesa.h>

#include <string>

#include "platform/script/script_gl.h"
#include "platform/script/script_platform.h"

// Every glDeleteLists of the linked program comes here (the link wraps it),
// so that the log shows whether the glyph lists go before their context.
extern "C" void __real_glDeleteLists(GLuint list, GLsizei range);
extern "C" void __wrap_glDeleteLists(GLuint list, GLsizei range) {
    script::log_call("glDeleteLists(" + std::to_string(range) + ")");
    __real_glDeleteLists(list, range);
}

namespace script {

void* gl_create_context(int stencil_bits) {
    // RGBA with a 16-bit depth buffer, no accumulation: the format the viewer
    // asks the real systems for, with a stencil buffer when its format has one.
    return OSMesaCreateContextExt(OSMESA_RGBA, 16, stencil_bits, 0, nullptr);
}

void gl_destroy_context(void* context) {
    if (context) OSMesaDestroyContext(static_cast<OSMesaContext>(context));
}

bool gl_make_current(void* context, unsigned char* buffer, int width, int height) {
    if (!context) return OSMesaMakeCurrent(nullptr, nullptr, 0, 0, 0) == GL_TRUE;
    if (!buffer || width <= 0 || height <= 0) return false;
    return OSMesaMakeCurrent(static_cast<OSMesaContext>(context), buffer, GL_UNSIGNED_BYTE, width, height) == GL_TRUE;
}

void* gl_proc_address(const char* name) { return reinterpret_cast<void*>(OSMesaGetProcAddress(name)); }

OffscreenContext::OffscreenContext(int width, int height)
    : context_(gl_create_context()), buffer_(static_cast<std::size_t>(width) * height * 4) {
    if (context_ && !gl_make_current(context_, buffer_.data(), width, height)) {
        gl_destroy_context(context_);
        context_ = nullptr;
    }
}

OffscreenContext::~OffscreenContext() {
    if (context_) {
        gl_make_current(nullptr, nullptr, 0, 0);
        gl_destroy_context(context_);
    }
}

Rgba read_pixel(int x, int y) {
    Rgba pixel{0, 0, 0, 0};
    glFinish();
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, &pixel);
    return pixel;
}

std::vector<unsigned char> read_frame(int width, int height) {
    std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 4);
    glFinish();
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

}  // namespace script
