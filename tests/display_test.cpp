// The display logic over a scripted device: open with its fall-backs and
// failures, present through the row converter, close, the message table.
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

TEST(RowConverter, ChosenOnlyForExactRgbMasksAt32And24Bits)
{
    EXPECT_EQ(choose_row_converter(32, 0xFF0000, 0xFF00, 0xFF), copy_row_32);
    EXPECT_EQ(choose_row_converter(24, 0xFF0000, 0xFF00, 0xFF), pack_row_24);
    EXPECT_EQ(choose_row_converter(32, 0xFF, 0xFF00, 0xFF0000), nullptr);
    EXPECT_EQ(choose_row_converter(16, 0xF800, 0x7E0, 0x1F), nullptr);
    EXPECT_EQ(choose_row_converter(16, 0xFF0000, 0xFF00, 0xFF), nullptr);
}

TEST(RowConverter, Pack24WritesBlueGreenRedInMemoryOrder)
{
    const uint32_t source[2] = {0x00112233, 0xAA445566};
    uint8_t out[7] = {0, 0, 0, 0, 0, 0, 0x99};
    pack_row_24(source, out, 2);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 7),
              (std::vector<uint8_t>{0x33, 0x22, 0x11, 0x66, 0x55, 0x44, 0x99}));
}

TEST(DisplayOpen, AskFor32Then24Then16BitsAndAcceptsTheFirstGranted)
{
    FakeDisplayScript script;
    script.mode_ok[0] = false;
    script.format.bit_count = 24;
    fake_display_reset(script);
    EXPECT_EQ(display_open("tavimo", 320, 200), 1);
    EXPECT_EQ(fake_display.calls,
              (std::vector<std::string>{"load", "create_device", "create_window tavimo",
                                        "set_exclusive", "set_mode 320x200x32",
                                        "set_mode 320x200x24", "create_primary 2",
                                        "get_back_buffer", "get_pixel_format"}));
}

TEST(DisplayOpen, OnlyA16BitModeFailsAfterSettingIt)
{
    FakeDisplayScript script;
    script.mode_ok[0] = script.mode_ok[1] = false;
    script.format = {DISPLAY_PIXEL_RGB, 16, 0xF800, 0x7E0, 0x1F};
    fake_display_reset(script);
    EXPECT_EQ(display_open("tavimo", 320, 200), 0);
    EXPECT_EQ(fake_display_count("set_mode 320x200x16"), 1);
    EXPECT_EQ(fake_display_count("get_pixel_format"), 1);
}

TEST(DisplayOpen, EachFailingStepFails)
{
    auto fails = [](void (*change)(FakeDisplayScript&)) {
        FakeDisplayScript script;
        change(script);
        fake_display_reset(script);
        return display_open("tavimo", 320, 200) == 0;
    };
    EXPECT_TRUE(fails([](FakeDisplayScript& s) { s.load_ok = false; }));
    EXPECT_TRUE(fails([](FakeDisplayScript& s) { s.create_device_ok = false; }));
    EXPECT_TRUE(fails([](FakeDisplayScript& s) { s.exclusive_ok = false; }));
    EXPECT_TRUE(fails([](FakeDisplayScript& s) { s.mode_ok[0] = s.mode_ok[1] = s.mode_ok[2] = false; }));
    EXPECT_TRUE(fails([](FakeDisplayScript& s) { s.primary_ok[0] = s.primary_ok[1] = s.primary_ok[2] = false; }));
    EXPECT_TRUE(fails([](FakeDisplayScript& s) { s.back_buffer_ok = false; }));
    EXPECT_TRUE(fails([](FakeDisplayScript& s) { s.pixel_format_ok = false; }));
    EXPECT_TRUE(fails([](FakeDisplayScript& s) { s.format.flags = 0; }));
    EXPECT_TRUE(fails([](FakeDisplayScript& s) { s.format.red_mask = 0xFF; s.format.blue_mask = 0xFF0000; }));
    // The primary surface falls back to one back buffer.
    EXPECT_FALSE(fails([](FakeDisplayScript& s) { s.primary_ok[0] = false; }));
    EXPECT_EQ(fake_display_count("create_primary 1"), 1);
}

struct DisplayPresentTest : ::testing::Test {
    std::vector<uint32_t> frame = test_frame();
    void open_with(FakeDisplayScript script)
    {
        fake_display_reset(script);
        ASSERT_EQ(display_open("tavimo", 320, 200), 1);
        fake_display.calls.clear();
    }
};

TEST_F(DisplayPresentTest, BeforeActivationSleepsAndDrawsNothing)
{
    open_with(FakeDisplayScript());
    EXPECT_EQ(display_present(frame.data()), 1);
    EXPECT_EQ(fake_display.calls, (std::vector<std::string>{"sleep 1"}));
    EXPECT_EQ(fake_display.surface[0], 0xEE);
}

