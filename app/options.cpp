#include "app/options.h"

#include <algorithm>
#include <cstdio>
#include <vector>

// CLI11 reports parse errors by exception; they are caught here and never
// leave this file.
#include <CLI/CLI.hpp>

#ifndef DUPLEXA_VERSION
#define DUPLEXA_VERSION "0"
#endif

const char* const version_text = "duplexa " DUPLEXA_VERSION;

namespace {

const char* const usage_line =
    "usage: duplexa [-h] [--version] [-w | -f] [--mode NAME] [--swap-eyes] [--colours PAIR] [--parallax]\n"
    "               [--shaded | --wireframe] [--render FILE] [--render-pair FILE] [--size WxH] [--mono] [MODEL]\n"
    "               [--turntable] [--up y|z] [--info] [--fit-parallax] [--anaglyph METHOD] [--vsync]\n"
    "               [--full-detail]\n";

// "a, b, c" of every name a lookup table knows, for the help and the errors.
template <typename NameOf>
std::string names_of(int count, NameOf name_of) {
    std::string names;
    for (int i = 0; i < count; ++i) names += (i ? ", " : "") + std::string(name_of(i));
    return names;
}

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

// An option naming one of a known set (a mode, a colour pair): one value each
// time it is given, all kept, checked by `known` (empty: known; else why not).
void add_choice(CLI::App& app, const char* name, std::vector<std::string>* given, const char* type,
                const std::string& description, std::string (*known)(const std::string&)) {
    app.add_option(name, *given, description)
        ->type_name(type)
        ->type_size(1)
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->allow_extra_args(false)
        ->check(known);
}

// One line per option, in the table's order.
std::string help_text(const CLI::App& app) {
    std::string text = usage_line;
    text += "\nAn interactive stereoscopic (3-D) viewer.\n\nOptions:\n";
    for (const CLI::Option* option : app.get_options()) {
        std::string names = option->nonpositional() ? option->get_name(false, true) : std::string();
        for (std::size_t comma = names.find(','); comma != std::string::npos; comma = names.find(',', comma + 2))
            names.replace(comma, 1, ", ");
        if (option->get_type_size() > 0) names += (names.empty() ? "" : " ") + option->get_type_name();
        names.resize(std::max<std::size_t>(names.size(), 22), ' ');
        text += "  " + names + " " + option->get_description() + "\n";
    }
    return text;
}

}  // namespace

