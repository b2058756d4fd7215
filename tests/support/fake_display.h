// fake_display.h -- a scriptable display device for tests: whether open
// succeeds, which events the drains deliver, whether the frame can be
// taken, and a record of every call made.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "video/display.h"

struct FakeDisplayScript {
    bool open_ok = true;
    bool take_ok = true;
    // Delivered in order, one per next_event call. A DISPLAY_EVENT_NONE in
    // the list ends a drain, so later entries come with the next one.
    std::deque<DisplayEvent> events;
};

struct FakeDisplayState {
    FakeDisplayScript script;
    std::vector<std::string> calls;   // "open tavimo 320x200", "take", "present", ...
    std::vector<uint32_t> taken;      // the last frame taken
    int width = 0, height = 0;        // as given to open
};

extern FakeDisplayState fake_display;

// Resets the fake (closing the display logic first).
void fake_display_reset(const FakeDisplayScript& script = FakeDisplayScript());
// How many recorded calls start with `prefix`.
int fake_display_count(const std::string& prefix);
