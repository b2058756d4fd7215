// art.h -- generators of the show's pictures, palette and font.
//
// Each generator is a pure function of nothing: it fills its buffer with the
// same bytes on every run and every machine (the arithmetic is IEEE double
// with no calls into the C library's transcendental functions, see
// art_math.h). Called by the asset writer (gen_assets_main.cpp), which puts
// the results in assets/, and by the tests, which check that the committed
// files are exactly what the generators make. Single-threaded; the
// generators keep no state between calls.
#pragma once
#include <cstdint>

enum : int32_t {
    ART_BACKGROUND_MAX_INDEX = 217,  // highest cycling-ramp index the opening picture uses
    ART_MIRROR_MAX_INDEX = 245,      // highest cycling-ramp index the mirror picture uses
    ART_FONT_MAX_AMOUNT = 22,        // font amounts run 0..22
};

// 160x100 indices 0..217 into the colour-cycling ramp: moonlit mountains over
// a lake, shown enlarged to 320x200 in the opening.
void art_make_background_picture(uint8_t picture[160 * 100]);

// 160x100 indices into `palette` (256 words 0x00RRGGBB, top byte zero): a
// sunset over a glowing grid, blended faintly into the opening's band.
void art_make_band_picture(uint8_t picture[160 * 100], uint32_t palette[256]);

// 320x50 indices 0..245 into the colour-cycling ramp: a night skyline that
// frames the ray tracer above and, turned half a turn, below.
void art_make_mirror_picture(uint8_t picture[320 * 50]);

// 20 rows of 587 amounts 0..22: the 28 glyphs of "abcdefghijklmnopqrstuvxyz.,-"
// in 20x20 cells at column 21k, each followed by an empty column.
void art_make_font_strip(uint8_t strip[20 * 587]);

// The colour-cycling ramp that shows the opening and mirror pictures, for
// previews: the colour of hue byte `hue` at saturation and value 128, then
// black up to that colour at entry 128 and on towards white at entry 255.
void art_cycling_ramp(int hue, uint32_t ramp[256]);

// One generated file of assets/: its name, its size in bytes and the
// function that fills exactly that many bytes. The asset writer and the
// tests walk this table; a new generator adds a row.
struct ArtAsset {
    const char* file_name;      // under assets/
    int32_t size;               // bytes
    void (*make)(uint8_t* out); // fills `size` bytes
};
extern const ArtAsset art_assets[];
extern const int art_asset_count;
