// fake_display.cpp -- the scriptable display device linked into the tests.
#include "tests/support/fake_display.h"

#include <unistd.h>

#include <cstdio>

FakeDisplayState fake_display;

void fake_display_reset(const FakeDisplayScript& script)
{
    display_close();  // forget any handles of an earlier test
    // Deactivate: the active flag is portable state only window_proc sets.
    window_proc(nullptr, DISPLAY_MSG_ACTIVATEAPP, 0, 0);
    fake_display.script = script;
    fake_display.calls.clear();
    fake_display.surface.assign(size_t(script.pitch) * 200, 0xEE);
    fake_display.exit_code = -1;
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

static int bits_index(int bits)
{
    return bits == 32 ? 0 : bits == 24 ? 1 : 2;
}

static bool f_load(void) { record("load"); return fake_display.script.load_ok; }
static bool f_create_device(void) { record("create_device"); return fake_display.script.create_device_ok; }
static void f_create_window(const char* name) { record(std::string("create_window ") + name); }
static bool f_set_exclusive(void) { record("set_exclusive"); return fake_display.script.exclusive_ok; }
static bool f_set_mode(int w, int h, int bits)
{
    record("set_mode " + std::to_string(w) + "x" + std::to_string(h) + "x" + std::to_string(bits));
    return fake_display.script.mode_ok[bits_index(bits)];
}
static bool f_create_primary(int back_buffers)
{
    record("create_primary " + std::to_string(back_buffers));
    return fake_display.script.primary_ok[2 - back_buffers];
}
static bool f_get_back_buffer(void) { record("get_back_buffer"); return fake_display.script.back_buffer_ok; }
static bool f_get_pixel_format(DisplayPixelFormat* format)
{
    record("get_pixel_format");
    *format = fake_display.script.format;
    return fake_display.script.pixel_format_ok;
}
static bool f_peek_message(DisplayMessage* m)
{
    if (fake_display.script.messages.empty())
        return false;
    *m = fake_display.script.messages.front();
    fake_display.script.messages.pop_front();
    return true;
}
static intptr_t f_default_message(const DisplayMessage* m)
{
    record("default_message " + std::to_string(m->message));
    return 77;
}
static void f_hide_cursor(void) { record("hide_cursor"); }
static void f_restore(void) { record("restore"); }
static bool f_lock(uint8_t** pixels, int32_t* pitch)
{
    record("lock");
    if (!fake_display.script.lock_ok)
        return false;
    *pixels = fake_display.surface.data();
    *pitch = fake_display.script.pitch;
    return true;
}
static void f_unlock(uint8_t*) { record("unlock"); }
static void f_flip(void) { record("flip"); }
static void f_sleep_ms(int ms) { record("sleep " + std::to_string(ms)); }
static void f_release_primary(void) { record("release_primary"); }
static void f_release_device(void) { record("release_device"); }
static void f_destroy_window(void) { record("destroy_window"); }
static void f_unload(void) { record("unload"); }
// Tests reach this only inside death tests, which run in a child process.
[[noreturn]] static void f_exit_process(int code)
{
    // Death tests read this to see what was done before the exit.
    fprintf(stderr, "exit %d after %s\n", code,
            fake_display.calls.empty() ? "nothing" : fake_display.calls.back().c_str());
    fake_display.exit_code = code;
    _exit(code);
}

const DisplayDevice display_device = {
    f_load, f_create_device, f_create_window, f_set_exclusive, f_set_mode,
    f_create_primary, f_get_back_buffer, f_get_pixel_format, f_peek_message,
    f_default_message, f_hide_cursor, f_restore, f_lock, f_unlock, f_flip,
    f_sleep_ms, f_release_primary, f_release_device, f_destroy_window,
    f_unload, f_exit_process,
};
