// assets.cpp -- named views into the asset blob and the show's constant texts.
#include "assets/assets.h"

const uint8_t* const module_data = asset_blob + MODULE_DATA_OFFSET;
const uint8_t* const background_picture = asset_blob + BACKGROUND_PICTURE_OFFSET;
const uint8_t* const band_picture = asset_blob + BAND_PICTURE_OFFSET;
const uint8_t* const band_palette = asset_blob + BAND_PALETTE_OFFSET;
const uint8_t* const font_strip = asset_blob + FONT_STRIP_OFFSET;
const uint8_t* const mirror_picture = asset_blob + MIRROR_PICTURE_OFFSET;

const char glyph_order[] = "abcdefghijklmnopqrstuvxyz.,-";
const char scroll_text[] =
    "       this is an addiction and unique contribution to the kalevoon "
    "sixtyfour kilobyte intro.......... ";
const char mirror_text[] = "       whhhoooaa... no precalc of anykind used.....";
const char swarm_text[] = "because you like it so much";
// "piisin nimellä ei pitäisi olla väliä" in Latin-1 (0xE4 is "ä").
const char song_name[] = "piisin nimell\xE4 ei pit\xE4isi olla v\xE4li\xE4";
const char window_name[] = "tavimo";
