// A fresh viewer for each test: the scripted system reset, the input table
// cleared, the static objects back at their start values.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/gl_window.h"
#include "app/inspect.h"
#include "app/mode_switch.h"
#include "app/statics.h"
#include "platform/script/script_platform.h"

class ViewerTest : public ::testing::Test {
protected:
    void SetUp() override {
        close_gl_window();
        script::reset();
        clear_input();
        active = true;
        fullscreen = true;
        frame_rate = 0.0f;
        camera.reset();
        stereo_rig = StereoRig(true);
        model_scene = ModelScene();
        reset_inspect();
        reset_mode_switch();
        script::set_cursor(400, 300);
        frame_timer.restart();
    }

    void TearDown() override {
        script::on_swap(nullptr);
        close_gl_window();
        script::reset();
    }

    // Presses and releases a key in the same message batch.
    static void tap(int vk) {
        script::key_press(vk);
        script::key_release(vk);
    }

    // Runs the viewer; at each listed swap number the action runs (from the
    // swap hook, so its messages arrive before the next frame).
    struct Step {
        int swap;
        std::function<void()> action;
    };
    static int run(std::vector<int> answers, std::vector<Step> steps) {
        script::queue_box_answers(std::move(answers));
        script::on_swap([steps](int swap) {
            for (const Step& step : steps)
                if (step.swap == swap) step.action();
        });
        return run_viewer(nullptr);
    }

    static std::vector<std::string> box_texts() {
        std::vector<std::string> texts;
        for (const auto& box : script::boxes()) texts.push_back(box.text);
        return texts;
    }

    // The calls made from the first one starting with `from` onwards.
    static std::vector<std::string> calls_from(const std::string& from) {
        const auto& all = script::calls();
        std::vector<std::string> out;
        bool found = false;
        for (const auto& c : all) {
            found = found || c.compare(0, from.size(), from) == 0;
            if (found) out.push_back(c);
        }
        return out;
    }
};
