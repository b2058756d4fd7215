// The display logic over a scripted device: activation, drawing or idling
// per frame, dropped frames, and Escape and close requests ending the
// process after the display is closed.
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/fake_display.h"
#include "video/display.h"

namespace {

std::vector<uint32_t> test_frame()
{
    std::vector<uint32_t> frame(320 * 200);
    for (size_t i = 0; i < frame.size(); i++)
        frame[i] = uint32_t(i * 2654435761u) & 0xFFFFFF;
    return frame;
}

struct DisplayPresent : ::testing::Test {
    std::vector<uint32_t> frame = test_frame();
    void open_with(std::initializer_list<DisplayEvent> events, bool take_ok = true)
    {
        FakeDisplayScript script;
        script.events = events;
        script.take_ok = take_ok;
        fake_display_reset(script);
        ASSERT_EQ(display_open("tavimo", 320, 200), 1);
        EXPECT_EQ(fake_display.calls, (std::vector<std::string>{"open tavimo 320x200"}));
        fake_display.calls.clear();
    }
};

TEST_F(DisplayPresent, BeforeActivationIdlesAndDrawsNothing)
{
    open_with({});
    EXPECT_EQ(display_present(frame.data()), 1);
    EXPECT_EQ(display_present(frame.data()), 1);
    EXPECT_EQ(fake_display.calls, (std::vector<std::string>{"idle", "idle"}));
}

TEST_F(DisplayPresent, ActiveFrameIsRestoredTakenWholeAndPresented)
{
    open_with({DISPLAY_EVENT_ACTIVE});
    EXPECT_EQ(display_present(frame.data()), 1);
    EXPECT_EQ(fake_display.calls, (std::vector<std::string>{"restore", "take", "present"}));
    EXPECT_EQ(fake_display.taken, frame);
}

TEST_F(DisplayPresent, FrameThatCannotBeTakenIsDroppedUnpresented)
{
    open_with({DISPLAY_EVENT_ACTIVE}, false);
    EXPECT_EQ(display_present(frame.data()), 0);
    EXPECT_EQ(fake_display.calls, (std::vector<std::string>{"restore", "take"}));
}

// Every pending event is handled before the frame, in order, so the last
// activation notice of a drain decides; a drain stops at the first "none".
TEST_F(DisplayPresent, TheDrainsLastActivationNoticeDecides)
{
    open_with({DISPLAY_EVENT_ACTIVE, DISPLAY_EVENT_INACTIVE, DISPLAY_EVENT_NONE,
               DISPLAY_EVENT_INACTIVE, DISPLAY_EVENT_ACTIVE, DISPLAY_EVENT_NONE,
               DISPLAY_EVENT_INACTIVE});
    display_present(frame.data());
    EXPECT_EQ(display_is_active(), 0);
    display_present(frame.data());
    EXPECT_EQ(display_is_active(), 1);
    display_present(frame.data());
    EXPECT_EQ(display_is_active(), 0);
    EXPECT_EQ(fake_display.calls,
              (std::vector<std::string>{"idle", "restore", "take", "present", "idle"}));
}

TEST_F(DisplayPresent, ReopeningStartsInactive)
{
    open_with({DISPLAY_EVENT_ACTIVE});
    display_present(frame.data());
    ASSERT_EQ(display_is_active(), 1);
    open_with({});
    EXPECT_EQ(display_is_active(), 0);
}

TEST(DisplayPresentDeathTest, EscapeAndCloseEndTheProcessWithZeroAfterClosing)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    std::vector<uint32_t> frame = test_frame();
    for (DisplayEvent ending : {DISPLAY_EVENT_ESCAPE, DISPLAY_EVENT_CLOSE}) {
        // Also while inactive, and with the frame not drawn first.
        for (bool active : {false, true}) {
            FakeDisplayScript script;
            if (active)
                script.events.push_back(DISPLAY_EVENT_ACTIVE);
            script.events.push_back(ending);
            fake_display_reset(script);
            ASSERT_EQ(display_open("tavimo", 320, 200), 1);
            EXPECT_EXIT(display_present(frame.data()), ::testing::ExitedWithCode(0),
                        "exit 0 after close");
        }
    }
}

}  // namespace
