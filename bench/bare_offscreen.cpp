// The baseline of --render: a process that makes the same offscreen context,
// clears one frame, reads it back, and exits.
#include <cstdio>
#include <vector>

#include "platform/gl.h"
#include "platform/platform.h"

// The platform layer wants a window procedure; this program has no windows.
LResult handle_window_message(WindowHandle, unsigned, WParam, LParam) { return 0; }

// Where the offscreen context leaves its GL procedure lookup; the SDL
// platform that reads it is not linked here.
void* (*sdl_offscreen_proc_lookup)(const char* name) = nullptr;

int main() {
    char reason[256];
    OffscreenSurface surface = platform_create_offscreen(800, 600, reason, sizeof reason);
    if (!surface) {
        std::fprintf(stderr, "bare_offscreen: %s\n", reason);
        return 1;
    }
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    std::vector<unsigned char> rgb(800 * 600 * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 800, 600, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    platform_destroy_offscreen(surface);
    return rgb[0];
}
