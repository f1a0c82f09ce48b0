// The Linux entry point. SDL_main plays no part: the shared shell does
// everything, as WinMain does on Windows.
#include "app/app.h"
#include "platform/sdl/sdl_platform.h"

int main()
{
    sdl_tune_process();
    return run_viewer(nullptr);
}
