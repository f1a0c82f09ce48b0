// The command line: what each argument list runs, prints and exits with.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/options.h"

namespace {

struct Case {
    std::vector<const char*> args;  // without the program name
    bool run;
    int exit_code;
    StartDisplay display;
    const char* says;  // in the output (stdout when exit 0, else stderr)
};

CommandLine parse(const std::vector<const char*>& args, Options* options) {
    std::vector<const char*> argv{"duplexa"};
    argv.insert(argv.end(), args.begin(), args.end());
    return parse_command_line(static_cast<int>(argv.size()), argv.data(), options);
}

}  // namespace

TEST(CommandLineTest, EachArgumentListRunsOrExitsAsAUserExpects) {
    using D = StartDisplay;
    const Case cases[] = {
        {{}, true, 0, D::ask, ""},
        {{"-w"}, true, 0, D::window, ""},
        {{"--window"}, true, 0, D::window, ""},
        {{"-f"}, true, 0, D::fullscreen, ""},
        {{"--fullscreen"}, true, 0, D::fullscreen, ""},
        {{"-w", "--window"}, true, 0, D::window, ""},
        {{"-h"}, false, 0, D::ask, "--fullscreen"},
        {{"--help"}, false, 0, D::ask, "-w, --window"},
        {{"--version"}, false, 0, D::ask, "duplexa 0.1\n"},
        {{"-w", "-f"}, false, 2, D::ask, "--window excludes --fullscreen"},
        {{"-fw"}, false, 2, D::ask, "excludes"},
        {{"--frobnicate"}, false, 2, D::ask, "--frobnicate"},
        {{"-x"}, false, 2, D::ask, "-x"},
        {{""}, false, 2, D::ask, "empty argument"},
        {{"-w", ""}, false, 2, D::ask, "empty argument (argument 2)"},
        {{"--\xc3\xa9t\xc3\xa9"}, false, 2, D::ask, "--\\xC3\\xA9t\\xC3\\xA9"},
        {{"--mode", "\x1b[2J"}, false, 2, D::ask, "\\x1B[2J"},
        {{"--help", "--bogus"}, false, 2, D::ask, "--bogus"},
        {{"--mode", "checkerboard"}, true, 0, D::ask, ""},
        {{"--mode", "hologram"}, false, 2, D::ask, "unknown mode: hologram"},
        {{"--mode"}, false, 2, D::ask, "--mode"},
        {{"--mode", "rows", "--mode", "rows"}, true, 0, D::ask, ""},
        {{"--mode", "rows", "--mode=columns", "--version"}, false, 2, D::ask, "given twice with different answers"},
        {{"--colours", "green-red", "-f"}, true, 0, D::fullscreen, ""},
        {{"--colours", "purple-gold"}, false, 2, D::ask, "unknown colour pair"},
        {{"--anaglyph", "half-color"}, false, 2, D::ask, "unknown anaglyph method: half-color"},
        {{"--anaglyph", "grey", "--anaglyph", "optimised"}, false, 2, D::ask, "given twice with different answers"},
        {{"-w", "knot.obj"}, true, 0, D::window, ""},
        {{"--mode", "rows", "knot.obj", "-f"}, true, 0, D::fullscreen, ""},
        {{"knot.obj", "terrain.stl"}, false, 2, D::ask, "terrain.stl"},
        {{"--size", "10x10"}, false, 2, D::ask, "--size goes with --render"},
        {{"--render", "a.png", "-f"}, false, 2, D::ask, "opens no window"},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const char* a : c.args) shown += std::string("[") + a + "]";
        Options options;
        CommandLine result = parse(c.args, &options);
        EXPECT_EQ(result.run, c.run) << shown;
        EXPECT_EQ(result.exit_code, c.exit_code) << shown;
        EXPECT_EQ(options.display, c.display) << shown;
        const std::string& text = c.exit_code == 0 ? result.out : result.err;
        EXPECT_NE(text.find(c.says), std::string::npos) << shown << " printed: " << text;
        if (c.exit_code == 2) {
            EXPECT_TRUE(result.out.empty()) << shown;
            EXPECT_NE(result.err.find("usage: duplexa"), std::string::npos) << shown;
        } else {
            EXPECT_TRUE(result.err.empty()) << shown;
        }
    }
}

