// preview_assets.cpp -- tavimo-preview-assets <assets dir> <out dir>: PNG
// pictures of the committed assets as the show colours them, for looking at
// them while they are designed and reviewed.
//
// The pictures indexed into the colour-cycling ramp are shown at a few hues
// of its turn; the band picture through the band palette; the font as a
// glyph sheet and as the show's lines of text. Two sketches of whole frames
// put the assets together: the opening with its band fully open and the
// picture blended in at full weight, and the strips around the ray tracer
// (its rows left grey). They follow the scenes' arithmetic closely but are
// pictures to look at, not references: the scenes' own tests check frames.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "assets/asset_pieces.h"
#include "tools/art/art.h"
#include "tools/formats/png.h"

static std::string out_dir;
static bool failed = false;

static std::vector<uint8_t> read_asset(const std::string& dir, const char* name, size_t size)
{
    std::vector<uint8_t> bytes(size);
    std::string path = dir + "/" + name;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f || std::fread(bytes.data(), 1, size, f) != size) {
        std::fprintf(stderr, "cannot read %zu bytes from %s\n", size, path.c_str());
        failed = true;
    }
    if (f) std::fclose(f);
    return bytes;
}

static void write(const char* name, const std::vector<uint32_t>& pixels, int w, int h, int scale)
{
    std::string path = out_dir + "/" + name;
    if (!png_write(path.c_str(), pixels.data(), w, h, scale)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        failed = true;
        return;
    }
    std::printf("%s\n", path.c_str());
}

static uint32_t channel_add(uint32_t c, int amount)
{
    uint32_t out = 0;
    for (int shift = 16; shift >= 0; shift -= 8) {
        int v = (int)(c >> shift & 255) + amount;
        out |= (uint32_t)(v < 0 ? 0 : v > 255 ? 255 : v) << shift;
    }
    return out;
}

static uint32_t blend(uint32_t dst, uint32_t src, double w)
{
    uint32_t out = 0;
    for (int shift = 16; shift >= 0; shift -= 8)
        out |= (uint32_t)((src >> shift & 255) * w + (dst >> shift & 255) * (1.0 - w)) << shift;
    return out;
}

static const char GLYPHS[] = "abcdefghijklmnopqrstuvxyz.,-";

