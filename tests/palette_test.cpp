// Colour-cycling palette: HSV conversion, the ramps and the worked examples.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "palette/palette.h"

namespace {

uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) { return r << 16 | g << 8 | b; }

struct Worked {
    int hue_byte;
    uint32_t colour, e1, e64, e127, e128, e129, e192, e255;
};

// Saturation and value bytes 128, as the scenes pass them.
const Worked worked[] = {
    {0, rgb(128, 63, 63), rgb(1, 0, 0), rgb(64, 31, 31), rgb(127, 62, 62), rgb(128, 63, 63),
     rgb(128, 64, 64), rgb(191, 159, 159), rgb(254, 253, 253)},
    {43, rgb(127, 128, 63), rgb(0, 1, 0), rgb(63, 64, 31), rgb(126, 127, 62), rgb(127, 128, 63),
     rgb(128, 128, 64), rgb(191, 191, 159), rgb(254, 254, 253)},
    {128, rgb(63, 127, 128), rgb(0, 0, 1), rgb(31, 63, 64), rgb(62, 126, 127), rgb(63, 127, 128),
     rgb(64, 128, 128), rgb(159, 191, 191), rgb(253, 254, 254)},
    {255, rgb(128, 63, 63), rgb(1, 0, 0), rgb(64, 31, 31), rgb(127, 62, 62), rgb(128, 63, 63),
     rgb(128, 64, 64), rgb(191, 159, 159), rgb(254, 253, 253)},
};

TEST(CyclingPalette, WorkedExamples)
{
    for (const Worked& w : worked) {
        SCOPED_TRACE(w.hue_byte);
        Palette p;
        build_cycling_palette(w.hue_byte, 128, 128, &p);
        EXPECT_EQ(p.colours[0], 0u);
        EXPECT_EQ(p.colours[1], w.e1);
        EXPECT_EQ(p.colours[64], w.e64);
        EXPECT_EQ(p.colours[127], w.e127);
        EXPECT_EQ(p.colours[128], w.e128);
        EXPECT_EQ(p.colours[128], w.colour);
        EXPECT_EQ(p.colours[129], w.e129);
        EXPECT_EQ(p.colours[192], w.e192);
        EXPECT_EQ(p.colours[255], w.e255);
    }
}

TEST(CyclingPalette, OnlyLowEightBitsOfEachArgumentCount)
{
    Palette a, b;
    build_cycling_palette(0, 128, 128, &a);
    build_cycling_palette(256, 128 + 512, 128 - 1024, &b);
    for (int i = 0; i < 256; i++) ASSERT_EQ(a.colours[i], b.colours[i]) << i;
    build_cycling_palette(-1, 128, 128, &b);  // low byte 255: same as 0
    for (int i = 0; i < 256; i++) ASSERT_EQ(a.colours[i], b.colours[i]) << i;
}

TEST(CyclingPalette, EveryHueOfTheCycleHasChannels63And128)
{
    // V255 = 128 and p = 63: one channel at 128, one at 63, one between.
    for (int h = 0; h < 256; h++) {
        Palette p;
        build_cycling_palette(h, 128, 128, &p);
        uint32_t c = p.colours[128];
        int ch[3] = {int(c >> 16), int(c >> 8 & 0xFF), int(c & 0xFF)};
        int lo = std::min({ch[0], ch[1], ch[2]}), hi = std::max({ch[0], ch[1], ch[2]});
        EXPECT_EQ(lo, 63) << h;
        EXPECT_GE(hi, 127) << h;  // q truncates 127.x at the sector ends
        EXPECT_LE(hi, 128) << h;
        EXPECT_EQ(c >> 24, 0u);
    }
}

TEST(CyclingPalette, ZeroSaturationIsGrey)
{
    Palette p;
    build_cycling_palette(77, 0, 200, &p);
    // value = single(200/255), times 255 = 200.0000x: grey 200.
    EXPECT_EQ(p.colours[128], rgb(200, 200, 200));
    build_cycling_palette(77, 256, 255, &p);  // saturation byte 0 again
    EXPECT_EQ(p.colours[128], rgb(255, 255, 255));
}

