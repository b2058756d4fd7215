// The scene table and the frame loop: windows, strict tests, hand-overs,
// the clock read per test, and the final pass that presents once more.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/timeline.h"
#include "fx2d/framebuffer.h"
#include "tests/support/fake_display.h"
#include "tests/support/sim_clock.h"

namespace {

std::vector<std::string> calls;

void record_a(int argument) { calls.push_back("a" + std::to_string(argument)); }
void record_b(int argument) { calls.push_back("b" + std::to_string(argument)); }

// The names of the rows of the show's table active at `elapsed`.
std::vector<std::string> active_rows(int64_t elapsed)
{
    std::vector<std::string> names;
    for (const SceneEntry* row = scene_table; row->kind != -1; row++)
        if (row->start_ms < elapsed && row->end_ms > elapsed)
            names.push_back(std::to_string(row - scene_table));
    return names;
}

struct TimelineTest : ::testing::Test {
    FrameBuffer fb;
    void SetUp() override
    {
        frame_buffer = &fb;
        calls.clear();
        sim_clock_reset(0);
        FakeDisplayScript script;
        script.events.push_back(DISPLAY_EVENT_ACTIVE);  // at the first presentation
        fake_display_reset(script);
        ASSERT_EQ(display_open("tavimo", 320, 200), 1);
        fake_display.calls.clear();
    }
    void TearDown() override { frame_buffer = nullptr; }
};

TEST(SceneTable, HasTheShowsRowsInOrder)
{
    const char* names[] = {"fade+tausta", "auki", "tekstipuoltausta", "tekstusta",
                           "teksti", "unfade", "tausta", "pist", "raytrace",
                           "raytausta", "fade+tausta", "loppu"};
    const int arguments[] = {0, 1, 2, 4, 5, 3, 4, 5, 4, 4, 8, -1};
    for (int i = 0; i < SCENE_TABLE_ROWS; i++) {
        EXPECT_STREQ(scene_table[i].name, names[i]) << i;
        EXPECT_EQ(scene_table[i].argument, arguments[i]) << i;
        EXPECT_EQ(scene_table[i].kind == -1, i == 11) << i;
        EXPECT_EQ(scene_table[i].handler == nullptr, i == 11) << i;
    }
    // Row 3 has kind 2 but argument 4; the handler sees only the argument.
    EXPECT_EQ(scene_table[3].kind, 2);
    EXPECT_EQ(scene_table[0].handler == scene_table[10].handler, false);
}

TEST(SceneTable, WindowsAreStrictAndHandOverExactly)
{
    EXPECT_EQ(active_rows(8000), (std::vector<std::string>{"0"}));
    EXPECT_EQ(active_rows(8001), (std::vector<std::string>{"0", "1"}));
    EXPECT_EQ(active_rows(47999), (std::vector<std::string>{"0", "3", "5"}));
    EXPECT_EQ(active_rows(48000), (std::vector<std::string>{"6", "7"}));
    EXPECT_EQ(active_rows(58000), (std::vector<std::string>{"8", "9"}));
    EXPECT_EQ(active_rows(138000), (std::vector<std::string>{"10"}));
    EXPECT_TRUE(active_rows(0).empty());
    EXPECT_TRUE(active_rows(153000).empty());
    // Every elapsed time from 1 to 152999 has at least one active row.
    for (int64_t t = 1; t < 153000; t++)
        ASSERT_FALSE(active_rows(t).empty()) << t;
}

TEST_F(TimelineTest, EmptyTableGivesOnePassThatPresents)
{
    const SceneEntry empty[] = {{-1, -1, -1, nullptr, -1, "loppu"}};
    sim_clock_now = 5000;
    EXPECT_EQ(run_scene_passes(empty, 0), 1);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(fake_display_count("present"), 1);
    EXPECT_EQ(sim_clock_reads, 0);  // nothing to test, so the clock is not read
}

TEST_F(TimelineTest, RowsRunInTableOrderAndTheLastPassPresentsAgain)
{
    const SceneEntry table[] = {
        {0, 300, 0, record_a, 1, "a"},
        {100, 400, 1, record_b, 2, "b"},
        {-1, -1, -1, nullptr, -1, "end"},
    };
    // Every pass moves the clock on by 100 ms (two reads per row).
    sim_clock_now = 50;
    sim_clock_on_read = [](int64_t n) { if (n > 0 && n % 4 == 0) sim_clock_now += 100; };
    int64_t passes = run_scene_passes(table, 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"a1", "a1", "b2", "a1", "b2", "b2"}));
    EXPECT_EQ(passes, 5);
    EXPECT_EQ(fake_display_count("present"), 5);
}

TEST_F(TimelineTest, ClockIsReadForEachTestSoALaterRowSeesALaterTime)
{
    // Row a ends at 1000, row b starts at 999: at one clock value they never
    // both run, but if the clock moves on between the tests both run in one pass.
    const SceneEntry table[] = {
        {0, 1000, 0, record_a, 0, "a"},
        {999, 2000, 1, record_b, 0, "b"},
        {-1, -1, -1, nullptr, -1, "end"},
    };
    sim_clock_now = 999;
    sim_clock_on_read = [](int64_t n) {
        if (n == 2) sim_clock_now = 1000;       // between row a and row b
        if (n == 6) sim_clock_now = 2000;       // the next pass finds nothing
    };
    EXPECT_EQ(run_scene_passes(table, 0), 2);
    EXPECT_EQ(calls, (std::vector<std::string>{"a0", "b0"}));
}

TEST_F(TimelineTest, InactiveDisplaySkipsPresentationButScenesAdvance)
{
    fake_display.script.events.clear();  // never activated
    const SceneEntry table[] = {{0, 300, 0, record_a, 7, "a"}, {-1, -1, -1, nullptr, -1, "end"}};
    sim_clock_now = 100;
    sim_clock_on_read = [](int64_t n) { if (n == 4) sim_clock_now = 300; };
    EXPECT_EQ(run_scene_passes(table, 0), 3);
    EXPECT_EQ(calls.size(), 2u);
    EXPECT_EQ(fake_display_count("present"), 0);
    EXPECT_EQ(fake_display_count("idle"), 3);
}

}  // namespace