TEST_F(DisplayPresentTest, ActiveFrameIsConvertedRowByRowIntoThePitch)
{
    FakeDisplayScript script;
    script.pitch = 320 * 4 + 64;
    script.messages.push_back({nullptr, DISPLAY_MSG_ACTIVATEAPP, 1, 0});
    open_with(script);
    EXPECT_EQ(display_present(frame.data()), 1);
    EXPECT_EQ(fake_display.calls, (std::vector<std::string>{"restore", "lock", "unlock", "flip", "sleep 0"}));
    for (int y = 0; y < 200; y += 37) {
        const uint8_t* row = &fake_display.surface[size_t(y) * script.pitch];
        EXPECT_EQ(memcmp(row, &frame[y * 320], 1280), 0) << y;
        EXPECT_EQ(row[1280], 0xEE) << "padding beyond the row is untouched";
    }
}

TEST_F(DisplayPresentTest, TwentyFourBitRowsFill960BytesOfEachPitch)
{
    FakeDisplayScript script;
    script.format.bit_count = 24;
    script.pitch = 1024;
    script.messages.push_back({nullptr, DISPLAY_MSG_ACTIVATEAPP, 1, 0});
    open_with(script);
    EXPECT_EQ(display_present(frame.data()), 1);
    const uint8_t* last = &fake_display.surface[199 * 1024];
    uint32_t p = frame[199 * 320 + 319];
    EXPECT_EQ(last[957], uint8_t(p));
    EXPECT_EQ(last[959], uint8_t(p >> 16));
    EXPECT_EQ(last[960], 0xEE);
    EXPECT_EQ(last[1023], 0xEE);
}

TEST_F(DisplayPresentTest, FailedLockDropsTheFrame)
{
    FakeDisplayScript script;
    script.lock_ok = false;
    script.messages.push_back({nullptr, DISPLAY_MSG_ACTIVATEAPP, 1, 0});
    open_with(script);
    EXPECT_EQ(display_present(frame.data()), 0);
    EXPECT_EQ(fake_display.calls, (std::vector<std::string>{"restore", "lock"}));
}

TEST(WindowProc, ActivationCursorKeysAndOtherMessages)
{
    fake_display_reset();
    EXPECT_EQ(window_proc(nullptr, DISPLAY_MSG_ACTIVATEAPP, 1, 0), 0);
    EXPECT_EQ(display_is_active(), 1);
    EXPECT_EQ(window_proc(nullptr, DISPLAY_MSG_ACTIVATEAPP, 0, 0), 0);
    EXPECT_EQ(display_is_active(), 0);
    EXPECT_EQ(window_proc(nullptr, DISPLAY_MSG_SETCURSOR, 0, 0), 0);
    EXPECT_EQ(fake_display_count("hide_cursor"), 1);
    // Other keys are swallowed, not passed to the default handler; only the
    // low byte of the key code counts.
    EXPECT_EQ(window_proc(nullptr, DISPLAY_MSG_KEYDOWN, 'A', 0), 0);
    EXPECT_EQ(window_proc(nullptr, DISPLAY_MSG_KEYDOWN, 0x1B00, 0), 0);
    EXPECT_EQ(fake_display_count("default_message"), 0);
}

TEST(WindowProcDeathTest, EscapeAndCloseEndTheProcessWithZero)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    fake_display_reset();
    ASSERT_EQ(display_open("tavimo", 320, 200), 1);
    // The display is closed (down to unloading it) before the process ends.
    EXPECT_EXIT(window_proc(nullptr, DISPLAY_MSG_KEYDOWN, 27, 0), ::testing::ExitedWithCode(0),
                "exit 0 after unload");
    EXPECT_EXIT(window_proc(nullptr, DISPLAY_MSG_KEYDOWN, 0x11B, 0), ::testing::ExitedWithCode(0),
                "exit 0 after unload");
    EXPECT_EXIT(window_proc(nullptr, DISPLAY_MSG_CLOSE, 0, 0), ::testing::ExitedWithCode(0),
                "exit 0 after unload");
}

TEST(WindowProc, UnknownMessagesGoToTheDefaultHandler)
{
    fake_display_reset();
    EXPECT_EQ(window_proc(nullptr, 0x0F, 0, 0), 77);
    EXPECT_EQ(fake_display_count("default_message 15"), 1);
}

TEST(DisplayClose, TwiceOnlyRepeatsDestroyingTheWindow)
{
    fake_display_reset();
    ASSERT_EQ(display_open("tavimo", 320, 200), 1);
    fake_display.calls.clear();
    display_close();
    EXPECT_EQ(fake_display.calls, (std::vector<std::string>{"release_primary", "release_device",
                                                            "destroy_window", "unload"}));
    fake_display.calls.clear();
    display_close();
    EXPECT_EQ(fake_display.calls, (std::vector<std::string>{"destroy_window"}));
}

}  // namespace
