// The Windows display layer's decisions over a scripted fake of its
// Windows calls: open with its fall-backs and failures, the row converters,
// the frame written into the locked pitch, close in order, and window
// messages turned into display events.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "video/display_win32.h"

namespace {

struct Win32Script {
    bool load_ok = true;
    bool create_device_ok = true;
    bool exclusive_ok = true;
    bool mode_ok[3] = {true, true, true};     // 32, 24, 16 bits
    bool primary_ok[3] = {true, true, true};  // 2, 1, 0 back buffers
    bool back_buffer_ok = true;
    bool pixel_format_ok = true;
    Win32PixelFormat format = {WIN32_PIXEL_RGB, 32, 0xFF0000, 0xFF00, 0xFF};
    bool lock_ok = true;
    int32_t pitch = 320 * 4;
    // Messages the next pump dispatches to the window procedure.
    std::deque<uint32_t> posted;
};

Win32Script script;
std::vector<std::string> calls;
std::vector<uint8_t> surface;  // the back buffer: 200 rows of `pitch` bytes

void reset(const Win32Script& s = Win32Script())
{
    win32_display_close();  // forget the handles of an earlier test
    script = s;
    calls.clear();
    surface.assign(size_t(s.pitch) * 200, 0xEE);
}

int count(const std::string& prefix)
{
    int n = 0;
    for (const std::string& c : calls)
        n += c.compare(0, prefix.size(), prefix) == 0;
    return n;
}

std::vector<uint32_t> test_frame()
{
    std::vector<uint32_t> frame(320 * 200);
    for (size_t i = 0; i < frame.size(); i++)
        frame[i] = uint32_t(i * 2654435761u) & 0xFFFFFF;
    return frame;
}

std::vector<DisplayEvent> drain()
{
    std::vector<DisplayEvent> events;
    for (DisplayEvent e = win32_display_next_event(); e != DISPLAY_EVENT_NONE;
         e = win32_display_next_event())
        events.push_back(e);
    return events;
}

}  // namespace

const Win32DisplayCalls win32_display_calls = {
    [] { calls.push_back("load"); return script.load_ok; },
    [] { calls.push_back("create_device"); return script.create_device_ok; },
    [](const char* name) { calls.push_back(std::string("create_window ") + name); },
    [] { calls.push_back("set_exclusive"); return script.exclusive_ok; },
    [](int w, int h, int bits) {
        calls.push_back("set_mode " + std::to_string(w) + "x" + std::to_string(h) + "x" +
                        std::to_string(bits));
        return script.mode_ok[bits == 32 ? 0 : bits == 24 ? 1 : 2];
    },
    [](int back_buffers) {
        calls.push_back("create_primary " + std::to_string(back_buffers));
        return script.primary_ok[2 - back_buffers];
    },
    [] { calls.push_back("get_back_buffer"); return script.back_buffer_ok; },
    [](Win32PixelFormat* format) {
        calls.push_back("get_pixel_format");
        *format = script.format;
        return script.pixel_format_ok;
    },
    [] {
        calls.push_back("pump");
        while (!script.posted.empty()) {
            uint32_t m = script.posted.front();
            script.posted.pop_front();
            // Key messages carry the key code; activation carries 1.
            win32_window_message(nullptr, m, m == WIN32_MSG_KEYDOWN ? WIN32_KEY_ESCAPE : 1, 0);
        }
    },
    [](void*, uint32_t message, uintptr_t, intptr_t) -> intptr_t {
        calls.push_back("default_message " + std::to_string(message));
        return 77;
    },
    [] { calls.push_back("hide_cursor"); },
    [](uint8_t** pixels, int32_t* pitch) {
        calls.push_back("lock");
        if (!script.lock_ok)
            return false;
        *pixels = surface.data();
        *pitch = script.pitch;
        return true;
    },
    [](uint8_t*) { calls.push_back("unlock"); },
    [] { calls.push_back("release_primary"); },
    [] { calls.push_back("release_device"); },
    [] { calls.push_back("destroy_window"); },
    [] { calls.push_back("unload"); },
};

namespace {

TEST(Win32RowConverter, ChosenOnlyForExactRgbMasksAt32And24Bits)
{
    EXPECT_EQ(choose_row_converter(32, 0xFF0000, 0xFF00, 0xFF), copy_row_32);
    EXPECT_EQ(choose_row_converter(24, 0xFF0000, 0xFF00, 0xFF), pack_row_24);
    EXPECT_EQ(choose_row_converter(32, 0xFF, 0xFF00, 0xFF0000), nullptr);
    EXPECT_EQ(choose_row_converter(16, 0xF800, 0x7E0, 0x1F), nullptr);
    EXPECT_EQ(choose_row_converter(16, 0xFF0000, 0xFF00, 0xFF), nullptr);
}

TEST(Win32RowConverter, Pack24WritesBlueGreenRedInMemoryOrder)
{
    const uint32_t source[2] = {0x00112233, 0xAA445566};
    uint8_t out[7] = {0, 0, 0, 0, 0, 0, 0x99};
    pack_row_24(source, out, 2);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 7),
              (std::vector<uint8_t>{0x33, 0x22, 0x11, 0x66, 0x55, 0x44, 0x99}));
}

