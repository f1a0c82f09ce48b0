#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "app/frame_timer.h"
#include "platform/script/script_platform.h"

namespace {

class FrameTimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        script::reset();
        script::set_performance_counter(true, 1000000);
        script::set_counter(0);
        script::set_milliseconds(0);
    }
    void TearDown() override {
        script::set_performance_counter(true, 1000000);
        frame_rate = 0.0f;
    }
};

TEST_F(FrameTimerTest, CounterPathMeasuresTicksTimesResolution) {
    script::set_performance_counter(true, 3579545);
    script::set_counter(123456789);
    FrameTimer timer;
    EXPECT_TRUE(timer.uses_counter);
    EXPECT_EQ(timer.frequency, 3579545);
    EXPECT_EQ(timer.resolution, static_cast<float>(1.0 / 3579545.0));
    EXPECT_EQ(timer.counter_start, 123456789);
    EXPECT_EQ(timer.start_ms, 0u);

    script::advance_counter(3579545 / 50);  // one 50 Hz frame
    EXPECT_NEAR(timer.elapsed_seconds(), 0.02, 1e-6);
    script::advance_counter(3579545);
    EXPECT_NEAR(timer.elapsed_seconds(), 1.02, 1e-5);
}

TEST_F(FrameTimerTest, MillisecondPathWhenNoCounter) {
    script::set_performance_counter(false);
    script::set_milliseconds(5000);
    FrameTimer timer;
    EXPECT_FALSE(timer.uses_counter);
    EXPECT_EQ(timer.frequency, 1000);
    EXPECT_EQ(timer.resolution, 0.001f);
    EXPECT_EQ(timer.start_ms, 5000u);
    EXPECT_EQ(timer.counter_start, 0);

    script::set_milliseconds(5020);
    EXPECT_FLOAT_EQ(timer.elapsed_seconds(), 20 * 0.001f);
}

TEST_F(FrameTimerTest, CounterWithoutFrequencyFallsBackToMilliseconds) {
    // A yes with a zero frequency would make the resolution infinite.
    script::set_performance_counter(true, 0);
    script::set_milliseconds(70);
    FrameTimer timer;
    EXPECT_FALSE(timer.uses_counter);
    EXPECT_EQ(timer.frequency, 1000);
    script::set_milliseconds(100);
    EXPECT_FLOAT_EQ(timer.elapsed_seconds(), 0.03f);
}

TEST_F(FrameTimerTest, MillisecondPeriodSpanningTheWrapIsMeasured) {
    script::set_performance_counter(false);
    script::set_milliseconds(0xFFFFFFFFu - 9u);  // 10 ms before the wrap
    FrameTimer timer;
    script::set_milliseconds(15u);  // 10 ms to the wrap, 15 after it
    EXPECT_FLOAT_EQ(timer.elapsed_seconds(), 25 * 0.001f);

    timer.restart();
    EXPECT_EQ(timer.start_ms, 15u);
    script::set_milliseconds(35u);
    EXPECT_FLOAT_EQ(timer.elapsed_seconds(), 0.02f);
}

TEST_F(FrameTimerTest, ClockThatDidNotTickGivesExactlyZero) {
    script::set_counter(987654321);
    FrameTimer counter_timer;
    EXPECT_EQ(counter_timer.elapsed_seconds(), 0.0f);

    script::set_performance_counter(false);
    script::set_milliseconds(4242);
    FrameTimer ms_timer;
    EXPECT_EQ(ms_timer.elapsed_seconds(), 0.0f);
}

TEST_F(FrameTimerTest, RestartStartsANewPeriodOnBothPaths) {
    FrameTimer counter_timer;
    script::advance_counter(500000);
    EXPECT_NEAR(counter_timer.elapsed_seconds(), 0.5, 1e-6);
    counter_timer.restart();
    EXPECT_EQ(counter_timer.elapsed_seconds(), 0.0f);
    script::advance_counter(250000);
    EXPECT_NEAR(counter_timer.elapsed_seconds(), 0.25, 1e-6);

    script::set_performance_counter(false);
    script::set_milliseconds(100);
    FrameTimer ms_timer;
    script::set_milliseconds(600);
    ms_timer.restart();
    EXPECT_EQ(ms_timer.elapsed_seconds(), 0.0f);
    script::set_milliseconds(610);
    EXPECT_FLOAT_EQ(ms_timer.elapsed_seconds(), 0.01f);
}

TEST_F(FrameTimerTest, ElapsedNeverDecreasesWithoutRestart) {
    // Uneven steps from a large start reading, on both paths; the millisecond
    // path also crosses the wrap.
    script::set_counter(std::int64_t{1} << 42);
    FrameTimer counter_timer;
    script::set_performance_counter(false);
    script::set_milliseconds(0xFFFFFF00u);
    FrameTimer ms_timer;

    float last_counter = 0.0f, last_ms = 0.0f;
    std::uint32_t ms = 0xFFFFFF00u;
    for (int i = 0; i < 2000; ++i) {
        script::advance_counter(1 + (i * 7919) % 40000);
        ms += static_cast<std::uint32_t>(i % 5);
        script::set_milliseconds(ms);
        const float c = counter_timer.elapsed_seconds();
        const float m = ms_timer.elapsed_seconds();
        ASSERT_GE(c, last_counter) << "counter path went back at step " << i;
        ASSERT_GE(m, last_ms) << "millisecond path went back at step " << i;
        last_counter = c;
        last_ms = m;
    }
    EXPECT_FLOAT_EQ(last_ms, 4.0f);  // 4000 ms, crossing the wrap without starting over
}

TEST_F(FrameTimerTest, PerFrameStepDividesByTheMeasuredRate) {
    frame_rate = 50.0f;
    EXPECT_EQ(per_frame_step(25.0f), 0.5f);
    EXPECT_EQ(per_frame_step(5.0f), 0.1f);
    frame_rate = 200.0f;
    EXPECT_EQ(per_frame_step(100.0f), 0.5f);
}

TEST_F(FrameTimerTest, PerFrameStepIsZeroWithoutAUsableRate) {
    // 0 before the first measurement, infinite after a frame of no measurable time.
    const float rates[] = {0.0f,
                           -0.0f,
                           std::numeric_limits<float>::infinity(),
                           -std::numeric_limits<float>::infinity(),
                           std::numeric_limits<float>::quiet_NaN(),
                           -50.0f};
    for (float rate : rates) {
        frame_rate = rate;
        EXPECT_EQ(per_frame_step(25.0f), 0.0f) << "frame_rate " << rate;
        EXPECT_EQ(per_frame_step(-10.0f), 0.0f) << "frame_rate " << rate;
    }
}

}  // namespace
