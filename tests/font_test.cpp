// Bitmap font: glyph lookup, advance, clipping at every edge, saturation.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "fx2d/font.h"
#include "fx2d/framebuffer.h"
#include "assets/assets.h"

namespace {

// A strip of its own: glyph k's byte at (row r, column j) is 1 + k + r + j,
// so every glyph, row and column tells apart; separator columns are 99 to
// show if one is ever drawn.
struct FontTest : ::testing::Test {
    std::unique_ptr<FrameBuffer> fb = std::make_unique<FrameBuffer>();
    std::vector<uint8_t> strip = std::vector<uint8_t>(FONT_STRIP_WIDTH * FONT_STRIP_HEIGHT, 99);
    void SetUp() override
    {
        for (int k = 0; k < GLYPH_COUNT; k++)
            for (int r = 0; r < 20; r++)
                for (int j = 0; j < 20; j++)
                    strip[r * FONT_STRIP_WIDTH + 21 * k + j] = uint8_t(1 + k + r + j);
        glyph_strip = strip.data();
        frame_buffer = fb.get();
        fill(0);
    }
    void TearDown() override
    {
        glyph_strip = font_strip;
        frame_buffer = nullptr;
    }
    void fill(uint32_t v) { for (uint32_t& p : fb->pixels) p = v; }
    uint32_t at(int x, int y) { return fb->pixels[y * FB_WIDTH + x]; }
    static uint32_t grey(uint32_t v) { return v << 16 | v << 8 | v; }
    // Expected amount at frame (x, y) for glyph k drawn at (gx, gy), or 0.
    static uint32_t amount(int k, int gx, int gy, int x, int y)
    {
        int j = x - gx, r = y - gy;
        if (j < 0 || j >= 20 || r < 0 || r >= 20) return 0;
        return uint32_t(1 + k + r + j);
    }
    // True when the frame holds exactly the glyphs (k, gx, gy) over black.
    ::testing::AssertionResult holds(std::vector<std::array<int, 3>> glyphs)
    {
        for (int y = 0; y < FB_HEIGHT; y++)
            for (int x = 0; x < FB_WIDTH; x++) {
                uint32_t v = 0;
                for (auto& g : glyphs) v += amount(g[0], g[1], g[2], x, y);
                if (at(x, y) != grey(v))
                    return ::testing::AssertionFailure()
                           << "pixel (" << x << ", " << y << ") is " << std::hex << at(x, y)
                           << ", expected " << grey(v);
            }
        return ::testing::AssertionSuccess();
    }
};

TEST(GlyphIndex, OnlyTheTwentyEightGlyphCharacters)
{
    const char order[] = "abcdefghijklmnopqrstuvxyz.,-";
    for (int k = 0; k < 28; k++) EXPECT_EQ(glyph_index((unsigned char)order[k]), k);
    for (int c : std::initializer_list<int>{' ', 'w', 'A', 'Z', '0', '9', 0xE4, 0, 255, 128, -1, 256 + 'a', '!', '\n'})
        EXPECT_EQ(glyph_index(c), -1) << c;
}

TEST_F(FontTest, GlyphIsItsCellAddedAtThePosition)
{
    draw_glyph(10, 20, 'c');
    EXPECT_TRUE(holds({{2, 10, 20}}));
    // The separator column (99) next to the cell is never drawn.
    EXPECT_EQ(at(30, 20), 0u);
    draw_glyph(100, 100, '-');
    EXPECT_TRUE(holds({{2, 10, 20}, {27, 100, 100}}));
}

TEST_F(FontTest, EveryCharacterAdvancesTwentyPixels)
{
    // Space, "w", a capital, a digit and "ä" draw nothing but keep their cell.
    EXPECT_EQ(draw_text("a b\xE4wAz9.", 0, 0), 0);
    EXPECT_TRUE(holds({{0, 0, 0}, {1, 40, 0}, {24, 120, 0}, {25, 160, 0}}));
}

TEST_F(FontTest, EmptyStringDrawsNothing)
{
    draw_text("", 0, 0);
    EXPECT_TRUE(holds({}));
}

TEST_F(FontTest, ClipsAtAllFourEdges)
{
    draw_glyph(-7, 50, 'a');    // left: columns 7..19 of the cell
    draw_glyph(310, 90, 'b');   // right: columns 0..9
    draw_glyph(150, -13, 'c');  // top: rows 13..19
    draw_glyph(200, 191, 'd');  // bottom: rows 0..8
    draw_glyph(-5, -5, 'e');    // corner
    draw_glyph(315, 195, 'f');  // opposite corner
    EXPECT_TRUE(holds({{0, -7, 50}, {1, 310, 90}, {2, 150, -13}, {3, 200, 191},
                       {4, -5, -5}, {5, 315, 195}}));
}

TEST_F(FontTest, TextAtNegativeXStartsAtTheFirstColumnInside)
{
    draw_text("abc", -25, 0);  // "a" wholly off, "b" from its column 5
    EXPECT_TRUE(holds({{1, -5, 0}, {2, 15, 0}}));
}

TEST_F(FontTest, FarOffTextDrawsNothingAndDoesNotOverflow)
{
    const int far[][2] = {{-2147483647 - 1, 0}, {2147483647, 0}, {0, 2147483647},
                          {0, -2147483647 - 1}, {-2147483600, 100}, {0, 200}, {320, 0},
                          {0, -20}};
    for (auto& p : far) draw_text("abcdefghijklmnopqrstuvxyz.,-abc", p[0], p[1]);
    draw_glyph(-20, 0, 'a');  // one column short of the frame on each side
    draw_glyph(320, 199, 'a');
    draw_glyph(0, -20, 'a');
    EXPECT_TRUE(holds({}));
    // The cells of a long line starting near the int minimum come into view.
    draw_text("aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
              -1500, 0);
    std::vector<std::array<int, 3>> line;
    for (int i = 0; i < 77; i++)
        if (-1500 + 20 * i > -20 && -1500 + 20 * i < 320) line.push_back({0, -1500 + 20 * i, 0});
    EXPECT_TRUE(holds(line));
}

TEST_F(FontTest, AmountsAddWithSaturation)
{
    fill(0x00F0F0F0);
    std::fill(strip.begin(), strip.end(), 22);
    draw_glyph(0, 0, 'a');
    EXPECT_EQ(at(0, 0), 0x00FFFFFFu);  // 240 + 22 saturates
    fill(0x00100000);
    for (uint8_t& b : strip) b = 0;
    strip[0] = 22;
    draw_glyph(0, 0, 'a');
    EXPECT_EQ(at(0, 0), 0x00261616u);
    EXPECT_EQ(at(1, 0), 0x00100000u);  // a byte of 0 leaves the pixel alone
    draw_glyph(0, 0, 'a');             // twice: the amount twice
    EXPECT_EQ(at(0, 0), 0x003C2C2Cu);
}

}  // namespace
