// The Linux entry point. SDL is not included here, so SDL_main plays no part:
// the shared shell does everything, as WinMain does on Windows.
#include "app/app.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

int main()
{
#ifdef __GLIBC__
    // Mesa's software rasteriser allocates and frees a large block for every
    // draw; with glibc's default trimming each glyph of the help page then
    // pays fresh page faults (about 15 instead of 240 frames per second).
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
    return run_viewer(nullptr);
}
