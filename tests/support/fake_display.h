// fake_display.h -- a scriptable display device for tests: which steps
// succeed, which pixel format the back buffer has, whether locking fails,
// which messages arrive, and a record of every call made.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "video/display.h"

struct FakeDisplayScript {
    bool load_ok = true;
    bool create_device_ok = true;
    bool exclusive_ok = true;
    bool mode_ok[3] = {true, true, true};     // 32, 24, 16 bits
    bool primary_ok[3] = {true, true, true};  // 2, 1, 0 back buffers
    bool back_buffer_ok = true;
    bool pixel_format_ok = true;
    DisplayPixelFormat format = {DISPLAY_PIXEL_RGB, 32, 0xFF0000, 0xFF00, 0xFF};
    bool lock_ok = true;
    int32_t pitch = 320 * 4;
    std::deque<DisplayMessage> messages;     // delivered by the next pumps
};

struct FakeDisplayState {
    FakeDisplayScript script;
    std::vector<std::string> calls;          // "load", "set_mode 32", "flip", ...
    std::vector<uint8_t> surface;            // the back buffer: 200 rows of `pitch` bytes
    int exit_code = -1;                      // set by exit_process
};

extern FakeDisplayState fake_display;

// Resets the fake (and the portable display state through display_close).
void fake_display_reset(const FakeDisplayScript& script = FakeDisplayScript());
// How many recorded calls start with `prefix`.
int fake_display_count(const std::string& prefix);
