// F12 on the scripted system: the files it writes, and what it says when it cannot.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/viewer_fixture.h"
#include "text/notice.h"

namespace {

std::vector<std::string> files_in(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* entry = readdir(d))
            if (entry->d_name[0] != '.') names.push_back(entry->d_name);
        closedir(d);
    }
    return names;
}

// Runs the viewer from a scratch folder holding a link to the font.
class SavePictures : public ViewerTest {
protected:
    void SetUp() override {
        ViewerTest::SetUp();
        char pattern[] = "/tmp/duplexa-save-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        ASSERT_EQ(symlink(DUPLEXA_SOURCE_DIR "/data", (dir + "/data").c_str()), 0);
        ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
        ASSERT_EQ(chdir(dir.c_str()), 0);
        clear_notice();
    }
    void TearDown() override {
        ViewerTest::TearDown();
        EXPECT_EQ(chdir(previous), 0);
        for (const std::string& name : files_in(dir)) std::remove((dir + "/" + name).c_str());
        rmdir(dir.c_str());
    }

    // Presses F12 before frame `at`, ends after frame `at` + 1; returns the
    // notice shown after the save.
    std::string save_at(std::vector<int> frames) {
        std::string notice;
        std::vector<Step> steps;
        for (int frame : frames) steps.push_back({frame, [] { script::key_press(VK_F12); }});
        const int last = frames.back() + 1;
        steps.push_back({last, [&] {
                             notice = current_notice() ? current_notice() : "";
                             script::key_press(VK_ESCAPE);
                         }});
        EXPECT_EQ(run({IDNO}, steps), 0);
        return notice;
    }

    std::string dir;
    char previous[4096];
};

}  // namespace

TEST_F(SavePictures, TwoSavesInOneSecondWriteFourFilesAndOverwriteNone) {
    const std::string notice = save_at({2, 3});
    std::vector<std::string> saved;
    for (const std::string& name : files_in(dir))
        if (name != "data") saved.push_back(name);
    EXPECT_EQ(saved.size(), 4u) << "two pictures and two pairs";
    for (const std::string& name : saved) {
        EXPECT_EQ(name.compare(0, 8, "duplexa-"), 0) << name;
        EXPECT_EQ(name.substr(name.size() - 4), ".png") << name;
    }
    EXPECT_EQ(notice.compare(0, 14, "saved duplexa-"), 0) << notice;
}

TEST_F(SavePictures, AFailedWriteIsToldAndLeavesNothingAndTheViewerGoesOn) {
    script::fail_next("MoveFileEx");
    testing::internal::CaptureStderr();
    int frames_after = 0;
    std::string notice;
    EXPECT_EQ(run({IDNO}, {{2, [] { script::key_press(VK_F12); }},
                           {3, [&] { notice = current_notice() ? current_notice() : ""; }},
                           {6,
                            [&] {
                                frames_after = script::swap_count();
                                script::key_press(VK_ESCAPE);
                            }}}),
              0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(notice.compare(0, 10, "not saved:"), 0) << notice;
    EXPECT_NE(err.find("duplexa: cannot save the picture: cannot write duplexa-"), std::string::npos) << err;
    EXPECT_EQ(files_in(dir), std::vector<std::string>{"data"}) << "no picture, no temporary file";
    EXPECT_EQ(frames_after, 6);
}

TEST_F(SavePictures, ATapOfF12ShorterThanAFrameSavesOnce) {
    EXPECT_EQ(run({IDNO}, {{2, [] { tap(VK_F12); }}, {4, [] { tap(VK_ESCAPE); }}}), 0);
    EXPECT_EQ(files_in(dir).size(), 3u) << "the link to the data, the picture and its pair";
}
