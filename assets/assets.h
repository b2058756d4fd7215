// assets.h -- the asset blob built into the executable, and the show's texts.
//
// The blob is one contiguous block of raw data: the music module, three
// pictures, a palette and the font strip, each at a fixed offset and size.
// Users address their asset directly through the constants below; nothing is
// looked up or checked at run time. The module bytes are read only through
// the in-memory module file (player/module_file.h).
#pragma once
#include <cstdint>

// Each asset's offset and size (MODULE_DATA_OFFSET, MODULE_DATA_SIZE, ...,
// ASSET_BLOB_SIZE), made by the build from the list in assets/blob.txt.
#include "assets/asset_pieces.h"

enum : int32_t {
    BACKGROUND_PICTURE_WIDTH = 160, BACKGROUND_PICTURE_HEIGHT = 100,
    BAND_PICTURE_WIDTH = 160,       BAND_PICTURE_HEIGHT = 100,
    FONT_STRIP_WIDTH = 587,         FONT_STRIP_HEIGHT = 20,
    MIRROR_PICTURE_WIDTH = 320,     MIRROR_PICTURE_HEIGHT = 50,
};
static_assert(BACKGROUND_PICTURE_WIDTH * BACKGROUND_PICTURE_HEIGHT == BACKGROUND_PICTURE_SIZE);
static_assert(BAND_PICTURE_WIDTH * BAND_PICTURE_HEIGHT == BAND_PICTURE_SIZE);
static_assert(BAND_PALETTE_SIZE == 256 * 4, "256 words 0x00RRGGBB");
static_assert(FONT_STRIP_WIDTH * FONT_STRIP_HEIGHT == FONT_STRIP_SIZE);
static_assert(MIRROR_PICTURE_WIDTH * MIRROR_PICTURE_HEIGHT == MIRROR_PICTURE_SIZE);

// The blob itself, placed by the build: in read-only data (assets/asset_blob.S)
// or, in the web build, as room that unpack_assets fills at start
// (assets/asset_blob_web.S, assets/assets_web.h). Declared writable for that
// one writer; everything else only reads it, best through the views below.
extern "C" uint8_t asset_blob[ASSET_BLOB_SIZE];

extern const uint8_t* const module_data;
extern const uint8_t* const background_picture;
extern const uint8_t* const band_picture;
// 256 little-endian 0x00RRGGBB words at an offset that is not a multiple
// of 4: read them through band_palette_colour (or copy them), never by
// casting the pointer to words.
extern const uint8_t* const band_palette;
extern const uint8_t* const font_strip;
extern const uint8_t* const mirror_picture;

// Colour `index` (0..255) of the band palette.
inline uint32_t band_palette_colour(int index)
{
    const uint8_t* p = band_palette + 4 * index;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The show's constant texts, NUL-terminated 8-bit strings.
extern const char glyph_order[];   // "abcdefghijklmnopqrstuvxyz.,-": 28 glyphs, no "w"
extern const char scroll_text[];   // 103 characters
extern const char mirror_text[];   // 51 characters
extern const char swarm_text[];    // 27 characters
extern const char song_name[];     // 36 bytes, Latin-1
extern const char window_name[];   // "tavimo"