TEST(Win32DisplayOpen, AsksFor32Then24Then16BitsAndAcceptsTheFirstGranted)
{
    Win32Script s;
    s.mode_ok[0] = false;
    s.format.bit_count = 24;
    reset(s);
    EXPECT_TRUE(win32_display_open("tavimo", 320, 200));
    EXPECT_EQ(calls, (std::vector<std::string>{"load", "create_device", "create_window tavimo",
                                               "set_exclusive", "set_mode 320x200x32",
                                               "set_mode 320x200x24", "create_primary 2",
                                               "get_back_buffer", "get_pixel_format"}));
}

TEST(Win32DisplayOpen, OnlyA16BitModeFailsAfterSettingIt)
{
    Win32Script s;
    s.mode_ok[0] = s.mode_ok[1] = false;
    s.format = {WIN32_PIXEL_RGB, 16, 0xF800, 0x7E0, 0x1F};
    reset(s);
    EXPECT_FALSE(win32_display_open("tavimo", 320, 200));
    EXPECT_EQ(count("set_mode 320x200x16"), 1);
    EXPECT_EQ(count("get_pixel_format"), 1);
}

TEST(Win32DisplayOpen, EachFailingStepFails)
{
    auto fails = [](void (*change)(Win32Script&)) {
        Win32Script s;
        change(s);
        reset(s);
        return !win32_display_open("tavimo", 320, 200);
    };
    EXPECT_TRUE(fails([](Win32Script& s) { s.load_ok = false; }));
    EXPECT_TRUE(fails([](Win32Script& s) { s.create_device_ok = false; }));
    EXPECT_TRUE(fails([](Win32Script& s) { s.exclusive_ok = false; }));
    EXPECT_TRUE(fails([](Win32Script& s) { s.mode_ok[0] = s.mode_ok[1] = s.mode_ok[2] = false; }));
    EXPECT_TRUE(fails([](Win32Script& s) { s.primary_ok[0] = s.primary_ok[1] = s.primary_ok[2] = false; }));
    EXPECT_TRUE(fails([](Win32Script& s) { s.back_buffer_ok = false; }));
    EXPECT_TRUE(fails([](Win32Script& s) { s.pixel_format_ok = false; }));
    EXPECT_TRUE(fails([](Win32Script& s) { s.format.flags = 0; }));
    EXPECT_TRUE(fails([](Win32Script& s) { s.format.red_mask = 0xFF; s.format.blue_mask = 0xFF0000; }));
    // The primary surface falls back to one back buffer.
    EXPECT_FALSE(fails([](Win32Script& s) { s.primary_ok[0] = false; }));
    EXPECT_EQ(count("create_primary 1"), 1);
}

// A failed open leaves the frame untaken: nothing is locked without a
// converter for the back buffer's format.
TEST(Win32DisplayOpen, AfterAFailedOpenNoFrameIsTaken)
{
    Win32Script s;
    s.format.bit_count = 16;
    reset(s);
    ASSERT_FALSE(win32_display_open("tavimo", 320, 200));
    std::vector<uint32_t> frame = test_frame();
    EXPECT_FALSE(win32_display_take_frame(frame.data()));
    EXPECT_EQ(count("lock"), 0);
}

struct Win32TakeFrame : ::testing::Test {
    std::vector<uint32_t> frame = test_frame();
    void open_with(const Win32Script& s)
    {
        reset(s);
        ASSERT_TRUE(win32_display_open("tavimo", 320, 200));
        calls.clear();
    }
};

TEST_F(Win32TakeFrame, ConvertedRowByRowIntoThePitch)
{
    Win32Script s;
    s.pitch = 320 * 4 + 64;
    open_with(s);
    EXPECT_TRUE(win32_display_take_frame(frame.data()));
    EXPECT_EQ(calls, (std::vector<std::string>{"lock", "unlock"}));
    for (int y = 0; y < 200; y += 37) {
        const uint8_t* row = &surface[size_t(y) * s.pitch];
        EXPECT_EQ(memcmp(row, &frame[y * 320], 1280), 0) << y;
        EXPECT_EQ(row[1280], 0xEE) << "padding beyond the row is untouched";
    }
}

TEST_F(Win32TakeFrame, TwentyFourBitRowsFill960BytesOfEachPitch)
{
    Win32Script s;
    s.format.bit_count = 24;
    s.pitch = 1024;
    open_with(s);
    EXPECT_TRUE(win32_display_take_frame(frame.data()));
    const uint8_t* last = &surface[199 * 1024];
    uint32_t p = frame[199 * 320 + 319];
    EXPECT_EQ(last[957], uint8_t(p));
    EXPECT_EQ(last[959], uint8_t(p >> 16));
    EXPECT_EQ(last[960], 0xEE);
    EXPECT_EQ(last[1023], 0xEE);
}