TEST(CommandLineTest, StereoOptionsSetOnlyWhatIsGiven) {
    Options untouched;
    parse({"-w"}, &untouched);
    EXPECT_FALSE(untouched.mode_given);
    EXPECT_EQ(untouched.colour_pair, -1);
    EXPECT_FALSE(untouched.swap_eyes || untouched.parallax);

    Options given;
    ASSERT_TRUE(parse({"--mode=top-bottom", "--colours", "cyan-red", "--swap-eyes", "--parallax"}, &given).run);
    EXPECT_TRUE(given.mode_given);
    EXPECT_EQ(given.mode, OutputMode::top_bottom);
    EXPECT_EQ(given.colour_pair, 5);
    EXPECT_TRUE(given.swap_eyes && given.parallax);

    Options mixed;
    EXPECT_FALSE(mixed.anaglyph_given);
    ASSERT_TRUE(parse({"--colours", "amber-blue", "--anaglyph", "optimised"}, &mixed).run);
    EXPECT_TRUE(mixed.anaglyph_given);
    EXPECT_EQ(mixed.anaglyph, AnaglyphMethod::optimised);
    EXPECT_EQ(mixed.colour_pair, 7);

    Options model;
    ASSERT_TRUE(parse({"--shaded", "models/t\xc3\xa9rrain.stl", "--render", "t.png", "--size", "64x48"}, &model).run);
    EXPECT_EQ(model.model_path, "models/t\xc3\xa9rrain.stl") << "a file name is taken as it is";
    EXPECT_TRUE(model.shaded && model.renders());
    EXPECT_EQ(model.size, "64x48");
}

TEST(CommandLineTest, HelpListsEveryOptionOnALineOfItsOwn) {
    Options options;
    CommandLine result = parse({"--help"}, &options);
    for (const char* option : {"-h, --help", "--version", "-w, --window", "-f, --fullscreen", "--mode NAME",
                               "--colours PAIR", "--swap-eyes", "--parallax"})
        EXPECT_NE(result.out.find(std::string("\n  ") + option + " "), std::string::npos) << result.out;
}

TEST(CommandLineTest, InspectOptionsSetTheCameraUpAxisInfoAndFit) {
    Options options;
    EXPECT_TRUE(parse({"--turntable", "--up", "z", "--fit-parallax", "part.stl"}, &options).run);
    EXPECT_TRUE(options.turntable && options.fit_parallax && options.up_given);
    EXPECT_EQ(options.up, UpAxis::z);
    Options plain;
    EXPECT_TRUE(parse({"part.stl"}, &plain).run);
    EXPECT_FALSE(plain.up_given) << "the file's kind decides";
    Options info;
    EXPECT_TRUE(parse({"--info", "part.stl"}, &info).run);
    EXPECT_TRUE(info.info);
    struct Refused {
        std::vector<const char*> args;
        const char* says;
    } refused[] = {
        {{"--up", "x"}, "unknown up axis: x"},
        {{"--up", "y", "--up", "z"}, "--up given twice"},
        {{"--info"}, "--info goes with a MODEL"},
        {{"--info", "-w", "a.obj"}, "opens no window"},
    };
    for (const Refused& r : refused) {
        Options o;
        const CommandLine result = parse(r.args, &o);
        EXPECT_FALSE(result.run) << r.says;
        EXPECT_EQ(result.exit_code, 2) << r.says;
        EXPECT_NE(result.err.find(r.says), std::string::npos) << result.err;
    }
}
