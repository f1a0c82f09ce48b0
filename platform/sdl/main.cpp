// The Linux entry point. SDL_main plays no part: the shared shell does
// everything, as WinMain does on Windows.
#include <cstring>

#include "app/app.h"
#include "app/pictures.h"
#include "model/model_import.h"
#include "platform/sdl/sdl_platform.h"

int main(int argc, char** argv) {
    // A copy of the viewer started to read one model file, for the viewer.
    if (argc == 3 && std::strcmp(argv[1], import_worker_option) == 0) return run_import_worker(argv[2]);
    // The command line is read before anything is shown: a usage error or
    // --help never opens a display.
    Options options;
    int exit_code = 0;
    if (!read_command_line(argc, argv, &options, &exit_code)) return exit_code;
    if (options.renders() || options.info) return render_pictures(options);
    sdl_tune_process();
    return run_viewer(nullptr, options);
}