TEST(HsvToRgb, SectorsAndGrey)
{
    int r, g, b;
    hsv_to_rgb(0.0f, 1.0f, 1.0f, &r, &g, &b);
    EXPECT_EQ((std::array<int, 3>{r, g, b}), (std::array<int, 3>{255, 0, 0}));
    hsv_to_rgb(120.0f, 1.0f, 1.0f, &r, &g, &b);
    EXPECT_EQ((std::array<int, 3>{r, g, b}), (std::array<int, 3>{0, 255, 0}));
    hsv_to_rgb(240.0f, 1.0f, 1.0f, &r, &g, &b);
    EXPECT_EQ((std::array<int, 3>{r, g, b}), (std::array<int, 3>{0, 0, 255}));
    // Sector 5 (300..360): (V, p, q); at 330, q = 255 * 0.5 truncated.
    hsv_to_rgb(330.0f, 1.0f, 1.0f, &r, &g, &b);
    EXPECT_EQ((std::array<int, 3>{r, g, b}), (std::array<int, 3>{255, 0, 127}));
    hsv_to_rgb(360.0f, 1.0f, 1.0f, &r, &g, &b);  // a whole turn is sector 0
    EXPECT_EQ((std::array<int, 3>{r, g, b}), (std::array<int, 3>{255, 0, 0}));
    hsv_to_rgb(200.0f, 0.0f, 0.5f, &r, &g, &b);  // 127.5 truncated
    EXPECT_EQ((std::array<int, 3>{r, g, b}), (std::array<int, 3>{127, 127, 127}));
}

TEST(HsvToRgb, NegativeHueIsRaisedByWholeTurns)
{
    int r1, g1, b1, r2, g2, b2;
    hsv_to_rgb(-120.0f, 1.0f, 1.0f, &r1, &g1, &b1);
    EXPECT_EQ((std::array<int, 3>{r1, g1, b1}), (std::array<int, 3>{0, 0, 255}));
    hsv_to_rgb(-1000.0f, 0.6f, 0.9f, &r1, &g1, &b1);  // -1000 + 3 * 360 = 80
    hsv_to_rgb(80.0f, 0.6f, 0.9f, &r2, &g2, &b2);
    EXPECT_EQ((std::array<int, 3>{r1, g1, b1}), (std::array<int, 3>{r2, g2, b2}));
}

TEST(HsvToRgb, HostileArgumentsEndAndStayInRange)
{
    // A hue far below zero, where adding 360 no longer changes a float,
    // non-finite hues, and fractions outside 0..1 all give channels 0..255.
    const float hues[] = {-1e30f, -3e9f, HUGE_VALF, -HUGE_VALF, NAN, 1e30f};
    const float fractions[] = {-2.0f, 0.3f, 7.0f, NAN, HUGE_VALF};
    for (float h : hues)
        for (float s : fractions)
            for (float v : fractions) {
                int r = -1, g = -1, b = -1;
                hsv_to_rgb(h, s, v, &r, &g, &b);
                EXPECT_TRUE(r >= 0 && r <= 255 && g >= 0 && g <= 255 && b >= 0 && b <= 255)
                    << h << " " << s << " " << v;
            }
    int r, g, b;
    hsv_to_rgb(90.0f, 0.5f, 7.0f, &r, &g, &b);  // value held to 1
    EXPECT_EQ(std::max({r, g, b}), 255);
}

TEST(GradientPalette, RampsFromBlackThroughColourTowardsWhite)
{
    Palette p;
    build_gradient_palette(0, &p);
    EXPECT_EQ(p.colours[0], 0u);
    EXPECT_EQ(p.colours[128], 0u);
    EXPECT_EQ(p.colours[255], rgb(253, 253, 253));  // 127 * 255 >> 7
    build_gradient_palette(0xFFFFFF, &p);
    EXPECT_EQ(p.colours[127], rgb(253, 253, 253));
    EXPECT_EQ(p.colours[255], rgb(255, 255, 255));
    // Top byte of the colour is ignored; each entry follows the formulas.
    build_gradient_palette(0xAB10C080, &p);
    for (uint32_t i = 0; i < 128; i++) {
        ASSERT_EQ(p.colours[i], rgb(i * 0x10 >> 7, i * 0xC0 >> 7, i * 0x80 >> 7)) << i;
        ASSERT_EQ(p.colours[128 + i], rgb(0x10 + (i * (255 - 0x10) >> 7),
                                          0xC0 + (i * (255 - 0xC0) >> 7),
                                          0x80 + (i * (255 - 0x80) >> 7))) << i;
    }
}

}  // namespace
