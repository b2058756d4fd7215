// The 2D scenes: first values, single-precision steps, the band, the blend,
// the swarm's projection and phase, the mirrored bands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "fx2d/font.h"
#include "fx2d/framebuffer.h"
#include "fx2d/scenes.h"
#include "assets/assets.h"

namespace {

struct ScenesTest : ::testing::Test {
    std::unique_ptr<FrameBuffer> fb = std::make_unique<FrameBuffer>();
    std::vector<uint8_t> blank_font = std::vector<uint8_t>(FONT_STRIP_SIZE, 0);
    void SetUp() override
    {
        frame_buffer = fb.get();
        prepare_scenes();
        fill(0x00808080);
    }
    void TearDown() override
    {
        frame_buffer = nullptr;
        glyph_strip = font_strip;
    }
    void fill(uint32_t v) { for (uint32_t& p : fb->pixels) p = v; }
    uint32_t at(int x, int y) { return fb->pixels[y * FB_WIDTH + x]; }
    // Text drawn with an all-zero strip changes nothing.
    void hide_text() { glyph_strip = blank_font.data(); }
    bool row_is(int y, uint32_t v)
    {
        for (int x = 0; x < FB_WIDTH; x++)
            if (at(x, y) != v) return false;
        return true;
    }
};

TEST_F(ScenesTest, PrepareGivesFirstValuesAndTheGradientMap)
{
    hue_counter = 5; fade_in_level = 1; band_edge = 3; blend_factor = 0.5f; white_level = 9;
    scroll_x = 7; mirror_text_x = 7; swarm_phase = 2; swarm_text_phase = 2;
    prepare_scenes();
    EXPECT_EQ(hue_counter, 128.0f);
    EXPECT_EQ(fade_in_level, 255.0f);
    EXPECT_EQ(band_edge, 100.0f);
    EXPECT_EQ(blend_factor, 0.0f);
    EXPECT_EQ(white_level, 0);
    EXPECT_EQ(scroll_x, 0);
    EXPECT_EQ(mirror_text_x, 0);
    EXPECT_EQ(swarm_phase, 0.0f);
    EXPECT_EQ(swarm_text_phase, 0.0f);
    for (int y = 0; y < 200; y++)
        for (int x = 0; x < 320; x += 53) ASSERT_EQ(gradient_map[y * 320 + x], y);
}

TEST_F(ScenesTest, OpeningFadesInFromBlackOverFiveHundredTenCalls)
{
    for (int i = 0; i < 64000; i++) background_map[i] = uint8_t(i * 7);
    scene_opening_background(0);
    int lit = 0;
    for (uint32_t p : fb->pixels) lit += p != 0;
    EXPECT_EQ(lit, 0);  // darkened by 255
    EXPECT_EQ(fade_in_level, 254.5f);
    // Second call darkens by trunc(254.5) = 254: channels over 254 survive.
    Palette p;
    build_cycling_palette(128, 128, 128, &p);
    scene_opening_background(0);
    for (int i = 0; i < 64000; i++) {
        uint32_t c = p.colours[background_map[i]];
        uint32_t e = ((c >> 16 & 0xFF) > 254 ? 1u : 0u) << 16 | ((c >> 8 & 0xFF) > 254 ? 1u : 0u) << 8 |
                     ((c & 0xFF) > 254 ? 1u : 0u);
        ASSERT_EQ(fb->pixels[i], e) << i;
    }
    for (int i = 2; i < 510; i++) scene_opening_background(0);
    EXPECT_EQ(fade_in_level, 0.0f);
    scene_opening_background(0);
    EXPECT_EQ(fade_in_level, 0.0f);
    // Fully faded in: the map through the palette of the truncated hue.
    build_cycling_palette(int(hue_counter - 0.1f), 128, 128, &p);
    for (int i = 0; i < 64000; i++) ASSERT_EQ(fb->pixels[i], p.colours[background_map[i]]) << i;
}

TEST_F(ScenesTest, HueCounterStepsInSinglePrecisionAndIsSharedByTheBackgrounds)
{
    float expected = 128.0f;
    for (int i = 0; i < 30; i++) {
        const int hue_byte = int(expected) & 255;
        if (i % 3 == 0) scene_opening_background(0);
        if (i % 3 == 1) scene_gradient_background(0);
        if (i % 3 == 2) scene_mirrored_picture(0);
        Palette p;
        build_cycling_palette(hue_byte, 128, 128, &p);
        for (int k = 0; k < 256; k++) ASSERT_EQ(cycle_palette.colours[k], p.colours[k]);
        expected = float(expected + float(0.1));
        ASSERT_EQ(hue_counter, expected) << i;
    }
}

TEST_F(ScenesTest, BandBeforeOpeningIsTwoBlackLines)
{
    for (int argument : {0, 2, 3, 4, 7}) {
        prepare_scenes();
        fill(0x00808080);
        hide_text();
        if (argument == 3) {
            scene_band_overlay(3);  // white level 1: the frame is brightened by 1
            EXPECT_TRUE(row_is(100, 0x00010101));
            EXPECT_TRUE(row_is(101, 0x00010101));
            EXPECT_TRUE(row_is(99, 0x00818181));
            continue;
        }
        scene_band_overlay(argument);
        if (argument == 2) {
            // The blend at factor 0 changes nothing; the lines remain.
            EXPECT_EQ(blend_factor, 0.01f);
        }
        int changed = 0;
        for (uint32_t p : fb->pixels) changed += p != 0x00808080;
        EXPECT_EQ(changed, 640) << argument;
        EXPECT_TRUE(row_is(100, 0));
        EXPECT_TRUE(row_is(101, 0));
    }
}

TEST_F(ScenesTest, BandOpensToRowsFiftyAndOneHundredFiftyOne)
{
    for (int i = 0; i < 166; i++) scene_band_overlay(1);
    EXPECT_GT(band_edge, 50.0f);
    scene_band_overlay(1);
    EXPECT_EQ(band_edge, 49.899673f);
    scene_band_overlay(1);
    EXPECT_EQ(band_edge, 49.899673f);
    fill(0x00808080);
    scene_band_overlay(1);
    EXPECT_TRUE(row_is(49, 0x00808080));
    EXPECT_TRUE(row_is(50, 0));
    for (int y = 51; y <= 150; y++) ASSERT_TRUE(row_is(y, 0x00404040)) << y;
    EXPECT_TRUE(row_is(151, 0));
    EXPECT_TRUE(row_is(152, 0x00808080));
}

TEST_F(ScenesTest, BlendFactorRisesToPointSixteenAndFallsToZeroInEightCalls)
{
    float previous = -1;
    int increases = 0;
    for (int i = 0; i < 40; i++) {
        scene_band_overlay(2);
        if (blend_factor != previous) increases++;
        previous = blend_factor;
    }
    EXPECT_EQ(increases, 16);
    EXPECT_EQ(blend_factor, 0.16f);
    for (int i = 0; i < 7; i++) {
        scene_band_overlay(4);
        ASSERT_GT(blend_factor, 0.0f) << i;
    }
    scene_band_overlay(4);
    EXPECT_EQ(blend_factor, 0.0f);
    scene_band_overlay(4);
    EXPECT_EQ(blend_factor, 0.0f);
}

TEST_F(ScenesTest, WhiteLevelStopsAt255AndBrightensEveryCall)
{
    for (int i = 0; i < 255; i++) scene_band_overlay(3);
    EXPECT_EQ(white_level, 255);
    scene_band_overlay(3);
    EXPECT_EQ(white_level, 255);
    fill(0);
    scene_band_overlay(0);  // any argument brightens by the level
    EXPECT_TRUE(row_is(0, 0x00FFFFFF));
    EXPECT_TRUE(row_is(100, 0x00FFFFFF));
}

// Independent check of one blended channel at weight w.
uint32_t blend_expected(uint32_t src, uint32_t dst, double w)
{
    uint32_t out = 0;
    for (int shift : {16, 8, 0}) {
        double v = double(src >> shift & 0xFF) * w + double(dst >> shift & 0xFF) * (1.0 - w);
        out |= uint32_t(std::trunc(v)) << shift;
    }
    return out;
}

TEST_F(ScenesTest, BlendPictureAndItsRamps)
{
    std::vector<uint8_t> picture(160 * 100);
    uint32_t palette[256];
    for (int i = 0; i < 256; i++) palette[i] = uint32_t(i) << 16 | uint32_t(255 - i) << 8 | uint32_t(i / 2);
    for (int r = 0; r < 100; r++)
        for (int c = 0; c < 160; c++) picture[r * 160 + c] = uint8_t(r + 3 * c);
    fill(0x00336699);
    const float f = 0.16f;
    blend_picture(picture.data(), palette, f, 80, 51, 160, 100);
    const double step = double(float(f * 0.0125f));
    EXPECT_TRUE(row_is(50, 0x00336699));
    EXPECT_TRUE(row_is(151, 0x00336699));
    for (int r : {0, 37, 99}) {
        const int y = 51 + r;
        EXPECT_EQ(at(80, y), blend_expected(palette[picture[r * 160]], 0x00336699, f));
        EXPECT_EQ(at(239, y), blend_expected(palette[picture[r * 160 + 159]], 0x00336699, f));
        EXPECT_EQ(at(150, y), blend_expected(palette[picture[r * 160 + 70]], 0x00336699, f));
        EXPECT_EQ(at(0, y), 0x00336699u);  // the left ramp starts at weight 0
        double w = 0;
        for (int x = 0; x < 80; x++, w += step)
            ASSERT_EQ(at(x, y), blend_expected(palette[picture[r * 160]], 0x00336699, w)) << x;
        w = f;
        for (int x = 240; x < 320; x++, w -= step)
            ASSERT_EQ(at(x, y), blend_expected(palette[picture[r * 160 + 159]], 0x00336699, w)) << x;
    }
    // A pixel equal to its source colour is unchanged.
    for (int r = 0; r < 100; r++)
        for (int c = 0; c < 160; c++) fb->pixels[(51 + r) * 320 + 80 + c] = palette[picture[r * 160 + c]];
    blend_picture(picture.data(), palette, f, 80, 51, 160, 100);
    for (int r = 0; r < 100; r++)
        for (int c = 0; c < 160; c++)
            ASSERT_EQ(fb->pixels[(51 + r) * 320 + 80 + c], palette[picture[r * 160 + c]]);
}

TEST_F(ScenesTest, BlendPictureClipsAndHoldsChannelsInRange)
{
    std::vector<uint8_t> picture(160 * 100, 1);
    uint32_t palette[256] = {};
    palette[1] = 0x00FFFFFF;
    // Placed partly outside the frame, at weights beyond 0..1: rows outside
    // are skipped, every channel stays 0..255.
    blend_picture(picture.data(), palette, 3.0f, 250, 150, 160, 100);
    blend_picture(picture.data(), palette, -2.0f, -100, -60, 160, 100);
    for (uint32_t p : fb->pixels) ASSERT_EQ(p >> 24, 0u);
    EXPECT_EQ(at(260, 160), 0x00FFFFFFu);
}

TEST_F(ScenesTest, ScrollTextMovesTwoPixelsLeftPerCall)
{
    std::vector<uint8_t> strip(FONT_STRIP_SIZE, 0);
    for (int r = 0; r < 20; r++) strip[r * FONT_STRIP_WIDTH + 21 * 19] = 10;  // column 0 of "t"
    glyph_strip = strip.data();
    fill(0);
    scene_scroll_text(5);
    EXPECT_EQ(scroll_x, -2);
    // "t" is character 7: its first column at x = 140, rows 150..169.
    EXPECT_EQ(at(140, 150), 0x000A0A0Au);
    EXPECT_EQ(at(140, 169), 0x000A0A0Au);
    EXPECT_EQ(at(140, 170), 0u);
    fill(0);
    scene_scroll_text(5);
    EXPECT_EQ(at(138, 160), 0x000A0A0Au);
    EXPECT_EQ(at(140, 160), 0u);
    scroll_x = -2147483647;
    scene_scroll_text(5);
    EXPECT_EQ(scroll_x, -2147483647 - 1);  // held at the minimum, no wrap
    scene_scroll_text(5);
    EXPECT_EQ(scroll_x, -2147483647 - 1);
}

TEST_F(ScenesTest, SwarmDropsPointsWithNoFiniteOrHugeCoordinates)
{
    int x = -7, y = -7;
    // Point 0 at phase 0 has Z = 0: y is infinite and x is 0/0.
    EXPECT_FALSE(swarm_project_point(0, 0.0f, &x, &y));
    // A tiny Z puts y far outside the int range, above and below.
    EXPECT_FALSE(swarm_project_point(0, 1e-9f, &x, &y));
    EXPECT_FALSE(swarm_project_point(0, -1e-9f, &x, &y));
    EXPECT_FALSE(swarm_project_point(0, 1e-30f, &x, &y));
    EXPECT_EQ(x, -7);
    EXPECT_EQ(y, -7);
    // A point on the frame agrees with the formula truncated toward zero.
    int on = 0;
    for (int i = 0; i < 10000; i += 13) {
        const float p = 1234.5f;
        const float z = float(std::sin((i + double(p) * 1.02) * 0.03333333333333333) * 10.0);
        const double ey = std::cos((i + double(p) * 1.03) * 0.05) * 10.0 * 64.0 / z + 100.0;
        const double ex = std::sin((i + double(p)) * 0.1) * 10.0 * 64.0 / z + 160.0;
        const bool inside = ex > -1 && ex < 320 && ey > -1 && ey < 200;
        ASSERT_EQ(swarm_project_point(i, p, &x, &y), inside) << i;
        if (inside) {
            on++;
            EXPECT_EQ(x, int(std::trunc(ex)));
            EXPECT_EQ(y, int(std::trunc(ey)));
        }
    }
    EXPECT_GT(on, 100);
}

TEST_F(ScenesTest, SwarmFadesFromWhiteByTheLevelBeforeItsDecrease)
{
    hide_text();
    white_level = 3;
    scene_gradient_background(0);
    const uint32_t top = at(0, 0);  // black: palette entry 0
    EXPECT_EQ(top, 0u);
    scene_points_swarm(0);
    EXPECT_EQ(white_level, 2);
    // Row 0 is brightened by 3 (points aside).
    int grey3 = 0;
    for (int x = 0; x < 320; x++) grey3 += at(x, 0) == 0x00030303;
    EXPECT_GT(grey3, 250);
    white_level = 0;
    scene_gradient_background(0);
    scene_points_swarm(0);
    EXPECT_EQ(white_level, 0);
}

TEST_F(ScenesTest, SwarmPointsAddThirtyAndNeverWrap)
{
    hide_text();
    fill(0);
    scene_points_swarm(0);
    EXPECT_EQ(swarm_phase, 100.00295f);
    // Every lit pixel is a multiple of 30 in each channel (saturating at
    // 255), and the count of added 30s matches the points on the frame.
    int hits = 0, lit = 0;
    for (uint32_t p : fb->pixels) {
        if (!p) continue;
        lit++;
        uint32_t b = p & 0xFF;
        ASSERT_EQ(p, b << 16 | b << 8 | b);
        ASSERT_TRUE(b % 30 == 0 || b == 255) << b;
        hits += b == 255 ? 9 : int(b / 30);
    }
    int expected_hits = 0, saturated = 0;
    std::vector<int> count(64000, 0);
    float phase = 0.0f;
    for (int i = 0; i < 10000; i++, phase += 0.01f) {
        int x, y;
        if (swarm_project_point(i, phase, &x, &y)) {
            expected_hits++;
            if (++count[y * 320 + x] == 9) saturated++;
        }
    }
    EXPECT_GT(lit, 500);
    EXPECT_LT(lit, expected_hits);  // some pixels take two points or more
    if (saturated == 0) {
        EXPECT_EQ(hits, expected_hits);
    }
}

TEST_F(ScenesTest, SwarmPhaseFreezesOnThe2293rdCall)
{
    hide_text();
    int calls = 0;
    float before = -1;
    while (swarm_phase != before && calls < 3000) {
        before = swarm_phase;
        scene_points_swarm(0);
        calls++;
        if (calls == 2292) {
            EXPECT_EQ(swarm_phase, 262144.0f);
        }
    }
    EXPECT_EQ(calls, 2293);  // the first call that leaves the phase unchanged
    EXPECT_EQ(swarm_phase, 262144.0f);
    // A frozen swarm draws the same picture every call.
    fill(0);
    scene_points_swarm(0);
    std::vector<uint32_t> first(fb->pixels, fb->pixels + 64000);
    fill(0);
    scene_points_swarm(0);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), fb->pixels));
}

