// opening.cpp -- the first 48 seconds: the colour-cycling opening picture
// faded in from black, the opening band with its blended inset picture, the
// fade to white, and the scroll text.
#include <cstring>

#include "fx2d/font.h"
#include "fx2d/framebuffer.h"
#include "fx2d/scenes.h"
#include "assets/assets.h"

void scene_opening_background(int)
{
    scene_map_cycling(background_map, frame_buffer->pixels, FB_PIXELS);
    // 255, 254.5, ... 0.5: darkening by 255, 254, 254, ... 0 over 510 calls.
    if (fade_in_level > 0.0f) {
        fb_darken(int(fade_in_level));
        fade_in_level -= 0.5f;
    }
}

// One pixel at weight w: each channel trunc(source * w + frame * (1 - w)).
// Held to 0..255 so that no weight can carry into the next channel.
static inline uint32_t blend_channel(uint32_t source, uint32_t frame, double w)
{
    double v = double(source) * w + double(frame) * (1.0 - w);
    if (!(v > 0.0))
        return 0;
    return v < 255.0 ? uint32_t(v) : 255u;
}

static inline void blend_pixel(uint32_t* pixel, uint32_t source, double w)
{
    const uint32_t d = *pixel;
    *pixel = blend_channel((source >> 16) & 0xFF, (d >> 16) & 0xFF, w) << 16 |
             blend_channel((source >> 8) & 0xFF, (d >> 8) & 0xFF, w) << 8 |
             blend_channel(source & 0xFF, d & 0xFF, w);
}

void blend_picture(const uint8_t* picture, const uint32_t* palette, float factor,
                   int x, int y, int width, int height)
{
    if (width <= 0 || height <= 0)
        return;
    const double f = factor;
    // f / 80 as a single-precision product; the running weights are doubles.
    const float step = factor * 0.0125f;
    for (int r = 0; r < height; r++) {
        const int64_t row = int64_t(y) + r;
        if (row < 0 || row >= FB_HEIGHT)
            continue;
        uint32_t* line = frame_buffer->pixels + row * FB_WIDTH;
        const uint8_t* source = picture + int64_t(r) * width;

        for (int c = 0; c < width; c++) {
            const int64_t column = int64_t(x) + c;
            if (column >= 0 && column < FB_WIDTH)
                blend_pixel(&line[column], palette[source[c]], f);
        }

        const uint32_t first = palette[source[0]];
        double w = 0.0;
        for (int column = 0; column < 80; column++) {
            blend_pixel(&line[column], first, w);
            w += step;
        }

        const uint32_t last = palette[source[width - 1]];
        w = f;
        for (int column = 240; column < FB_WIDTH; column++) {
            blend_pixel(&line[column], last, w);
            w -= step;
        }
    }
}

// The band picture's colours, copied out of the blob: the palette's offset
// there (85211) is not a multiple of 4, so its words cannot be read in place.
static uint32_t band_colours[256];

void scene_band_overlay(int argument)
{
    switch (argument) {
    case 1:  // "auki": the band opens from the middle, 0.3 rows per call
        if (band_edge > 50.0f)
            band_edge -= 0.3f;
        break;
    case 2:  // "tekstipuoltausta": the picture at the factor before the rise
        memcpy(band_colours, band_palette, sizeof band_colours);
        blend_picture(band_picture, band_colours, blend_factor, 80, 51,
                      BAND_PICTURE_WIDTH, BAND_PICTURE_HEIGHT);
        if (blend_factor < 0.15)  // compared as a double: stops at 0.16
            blend_factor += 0.01f;
        break;
    case 3:  // "unfade"
        if (white_level <= 254)
            white_level += 1;
        break;
    case 4: {  // "tekstusta": the factor runs down unseen
        // 0.02 as a double, the difference stored as a float: from 0.16 the
        // eighth call reaches 0 (a 0.02f step would leave 1.5e-8 for a ninth).
        const float d = float(blend_factor - 0.02);
        blend_factor = d > 0.0f ? d : 0.0f;
        break;
    }
    default:
        break;
    }

    // Black lines at rows e + 1 and 200 - e, darkened rows between them.
    const int e = int(band_edge);
    fb_clear_row(e + 1);
    fb_clear_row(200 - e);
    fb_darken_rows(64, e + 1, 200 - e);
    if (white_level != 0)
        fb_brighten(white_level);
}

void scene_scroll_text(int)
{
    draw_text(scroll_text, scroll_x, 150);
    scroll_x = scene_step_left(scroll_x);
}
