// The Windows entry point: the command line is read as UTF-16 and handed to
// the shared code as UTF-8, like every other text.
#include "platform/platform.h"  // <windows.h> first, through platform/gl.h

#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/pictures.h"
#include "model/model_import.h"

namespace {

// A GUI program has no console of its own. Started from one (cmd, a script),
// --help and the usage errors should still be read there; where the output
// was redirected (a pipe, a file) it already has its handles.
void attach_parent_console() {
    bool out_missing = GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_UNKNOWN;
    bool err_missing = GetFileType(GetStdHandle(STD_ERROR_HANDLE)) == FILE_TYPE_UNKNOWN;
    if (!(out_missing || err_missing) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
    if (out_missing) std::freopen("CONOUT$", "w", stdout);
    if (err_missing) std::freopen("CONOUT$", "w", stderr);
}

std::string to_utf8(const wchar_t* text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return std::string();
    std::string out(static_cast<std::size_t>(size - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
    return out;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    int argc = 0;
    wchar_t** wide_argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> arguments;
    for (int i = 0; wide_argv && i < argc; ++i) arguments.push_back(to_utf8(wide_argv[i]));
    if (wide_argv) LocalFree(wide_argv);
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    // A copy of the viewer started to read one model file, for the viewer.
    if (argv.size() == 3 && std::strcmp(argv[1], import_worker_option) == 0) return run_import_worker(argv[2]);

    attach_parent_console();
    Options options;
    int exit_code = 0;
    if (!read_command_line(static_cast<int>(argv.size()), argv.data(), &options, &exit_code)) return exit_code;
    if (options.renders() || options.info) return render_pictures(options);
    return run_viewer(reinterpret_cast<InstanceHandle>(instance), options);
}
