// The start-up order and exit codes of the whole show, on the scripted
// display and the simulated clock.
#include <gtest/gtest.h>

#include "fx2d/framebuffer.h"
#include "runtime/entry.h"
#include "tests/support/fake_display.h"
#include "tests/support/sim_clock.h"

namespace {

TEST(Entry, FailedDisplayOpenGivesExitCode2)
{
    FakeDisplayScript script;
    script.open_ok = false;
    fake_display_reset(script);
    sim_clock_reset(0);
    EXPECT_EQ(tavimo_run(), EXIT_DISPLAY_FAILED);
    EXPECT_EQ(fake_display_count("present"), 0);
    free(frame_buffer);
    frame_buffer = nullptr;
}

TEST(Entry, WholeShowRunsToTheEndOfTheTableAndClosesTheDisplay)
{
    FakeDisplayScript script;
    script.events.push_back(DISPLAY_EVENT_ACTIVE);
    fake_display_reset(script);
    // Start-up takes 40 ms; then every read of the clock moves it on 7 ms.
    sim_clock_reset(40);
    sim_clock_on_read = [](int64_t) { sim_clock_now += 7; };
    EXPECT_EQ(tavimo_run(), EXIT_SHOW_DONE);
    EXPECT_GE(sim_clock_now, 3000 + 100 + 153000);
    EXPECT_GT(fake_display_count("present"), 1000);
    EXPECT_EQ(fake_display.calls.back(), "close");
    EXPECT_EQ(frame_buffer, nullptr);
}

TEST(Entry, SlowStartUpDoesNotWaitAgain)
{
    FakeDisplayScript script;
    fake_display_reset(script);
    // Start-up already took 5 s: the show begins at once, without a 3 s wait.
    sim_clock_reset(5000);
    sim_clock_on_read = [](int64_t) { sim_clock_now += 50; };
    EXPECT_EQ(tavimo_run(), EXIT_SHOW_DONE);
    EXPECT_LT(sim_clock_now, 5000 + 100 + 153000 + 2000);
}

}  // namespace
