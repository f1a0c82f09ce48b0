// The Linux entry point. SDL_main plays no part: the shared shell does
// everything, as WinMain does on Windows.
#include "app/app.h"
#include "app/pictures.h"
#include "platform/sdl/sdl_platform.h"

int main(int argc, char** argv) {
    // The command line is read before anything is shown: a usage error or
    // --help never opens a display.
    Options options;
    int exit_code = 0;
    if (!read_command_line(argc, argv, &options, &exit_code)) return exit_code;
    if (options.renders()) return render_pictures(options);
    sdl_tune_process();
    return run_viewer(nullptr, options);
}
