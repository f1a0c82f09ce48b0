// The Linux entry point. SDL is not included here, so SDL_main plays no part:
// the shared shell does everything, as WinMain does on Windows.
#include "app/app.h"

int main()
{
    return run_viewer(nullptr);
}
