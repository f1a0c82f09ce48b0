#include "app/options.h"

#include <cstdio>

// CLI11 reports parse errors by exception; they are caught here and never
// leave this file.
#include <CLI/CLI.hpp>

#ifndef DUPLEXA_VERSION
#define DUPLEXA_VERSION "0"
#endif

const char* const version_text = "duplexa " DUPLEXA_VERSION;

namespace {

const char* const usage_line = "usage: duplexa [-h] [--version] [-w | -f]\n";

// An argument as it can be shown in a message: bytes outside printable ASCII
// (a stray terminal escape, half a UTF-8 letter) as \xNN.
std::string printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

CommandLine usage_error(const std::string& problem) {
    CommandLine result;
    result.run = false;
    result.exit_code = 2;
    result.err = "duplexa: " + printable(problem) + "\n" + usage_line;
    return result;
}

// One line per option, in the table's order.
std::string help_text(const CLI::App& app) {
    std::string text = usage_line;
    text += "\nAn interactive stereoscopic (3-D) viewer.\n\nOptions:\n";
    for (const CLI::Option* option : app.get_options()) {
        std::string names = option->get_name(false, true);
        for (std::size_t comma = names.find(','); comma != std::string::npos; comma = names.find(',', comma + 2))
            names.replace(comma, 1, ", ");
        char line[160];
        std::snprintf(line, sizeof line, "  %-22s %s\n", names.c_str(), option->get_description().c_str());
        text += line;
    }
    return text;
}

}  // namespace

CommandLine parse_command_line(int argc, const char* const argv[], Options* options) {
    for (int i = 1; i < argc; ++i)
        if (argv[i][0] == '\0') return usage_error("empty argument (argument " + std::to_string(i) + ")");

    CLI::App app{"", "duplexa"};
    app.set_help_flag();  // help is one of the table's own flags, printed our way
    bool help = false, version = false, window = false, full = false;

    // The table: one entry per option.
    app.add_flag("-h,--help", help, "print this help and exit");
    app.add_flag("--version", version, "print the version and exit");
    CLI::Option* window_flag = app.add_flag("-w,--window", window, "start in a window, without asking");
    CLI::Option* full_flag = app.add_flag("-f,--fullscreen", full, "start full screen (800 x 600), without asking");
    window_flag->excludes(full_flag);

    try {
        // CLI11 wants the arguments in reverse order, without the program name.
        std::vector<std::string> args;
        for (int i = argc - 1; i >= 1; --i) args.emplace_back(argv[i]);
        app.parse(args);
    } catch (const CLI::ParseError& error) {
        return usage_error(error.what());
    }

    CommandLine result;
    if (help || version) {
        result.run = false;
        result.out = help ? help_text(app) : std::string(version_text) + "\n";
        return result;
    }
    if (window) options->display = StartDisplay::window;
    if (full) options->display = StartDisplay::fullscreen;
    return result;
}

bool read_command_line(int argc, const char* const argv[], Options* options, int* exit_code) {
    CommandLine result = parse_command_line(argc, argv, options);
    if (!result.out.empty()) {
        std::fputs(result.out.c_str(), stdout);
        std::fflush(stdout);
    }
    if (!result.err.empty()) {
        std::fputs(result.err.c_str(), stderr);
        std::fflush(stderr);
    }
    *exit_code = result.exit_code;
    return result.run;
}
