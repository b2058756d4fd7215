// art_assets.cpp -- the table of generated asset files.
#include "tools/art/art.h"

static void make_band_picture(uint8_t* out)
{
    uint32_t palette[256];
    art_make_band_picture(out, palette);
}

// The palette as the blob stores it: little-endian 32-bit words.
static void make_band_palette(uint8_t* out)
{
    static uint8_t picture[160 * 100];
    uint32_t palette[256];
    art_make_band_picture(picture, palette);
    for (int i = 0; i < 256; i++) {
        for (int b = 0; b < 4; b++) out[4 * i + b] = (uint8_t)(palette[i] >> (8 * b));
    }
}

const ArtAsset art_assets[] = {
    {"background_picture.bin", 160 * 100, art_make_background_picture},
    {"band_picture.bin", 160 * 100, make_band_picture},
    {"band_palette.bin", 256 * 4, make_band_palette},
    {"font_strip.bin", 20 * 587, art_make_font_strip},
    {"mirror_picture.bin", 320 * 50, art_make_mirror_picture},
};
const int art_asset_count = sizeof art_assets / sizeof art_assets[0];
