// display_headless.cpp -- the display device of the offline tools: frames
// go to a hook, nothing reaches a screen.
#include "video/display_headless.h"

#include <unistd.h>

#include "video/display.h"

void (*headless_on_flip)(const uint32_t* pixels, int width, int height);

enum { MAX_WIDTH = 320, MAX_HEIGHT = 200 };
static uint32_t back_buffer[MAX_WIDTH * MAX_HEIGHT];
static int mode_width, mode_height;
static bool activation_sent;

static bool h_ok(void) { return true; }
static void h_create_window(const char*) { activation_sent = false; }
static bool h_set_mode(int width, int height, int bits)
{
    if (bits != 32 || width > MAX_WIDTH || height > MAX_HEIGHT || width <= 0 || height <= 0)
        return false;
    mode_width = width;
    mode_height = height;
    return true;
}
static bool h_create_primary(int back_buffers) { return back_buffers > 0; }
static bool h_get_pixel_format(DisplayPixelFormat* format)
{
    *format = DisplayPixelFormat{DISPLAY_PIXEL_RGB, 32, 0xFF0000, 0xFF00, 0xFF};
    return true;
}
static bool h_peek_message(DisplayMessage* message)
{
    if (activation_sent)
        return false;
    activation_sent = true;
    *message = DisplayMessage{nullptr, DISPLAY_MSG_ACTIVATEAPP, 1, 0};
    return true;
}
static intptr_t h_default_message(const DisplayMessage*) { return 0; }
static void h_nothing(void) {}
static bool h_lock(uint8_t** pixels, int32_t* pitch)
{
    *pixels = reinterpret_cast<uint8_t*>(back_buffer);
    *pitch = mode_width * 4;
    return true;
}
static void h_unlock(uint8_t*) {}
static void h_flip(void)
{
    if (headless_on_flip)
        headless_on_flip(back_buffer, mode_width, mode_height);
}
static void h_sleep_ms(int) {}
[[noreturn]] static void h_exit_process(int code) { _exit(code); }

const DisplayDevice display_device = {
    h_ok, h_ok, h_create_window, h_ok, h_set_mode, h_create_primary, h_ok,
    h_get_pixel_format, h_peek_message, h_default_message, h_nothing, h_nothing,
    h_lock, h_unlock, h_flip, h_sleep_ms, h_nothing, h_nothing, h_nothing, h_nothing,
    h_exit_process,
};
