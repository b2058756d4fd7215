// display_headless.cpp -- the display device of the offline tools: frames
// go to a hook, nothing reaches a screen.
#include "video/display_headless.h"

#include <unistd.h>

#include <cstring>

#include "video/display.h"

void (*headless_on_flip)(const uint32_t* pixels, int width, int height);

enum { MAX_WIDTH = 320, MAX_HEIGHT = 200 };
static uint32_t back_buffer[MAX_WIDTH * MAX_HEIGHT];
static int frame_width, frame_height;
static bool activation_sent;

static bool h_open(const char*, int width, int height)
{
    if (width <= 0 || height <= 0 || width > MAX_WIDTH || height > MAX_HEIGHT)
        return false;
    frame_width = width;
    frame_height = height;
    activation_sent = false;
    return true;
}

// Active from the first drain on; nothing else ever happens.
static DisplayEvent h_next_event(void)
{
    if (activation_sent)
        return DISPLAY_EVENT_NONE;
    activation_sent = true;
    return DISPLAY_EVENT_ACTIVE;
}

static void h_nothing(void) {}

static bool h_take_frame(const uint32_t* frame)
{
    memcpy(back_buffer, frame, size_t(frame_width) * size_t(frame_height) * 4);
    return true;
}

static void h_present(void)
{
    if (headless_on_flip)
        headless_on_flip(back_buffer, frame_width, frame_height);
}

[[noreturn]] static void h_exit_process(int code) { _exit(code); }

const DisplayDevice display_device = {
    h_open, h_next_event, h_nothing, h_take_frame, h_present, h_nothing, h_nothing,
    h_exit_process,
};
