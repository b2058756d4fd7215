// display.cpp -- portable display logic: open with its fall-backs, present
// through the chosen row converter, close, and the window message table.
#include "video/display.h"

#include <cstring>

static int frame_width;
static int frame_height;
static RowConverter row_converter;
static int active_flag;
static bool library_loaded;
static bool device_created;
static bool primary_created;

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

int display_open(const char* window_name, int width, int height)
{
    const DisplayDevice& d = display_device;
    frame_width = width;
    frame_height = height;
    if (!d.load())
        return 0;
    library_loaded = true;
    if (!d.create_device())
        return 0;
    device_created = true;
    d.create_window(window_name);
    if (!d.set_exclusive())
        return 0;
    // A 16-bit mode can be set but never used: the converter choice refuses it.
    if (!d.set_mode(width, height, 32) && !d.set_mode(width, height, 24) &&
        !d.set_mode(width, height, 16))
        return 0;
    // Two back buffers, one, then a primary surface without a flip chain
    // (which has no back buffer to attach, so it fails just below).
    if (!d.create_primary(2) && !d.create_primary(1) && !d.create_primary(0))
        return 0;
    primary_created = true;
    if (!d.get_back_buffer())
        return 0;
    DisplayPixelFormat format;
    if (!d.get_pixel_format(&format))
        return 0;
    if (!(format.flags & DISPLAY_PIXEL_RGB))
        return 0;
    row_converter = choose_row_converter(format.bit_count, format.red_mask,
                                         format.green_mask, format.blue_mask);
    return row_converter ? 1 : 0;
}

int display_present(const uint32_t* frame)
{
    const DisplayDevice& d = display_device;
    DisplayMessage m;
    while (d.peek_message(&m))
        window_proc(m.window, m.message, m.wparam, m.lparam);

    if (active_flag == 0) {
        d.sleep_ms(1);
        return 1;
    }
    d.restore();
    uint8_t* pixels;
    int32_t pitch;
    if (!d.lock(&pixels, &pitch))
        return 0;
    for (int r = 0; r < frame_height; r++)
        row_converter(frame + r * frame_width, pixels + intptr_t(r) * pitch, frame_width);
    d.unlock(pixels);
    d.flip();
    d.sleep_ms(0);
    return 1;
}

void display_close(void)
{
    const DisplayDevice& d = display_device;
    if (primary_created) {
        d.release_primary();
        primary_created = false;
    }
    if (device_created) {
        d.release_device();
        device_created = false;
    }
    d.destroy_window();
    if (library_loaded) {
        d.unload();
        library_loaded = false;
    }
}

intptr_t window_proc(void* window, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    switch (message) {
    case DISPLAY_MSG_ACTIVATEAPP:
        active_flag = int(wparam != 0);
        return 0;
    case DISPLAY_MSG_SETCURSOR:
        display_device.hide_cursor();
        return 0;
    case DISPLAY_MSG_KEYDOWN:
        if ((wparam & 0xFF) != DISPLAY_KEY_ESCAPE)
            return 0;  // other keys are swallowed
        display_close();
        display_device.exit_process(0);
    case DISPLAY_MSG_CLOSE:
        display_close();
        display_device.exit_process(0);
    default: {
        DisplayMessage m = {window, message, wparam, lparam};
        return display_device.default_message(&m);
    }
    }
}

int display_is_active(void)
{
    return active_flag;
}
