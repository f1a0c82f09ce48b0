// The GL half of the scripted backend for Windows builds, which have no
// offscreen GL: contexts cannot be made and reads give zeros, so only tests
// that need no GL run there.
#include "platform/script/script_gl.h"
#include "platform/script/script_platform.h"

namespace script {

void* gl_create_context(int) { return nullptr; }

void gl_destroy_context(void*) {}

bool gl_make_current(void* context, unsigned char*, int, int) {
    // Releasing "succeeds": there was nothing to release.
    return context == nullptr;
}

void* gl_proc_address(const char*) { return nullptr; }

OffscreenContext::OffscreenContext(int, int) : context_(nullptr) {}

OffscreenContext::~OffscreenContext() {}

Rgba read_pixel(int, int) { return Rgba{0, 0, 0, 0}; }

std::vector<unsigned char> read_frame(int width, int height) {
    if (width <= 0 || height <= 0) return {};
    return std::vector<unsigned char>(static_cast<std::size_t>(width) * height * 4, 0);
}

}  // namespace script
