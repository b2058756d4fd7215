// framebuffer.cpp -- saturating whole-frame, row and pixel operations.
#include "fx2d/framebuffer.h"

FrameBuffer* frame_buffer = nullptr;

static inline uint32_t add_saturate(uint32_t pixel, uint32_t amount)
{
    uint32_t r = ((pixel >> 16) & 0xFF) + amount;
    uint32_t g = ((pixel >> 8) & 0xFF) + amount;
    uint32_t b = (pixel & 0xFF) + amount;
    if (r > 255) r = 255;
    if (g > 255) g = 255;
    if (b > 255) b = 255;
    return (r << 16) | (g << 8) | b;
}

static inline uint32_t subtract_saturate(uint32_t pixel, int32_t amount)
{
    int32_t r = int32_t((pixel >> 16) & 0xFF) - amount;
    int32_t g = int32_t((pixel >> 8) & 0xFF) - amount;
    int32_t b = int32_t(pixel & 0xFF) - amount;
    if (r < 0) r = 0;
    if (g < 0) g = 0;
    if (b < 0) b = 0;
    return (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
}

void fb_brighten(int amount)
{
    uint32_t a = uint32_t(amount) & 0xFF;
    uint32_t* p = frame_buffer->pixels;
    for (int i = 0; i < FB_PIXELS; i++)
        p[i] = add_saturate(p[i], a);
}

void fb_darken(int amount)
{
    fb_darken_rows(amount, 0, FB_HEIGHT);
}

void fb_darken_rows(int amount, int first_row, int end_row)
{
    int32_t a = amount & 0xFF;
    uint32_t* p = frame_buffer->pixels;
    for (int i = first_row * FB_WIDTH; i < end_row * FB_WIDTH; i++)
        p[i] = subtract_saturate(p[i], a);
}

void fb_clear_row(int row)
{
    uint32_t* p = frame_buffer->pixels + row * FB_WIDTH;
    for (int x = 0; x < FB_WIDTH; x++)
        p[x] = 0;
}

// Both tests compare each coordinate on its own, so no product can overflow
// and an x outside the row never wraps into a neighbouring row.
static inline bool inside_frame(int x, int y)
{
    return x >= 0 && x < FB_WIDTH && y >= 0 && y < FB_HEIGHT;
}

void fb_add_pixel(int x, int y, int value)
{
    if (!inside_frame(x, y))
        return;
    uint32_t* p = &frame_buffer->pixels[y * FB_WIDTH + x];
    *p = add_saturate(*p, uint32_t(value) & 0xFF);
}

void fb_brighten_point(int x, int y)
{
    if (!inside_frame(x, y))
        return;
    uint32_t* p = &frame_buffer->pixels[y * FB_WIDTH + x];
    *p = add_saturate(*p, 30);
}

int map_through_palette(const uint8_t* source, uint32_t* destination,
                        const uint32_t* table, int count)
{
    if (count <= 0)
        return 0;
    for (int i = 0; i < count; i++)
        destination[i] = table[source[i]];
    return count;
}