TEST_F(Win32TakeFrame, FailedLockDropsTheFrame)
{
    Win32Script s;
    s.lock_ok = false;
    open_with(s);
    EXPECT_FALSE(win32_display_take_frame(frame.data()));
    EXPECT_EQ(calls, (std::vector<std::string>{"lock"}));
}

TEST(Win32DisplayClose, ReleasesInOrderAndTwiceOnlyRepeatsDestroyingTheWindow)
{
    reset();
    ASSERT_TRUE(win32_display_open("tavimo", 320, 200));
    calls.clear();
    win32_display_close();
    EXPECT_EQ(calls, (std::vector<std::string>{"release_primary", "release_device",
                                               "destroy_window", "unload"}));
    calls.clear();
    win32_display_close();
    EXPECT_EQ(calls, (std::vector<std::string>{"destroy_window"}));
}

TEST(Win32DisplayClose, AfterAFailedModeSwitchReleasesOnlyWhatWasMade)
{
    Win32Script s;
    s.mode_ok[0] = s.mode_ok[1] = s.mode_ok[2] = false;
    reset(s);
    ASSERT_FALSE(win32_display_open("tavimo", 320, 200));
    calls.clear();
    win32_display_close();
    EXPECT_EQ(calls, (std::vector<std::string>{"release_device", "destroy_window", "unload"}));
}

TEST(Win32WindowMessage, ActivationEscapeAndCloseBecomeEventsInOrder)
{
    reset();
    ASSERT_TRUE(win32_display_open("tavimo", 320, 200));
    // Sent outside the pump (as Windows sends activation during a mode
    // switch): queued, and handed on without pumping first.
    EXPECT_EQ(win32_window_message(nullptr, WIN32_MSG_ACTIVATEAPP, 1, 0), 0);
    EXPECT_EQ(win32_window_message(nullptr, WIN32_MSG_ACTIVATEAPP, 0, 0), 0);
    calls.clear();
    EXPECT_EQ(win32_display_next_event(), DISPLAY_EVENT_ACTIVE);
    EXPECT_EQ(calls, std::vector<std::string>{});
    EXPECT_EQ(win32_display_next_event(), DISPLAY_EVENT_INACTIVE);
    // Posted ones arrive through the pump once the queue is empty; only the
    // low byte of a key code counts.
    script.posted = {WIN32_MSG_ACTIVATEAPP, WIN32_MSG_KEYDOWN, WIN32_MSG_CLOSE};
    EXPECT_EQ(drain(), (std::vector<DisplayEvent>{DISPLAY_EVENT_ACTIVE, DISPLAY_EVENT_ESCAPE,
                                                  DISPLAY_EVENT_CLOSE}));
    win32_window_message(nullptr, WIN32_MSG_KEYDOWN, 0x11B, 0);
    EXPECT_EQ(drain(), std::vector<DisplayEvent>{DISPLAY_EVENT_ESCAPE});
}

TEST(Win32WindowMessage, CursorOtherKeysAndOtherMessages)
{
    reset();
    ASSERT_TRUE(win32_display_open("tavimo", 320, 200));
    calls.clear();
    EXPECT_EQ(win32_window_message(nullptr, WIN32_MSG_SETCURSOR, 0, 0), 0);
    EXPECT_EQ(count("hide_cursor"), 1);
    // Other keys are swallowed, not passed to the default handler.
    EXPECT_EQ(win32_window_message(nullptr, WIN32_MSG_KEYDOWN, 'A', 0), 0);
    EXPECT_EQ(win32_window_message(nullptr, WIN32_MSG_KEYDOWN, 0x1B00, 0), 0);
    EXPECT_EQ(count("default_message"), 0);
    EXPECT_EQ(win32_window_message(nullptr, 0x0F, 0, 0), 77);
    EXPECT_EQ(count("default_message 15"), 1);
    EXPECT_EQ(drain(), std::vector<DisplayEvent>{});
}

// A flood of activation notices cannot push an ending request out; a new
// open forgets what an earlier one left queued.
TEST(Win32WindowMessage, FullQueueKeepsTheEndingRequest)
{
    reset();
    ASSERT_TRUE(win32_display_open("tavimo", 320, 200));
    for (int i = 0; i < 100; i++)
        win32_window_message(nullptr, WIN32_MSG_ACTIVATEAPP, uintptr_t(i & 1), 0);
    win32_window_message(nullptr, WIN32_MSG_CLOSE, 0, 0);
    std::vector<DisplayEvent> events = drain();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), DISPLAY_EVENT_CLOSE);

    win32_window_message(nullptr, WIN32_MSG_KEYDOWN, WIN32_KEY_ESCAPE, 0);
    reset();
    ASSERT_TRUE(win32_display_open("tavimo", 320, 200));
    EXPECT_EQ(drain(), std::vector<DisplayEvent>{});
}

}  // namespace
