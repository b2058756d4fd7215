// display_win32.cpp -- the decisions of the Windows display layer: open
// with its fall-backs, the row converter, convert and flip, close in order,
// and the window messages turned into display events. Every call into
// Windows goes through win32_display_calls.
#include "video/display_win32.h"

#include <cstring>

static int frame_width;
static int frame_height;
static RowConverter row_converter;
static bool library_loaded;
static bool device_created;
static bool primary_created;

// Events queued by the window procedure until next_event hands them on.
// Windows sends some messages outside the pump (activation during a mode
// switch, a close request from the system menu), so they cannot be handed
// on as they arrive. A full queue keeps an ending request in its last slot
// and drops anything else.
enum { EVENT_QUEUE_SIZE = 32 };
static DisplayEvent event_queue[EVENT_QUEUE_SIZE];
static int event_head, event_count;

static void queue_event(DisplayEvent event)
{
    if (event_count < EVENT_QUEUE_SIZE) {
        event_queue[(event_head + event_count) % EVENT_QUEUE_SIZE] = event;
        event_count++;
    } else if (event == DISPLAY_EVENT_ESCAPE || event == DISPLAY_EVENT_CLOSE) {
        event_queue[(event_head + EVENT_QUEUE_SIZE - 1) % EVENT_QUEUE_SIZE] = event;
    }
}

void copy_row_32(const uint32_t* source, uint8_t* destination, int count)
{
    memcpy(destination, source, size_t(count) * 4);
}

void pack_row_24(const uint32_t* source, uint8_t* destination, int count)
{
    for (int i = 0; i < count; i++) {
        uint32_t p = source[i];
        destination[3 * i] = uint8_t(p);
        destination[3 * i + 1] = uint8_t(p >> 8);
        destination[3 * i + 2] = uint8_t(p >> 16);
    }
}

RowConverter choose_row_converter(int bit_count, uint32_t red_mask,
                                  uint32_t green_mask, uint32_t blue_mask)
{
    if (red_mask != 0xFF0000 || green_mask != 0xFF00 || blue_mask != 0xFF)
        return nullptr;
    if (bit_count == 32)
        return copy_row_32;
    if (bit_count == 24)
        return pack_row_24;
    return nullptr;
}

bool win32_display_open(const char* window_name, int width, int height)
{
    const Win32DisplayCalls& w = win32_display_calls;
    frame_width = width;
    frame_height = height;
    row_converter = nullptr;
    event_head = event_count = 0;
    if (!w.load())
        return false;
    library_loaded = true;
    if (!w.create_device())
        return false;
    device_created = true;
    w.create_window(window_name);
    if (!w.set_exclusive())
        return false;
    // A 16-bit mode can be set but never used: the converter choice refuses it.
    if (!w.set_mode(width, height, 32) && !w.set_mode(width, height, 24) &&
        !w.set_mode(width, height, 16))
        return false;
    // Two back buffers, one, then a primary surface without a flip chain
    // (which has no back buffer to attach, so it fails just below).
    if (!w.create_primary(2) && !w.create_primary(1) && !w.create_primary(0))
        return false;
    primary_created = true;
    if (!w.get_back_buffer())
        return false;
    Win32PixelFormat format;
    if (!w.get_pixel_format(&format))
        return false;
    if (!(format.flags & WIN32_PIXEL_RGB))
        return false;
    row_converter = choose_row_converter(format.bit_count, format.red_mask,
                                         format.green_mask, format.blue_mask);
    return row_converter != nullptr;
}

DisplayEvent win32_display_next_event(void)
{
    if (event_count == 0)
        win32_display_calls.pump_messages();
    if (event_count == 0)
        return DISPLAY_EVENT_NONE;
    DisplayEvent e = event_queue[event_head];
    event_head = (event_head + 1) % EVENT_QUEUE_SIZE;
    event_count--;
    return e;
}

bool win32_display_take_frame(const uint32_t* frame)
{
    const Win32DisplayCalls& w = win32_display_calls;
    uint8_t* pixels;
    int32_t pitch;
    if (!row_converter || !w.lock(&pixels, &pitch))
        return false;
    for (int r = 0; r < frame_height; r++)
        row_converter(frame + r * frame_width, pixels + intptr_t(r) * pitch, frame_width);
    w.unlock(pixels);
    return true;
}

void win32_display_close(void)
{
    const Win32DisplayCalls& w = win32_display_calls;
    if (primary_created) {
        w.release_primary();
        primary_created = false;
    }
    if (device_created) {
        w.release_device();
        device_created = false;
    }
    w.destroy_window();
    if (library_loaded) {
        w.unload();
        library_loaded = false;
    }
    row_converter = nullptr;
}

intptr_t win32_window_message(void* window, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    switch (message) {
    case WIN32_MSG_ACTIVATEAPP:
        queue_event(wparam != 0 ? DISPLAY_EVENT_ACTIVE : DISPLAY_EVENT_INACTIVE);
        return 0;
    case WIN32_MSG_SETCURSOR:
        win32_display_calls.hide_cursor();
        return 0;
    case WIN32_MSG_KEYDOWN:
        if ((wparam & 0xFF) == WIN32_KEY_ESCAPE)
            queue_event(DISPLAY_EVENT_ESCAPE);
        return 0;  // other keys are swallowed
    case WIN32_MSG_CLOSE:
        queue_event(DISPLAY_EVENT_CLOSE);
        return 0;
    default:
        return win32_display_calls.default_message(window, message, wparam, lparam);
    }
}