TEST_F(ScenesTest, SwarmTextSwingsFromMinusTenAtPhaseZero)
{
    std::vector<uint8_t> strip(FONT_STRIP_SIZE, 0);
    strip[21 * 1] = 40;  // top left byte of "b", the text's first character
    glyph_strip = strip.data();
    fill(0);
    swarm_phase = 262144.0f;  // points frozen, known
    scene_points_swarm(0);
    std::vector<uint32_t> points(fb->pixels, fb->pixels + 64000);
    // x = trunc(sin(0) * 140 - 10) = -10: the "b" cell starts off the frame.
    EXPECT_EQ(swarm_text_phase, 0.1f);
    for (int i = 0; i < 64000; i++) ASSERT_EQ(fb->pixels[i], points[i]);
    swarm_text_phase = 1.5707964f;  // x = trunc(140 - 10) = 129
    fill(0);
    scene_points_swarm(0);
    EXPECT_EQ(at(129, 150) & 0xFF, (points[150 * 320 + 129] & 0xFF) + 40);
}

TEST_F(ScenesTest, MirroredBandsAreTheTopTurnedByHalfATurn)
{
    hide_text();
    fill(0x00123456);
    scene_mirrored_picture(4);
    Palette p;
    build_cycling_palette(128, 128, 128, &p);
    for (int i = 0; i < 16000; i++) ASSERT_EQ(fb->pixels[i], p.colours[mirror_picture[i]]) << i;
    for (int r = 0; r < 50; r++)
        for (int c = 0; c < 320; c++)
            ASSERT_EQ(at(c, 150 + r), at(319 - c, 49 - r)) << c << " " << r;
    EXPECT_EQ(at(0, 150), at(319, 49));
    EXPECT_EQ(at(319, 199), at(0, 0));
    for (int y = 50; y < 150; y++) ASSERT_TRUE(row_is(y, 0x00123456)) << y;
    EXPECT_EQ(mirror_text_x, -2);
}

TEST_F(ScenesTest, MirrorTextLiesInTheTopBandOnly)
{
    std::vector<uint8_t> strip(FONT_STRIP_SIZE, 5);
    glyph_strip = strip.data();
    mirror_text_x = 0;
    scene_mirrored_picture(4);
    std::vector<uint32_t> with_text(fb->pixels, fb->pixels + 64000);
    hide_text();
    hue_counter -= 0.1f;
    mirror_text_x = 0;
    scene_mirrored_picture(4);
    int changed = 0;
    for (int i = 0; i < 64000; i++)
        if (with_text[i] != fb->pixels[i]) {
            changed++;
            ASSERT_GE(i / 320, 30);
            ASSERT_LT(i / 320, 50);
        }
    // "w" at character 7 leaves a gap; the other 8 visible glyphs show.
    EXPECT_GT(changed, 0);
    EXPECT_EQ(with_text[30 * 320 + 7 * 20], fb->pixels[30 * 320 + 7 * 20]);
    EXPECT_NE(with_text[30 * 320 + 8 * 20], fb->pixels[30 * 320 + 8 * 20]);
}

}  // namespace
