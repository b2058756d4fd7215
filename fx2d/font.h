// font.h -- the bitmap font: 28 glyphs of 20x20 added onto the frame.
//
// Glyph k of `glyph_order` ("abcdefghijklmnopqrstuvxyz.,-") is the 20x20
// cell at columns 21k..21k+19 of `font_strip` (assets/assets.h). Each byte
// is added to all three channels of the pixel under it, saturating at 255,
// so text shows as a light overlay. Every character advances 20 pixels,
// whether or not it has a glyph; pixels outside the frame are skipped.
// Called by the text-drawing scenes on the main thread; nothing allocates.
#pragma once
#include <cstdint>

enum { GLYPH_SIZE = 20, GLYPH_PITCH = 21, GLYPH_ADVANCE = 20, GLYPH_COUNT = 28 };

// The strip the glyphs are read from (20 rows of 587 bytes): font_strip,
// unless a test points it at a strip of its own.
extern const uint8_t* glyph_strip;

// Draws the NUL-terminated string with its first cell's top left at (x, y).
// Returns 0 (callers ignore it).
int draw_text(const char* text, int x, int y);
// Draws one character (0..255) with its cell's top left at (x, y); a
// character without a glyph draws nothing.
void draw_glyph(int x, int y, int character);
// The glyph number 0..27 of a character, or -1.
int glyph_index(int character);
