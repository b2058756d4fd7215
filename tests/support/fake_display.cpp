// fake_display.cpp -- the scriptable display device linked into the tests.
#include "tests/support/fake_display.h"

#include <unistd.h>

#include <cstdio>

FakeDisplayState fake_display;

void fake_display_reset(const FakeDisplayScript& script)
{
    display_close();
    fake_display.script = script;
    fake_display.calls.clear();
    fake_display.taken.clear();
    fake_display.width = fake_display.height = 0;
}

int fake_display_count(const std::string& prefix)
{
    int n = 0;
    for (const std::string& c : fake_display.calls)
        n += c.compare(0, prefix.size(), prefix) == 0;
    return n;
}

static void record(const std::string& call)
{
    fake_display.calls.push_back(call);
}

static bool f_open(const char* name, int width, int height)
{
    record(std::string("open ") + name + " " + std::to_string(width) + "x" + std::to_string(height));
    fake_display.width = width;
    fake_display.height = height;
    return fake_display.script.open_ok;
}

static DisplayEvent f_next_event(void)
{
    std::deque<DisplayEvent>& events = fake_display.script.events;
    if (events.empty())
        return DISPLAY_EVENT_NONE;
    DisplayEvent e = events.front();
    events.pop_front();
    return e;
}

static void f_restore(void) { record("restore"); }

static bool f_take_frame(const uint32_t* frame)
{
    record("take");
    if (!fake_display.script.take_ok)
        return false;
    fake_display.taken.assign(frame, frame + size_t(fake_display.width) * fake_display.height);
    return true;
}

static void f_present(void) { record("present"); }
static void f_idle(void) { record("idle"); }
static void f_close(void) { record("close"); }

// Tests reach this only inside death tests, which run in a child process.
[[noreturn]] static void f_exit_process(int code)
{
    // Death tests read this to see what was done before the exit.
    fprintf(stderr, "exit %d after %s\n", code,
            fake_display.calls.empty() ? "nothing" : fake_display.calls.back().c_str());
    _exit(code);
}

const DisplayDevice display_device = {
    f_open, f_next_event, f_restore, f_take_frame, f_present, f_idle, f_close, f_exit_process,
};
