// font.cpp -- glyph lookup and clipped, saturating glyph drawing.
#include "fx2d/font.h"

#include <cstdint>

#include "fx2d/framebuffer.h"
#include "assets/assets.h"

// Addressed through the blob so that it is set before any dynamic initialisation.
const uint8_t* glyph_strip = asset_blob + FONT_STRIP_OFFSET;

int glyph_index(int character)
{
    // The terminator never matches, nor does anything outside 1..255.
    if (character <= 0)
        return -1;
    for (int k = 0; glyph_order[k] != 0; k++)
        if ((unsigned char)glyph_order[k] == character)
            return k;
    return -1;
}

void draw_glyph(int x, int y, int character)
{
    const int k = glyph_index(character);
    if (k < 0)
        return;
    // A cell wholly outside the frame would have every pixel rejected by
    // fb_add_pixel; skipping it gives the same frame, costs nothing and
    // keeps x + j and y + r far from the int limits.
    if (x <= -GLYPH_SIZE || x >= FB_WIDTH || y <= -GLYPH_SIZE || y >= FB_HEIGHT)
        return;
    const uint8_t* cell = glyph_strip + GLYPH_PITCH * k;
    for (int r = 0; r < GLYPH_SIZE; r++)
        for (int j = 0; j < GLYPH_SIZE; j++)
            fb_add_pixel(x + j, y + r, cell[r * FONT_STRIP_WIDTH + j]);
}

int draw_text(const char* text, int x, int y)
{
    // Positions are worked out in 64 bits: a long line at a far-off x must
    // not overflow; a cell whose x leaves the int range is off the frame.
    for (int64_t i = 0; text[i] != 0; i++) {
        const int64_t cell_x = int64_t(x) + GLYPH_ADVANCE * i;
        if (cell_x >= FB_WIDTH)
            break;  // this and every later cell lies right of the frame
        if (cell_x <= -GLYPH_SIZE)
            continue;
        draw_glyph(int(cell_x), y, (unsigned char)text[i]);
    }
    return 0;
}