CommandLine parse_command_line(int argc, const char* const argv[], Options* options) {
    for (int i = 1; i < argc; ++i)
        if (argv[i][0] == '\0') return usage_error("empty argument (argument " + std::to_string(i) + ")");

    CLI::App app{"", "duplexa"};
    app.set_help_flag();  // help is one of the table's own flags, printed our way
    // "/x" is a path (Wine's, a user's), not a Windows-style option.
    app.allow_windows_style_options(false);
    bool help = false, version = false, window = false, full = false;

    // The table: one entry per option.
    app.add_flag("-h,--help", help, "print this help and exit");
    app.add_flag("--version", version, "print the version and exit");
    CLI::Option* window_flag = app.add_flag("-w,--window", window, "start in a window, without asking");
    CLI::Option* full_flag = app.add_flag("-f,--fullscreen", full, "start full screen (800 x 600), without asking");
    window_flag->excludes(full_flag);
    // Kept as lists: an option given twice must say the same both times.
    std::vector<std::string> mode_names, colours_names, method_names;
    const std::string modes = names_of(output_mode_count, [](int i) { return output_mode_name(OutputMode(i)); });
    const std::string pairs = names_of(colour_pair_count, colour_pair_name);
    add_choice(app, "--mode", &mode_names, "NAME", "output mode: " + modes + " (default anaglyph)",
               [](const std::string& name) {
                   OutputMode mode;
                   return output_mode_from_name(name.c_str(), &mode) ? std::string() : "unknown mode: " + name;
               });
    add_choice(app, "--colours", &colours_names, "PAIR",
               "anaglyph colours, left eye first: " + pairs + " (default red-cyan)", [](const std::string& name) {
                   int row;
                   return colour_pair_from_name(name.c_str(), &row) ? std::string() : "unknown colour pair: " + name;
               });
    const std::string methods =
        names_of(anaglyph_method_count, [](int i) { return anaglyph_method_name(AnaglyphMethod(i)); });
    add_choice(app, "--anaglyph", &method_names, "METHOD", "anaglyph method: " + methods + " (default channels)",
               [](const std::string& name) {
                   AnaglyphMethod method;
                   return anaglyph_method_from_name(name.c_str(), &method) ? std::string()
                                                                           : "unknown anaglyph method: " + name;
               });
    app.add_flag("--swap-eyes", options->swap_eyes, "each eye's image where the other's would go");
    app.add_flag("--parallax", options->parallax, "show the parallax comfort readout");
    CLI::Option* shaded_flag = app.add_flag("--shaded", options->shaded, "draw the model shaded (as L)");
    app.add_flag("--wireframe", options->wireframe, "draw a model with colours or textures as wireframe at first")
        ->excludes(shaded_flag);
    app.add_option("model", options->model_path, "a model file to show: OBJ, STL, PLY, glTF, ...")->type_name("MODEL");
    app.add_option("--render", options->render_path,
                   "draw the start picture into FILE (PNG) without a window, and exit")
        ->type_name("FILE");
    app.add_option("--render-pair", options->render_pair_path,
                   "draw the stereo pair, left eye's image on the left, into FILE (PNG), and exit")
        ->type_name("FILE");
    CLI::Option* size_option =
        app.add_option("--size", options->size, "with --render: the drawing area, WxH (default 800x600)")
            ->type_name("WxH");
    CLI::Option* mono_flag = app.add_flag("--mono", options->mono, "with --render: one image, no stereo (as S)");
    app.add_flag("--turntable", options->turntable, "turn the model with the mouse instead of flying (as T)");
    std::vector<std::string> up_names;
    add_choice(app, "--up", &up_names, "y|z", "the file's axis shown up (default y; z for STL, 3MF and AMF files)",
               [](const std::string& name) {
                   UpAxis up;
                   return up_axis_from_name(name.c_str(), &up) ? std::string() : "unknown up axis: " + name;
               });
    app.add_flag("--info", options->info,
                 "print the model's name, faces, vertices, meshes and size; alone: without a window");
    app.add_flag("--fit-parallax", options->fit_parallax, "fit the eye separation to the comfort limit (as G)");
    app.add_flag("--vsync", options->vsync, "wait for the display at each frame (a swap interval of 1)");
    app.add_flag("--full-detail", options->full_detail, "a big model: draw it whole while moving too (as F)");

    try {
        // CLI11 wants the arguments in reverse order, without the program name.
        std::vector<std::string> args;
        for (int i = argc - 1; i >= 1; --i) args.emplace_back(argv[i]);
        app.parse(args);
    } catch (const CLI::ParseError& error) {
        return usage_error(error.what());
    }

    const std::pair<const char*, const std::vector<std::string>*> lists[] = {
        {"--mode", &mode_names}, {"--colours", &colours_names}, {"--up", &up_names}, {"--anaglyph", &method_names}};
    for (const auto& [name, given] : lists)
        for (const std::string& value : *given)
            if (value != given->front())
                return usage_error(std::string(name) + " given twice with different answers: " + given->front() + ", " +
                                   value);
    if ((size_option->count() || mono_flag->count()) && !options->renders())
        return usage_error(std::string(size_option->count() ? "--size" : "--mono") +
                           " goes with --render or --render-pair");
    if (options->renders() && (window || full)) return usage_error("a render opens no window: drop -w / -f");
    if (options->info && options->model_path.empty()) return usage_error("--info goes with a MODEL");
    if (options->info && !options->renders() && (window || full))
        return usage_error("--info alone opens no window: drop -w / -f");

    CommandLine result;
    if (help || version) {
        result.run = false;
        result.out = help ? help_text(app) : std::string(version_text) + "\n";
        return result;
    }
    if (window) options->display = StartDisplay::window;
    if (full) options->display = StartDisplay::fullscreen;
    if (!mode_names.empty()) options->mode_given = output_mode_from_name(mode_names[0].c_str(), &options->mode);
    if (!colours_names.empty()) colour_pair_from_name(colours_names[0].c_str(), &options->colour_pair);
    if (!up_names.empty()) options->up_given = up_axis_from_name(up_names[0].c_str(), &options->up);
    if (!method_names.empty())
        options->anaglyph_given = anaglyph_method_from_name(method_names[0].c_str(), &options->anaglyph);
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