// Adds the glyphs of `text` onto a picture, 20 pixels per character, with
// each amount multiplied by `gain` (1 as in the show).
static void draw_text(std::vector<uint32_t>& px, int w, int h, const std::vector<uint8_t>& font,
                      const char* text, int x, int y, int gain)
{
    for (int i = 0; text[i]; i++) {
        const char* at = std::strchr(GLYPHS, text[i]);
        if (!at) continue;
        int k = (int)(at - GLYPHS);
        for (int r = 0; r < 20; r++) {
            for (int j = 0; j < 20; j++) {
                int px_x = x + 20 * i + j, px_y = y + r;
                if (px_x < 0 || px_x >= w || px_y < 0 || px_y >= h) continue;
                uint32_t& c = px[px_y * w + px_x];
                c = channel_add(c, font[r * 587 + 21 * k + j] * gain);
            }
        }
    }
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <assets dir> <out dir>\n", argv[0]);
        return 2;
    }
    std::string dir = argv[1];
    out_dir = argv[2];
    std::vector<uint8_t> background = read_asset(dir, "background_picture.bin", BACKGROUND_PICTURE_SIZE);
    std::vector<uint8_t> band = read_asset(dir, "band_picture.bin", BAND_PICTURE_SIZE);
    std::vector<uint8_t> palette_bytes = read_asset(dir, "band_palette.bin", BAND_PALETTE_SIZE);
    std::vector<uint8_t> font = read_asset(dir, "font_strip.bin", FONT_STRIP_SIZE);
    std::vector<uint8_t> mirror = read_asset(dir, "mirror_picture.bin", MIRROR_PICTURE_SIZE);
    if (failed) return 1;
    uint32_t band_palette[256];
    for (int i = 0; i < 256; i++) {
        band_palette[i] = (uint32_t)palette_bytes[4 * i] | (uint32_t)palette_bytes[4 * i + 1] << 8 |
                          (uint32_t)palette_bytes[4 * i + 2] << 16 | (uint32_t)palette_bytes[4 * i + 3] << 24;
    }

    // Hues 128 (the show's first), 213 and 43: blue-green, purple, yellow.
    static const int hues[3] = {128, 213, 43};
    uint32_t ramp[256];
    for (int hue : hues) {
        art_cycling_ramp(hue, ramp);
        std::vector<uint32_t> px(320 * 200);
        for (int y = 0; y < 200; y++)
            for (int x = 0; x < 320; x++) px[y * 320 + x] = ramp[background[(y / 2) * 160 + x / 2]];
        char name[64];
        std::snprintf(name, sizeof name, "background_hue%03d.png", hue);
        write(name, px, 320, 200, 2);
        std::vector<uint32_t> strip(320 * 50);
        for (int i = 0; i < 16000; i++) strip[i] = ramp[mirror[i]];
        std::snprintf(name, sizeof name, "mirror_hue%03d.png", hue);
        write(name, strip, 320, 50, 2);
    }

    std::vector<uint32_t> band_px(16000);
    for (int i = 0; i < 16000; i++) band_px[i] = band_palette[band[i]];
    write("band_picture.png", band_px, 160, 100, 3);

    // The glyph sheet, amounts made ten times stronger to show their shapes.
    std::vector<uint32_t> sheet(587 * 20);
    for (int i = 0; i < 587 * 20; i++) sheet[i] = channel_add(0x202020, font[i] * 10);
    write("font_strip.png", sheet, 587, 20, 3);

    // The opening at about 20 s: band open (rows 50 and 151 black, rows
    // 51..150 darkened by 64), the band picture blended at 0.16 with its
    // edge ramps, the scroll text on row 150.
    {
        art_cycling_ramp(150, ramp);
        std::vector<uint32_t> px(320 * 200);
        for (int y = 0; y < 200; y++)
            for (int x = 0; x < 320; x++) px[y * 320 + x] = ramp[background[(y / 2) * 160 + x / 2]];
        for (int y = 50; y <= 151; y++)
            for (int x = 0; x < 320; x++)
                px[y * 320 + x] = (y == 50 || y == 151) ? 0 : channel_add(px[y * 320 + x], -64);
        const double f = 0.16;
        for (int r = 0; r < 100; r++) {
            uint32_t* row = &px[(51 + r) * 320];
            for (int c = 0; c < 160; c++) row[80 + c] = blend(row[80 + c], band_palette[band[r * 160 + c]], f);
            double w = 0.0;
            for (int c = 0; c < 80; c++, w += f / 80.0) row[c] = blend(row[c], band_palette[band[r * 160]], w);
            w = f;
            for (int c = 240; c < 320; c++, w -= f / 80.0) row[c] = blend(row[c], band_palette[band[r * 160 + 159]], w);
        }
        draw_text(px, 320, 200, font, "this is an addiction and", 0, 150, 1);
        write("opening_frame.png", px, 320, 200, 2);
    }

    // The ray tracer's frame: the strip on top with its text, the strip
    // turned half a turn below, the traced rows left grey.
    {
        art_cycling_ramp(40, ramp);
        std::vector<uint32_t> px(320 * 200, 0x404040);
        for (int i = 0; i < 16000; i++) {
            px[i] = ramp[mirror[i]];
            px[150 * 320 + i] = ramp[mirror[15999 - i]];
        }
        draw_text(px, 320, 200, font, "whhhoooaa... no precalc of", 0, 30, 1);
        write("raytrace_frame.png", px, 320, 200, 2);
    }

    // Every glyph and the show's texts at three times the show's amounts on
    // a dark ground, then at the show's own amounts on a mid grey.
    {
        std::vector<uint32_t> px(320 * 132, 0x181818);
        for (int i = 66 * 320; i < 132 * 320; i++) px[i] = 0x606060;
        draw_text(px, 320, 132, font, "abcdefghijklmnop", 0, 0, 3);
        draw_text(px, 320, 132, font, "qrstuvxyz.,-", 0, 22, 3);
        draw_text(px, 320, 132, font, "unique kalevoon", 0, 44, 3);
        draw_text(px, 320, 132, font, "because you like it", 0, 72, 1);
        draw_text(px, 320, 132, font, "no precalc of anykind", 0, 96, 1);
        write("font_sample.png", px, 320, 132, 3);
    }
    return failed ? 1 : 0;
}
