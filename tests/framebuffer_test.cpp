// Frame buffer operations: saturation, amounts, row ranges and clipping.
#include <gtest/gtest.h>

#include <memory>

#include "fx2d/framebuffer.h"

namespace {

struct FrameBufferTest : ::testing::Test {
    std::unique_ptr<FrameBuffer> fb = std::make_unique<FrameBuffer>();
    void SetUp() override { frame_buffer = fb.get(); fill(0); }
    void TearDown() override { frame_buffer = nullptr; }
    void fill(uint32_t v) { for (uint32_t& p : fb->pixels) p = v; }
    uint32_t at(int x, int y) { return fb->pixels[y * FB_WIDTH + x]; }
    int changed_from(uint32_t v) {
        int n = 0;
        for (uint32_t p : fb->pixels) n += p != v;
        return n;
    }
};

TEST_F(FrameBufferTest, BrightenSaturatesPerChannelAndClearsTopByte)
{
    fill(0xFF10F0FE);
    fb_brighten(0);
    EXPECT_EQ(at(5, 5), 0x0010F0FEu);
    fill(0x0010F0FE);
    fb_brighten(16);
    EXPECT_EQ(at(0, 0), 0x0020FFFFu);
    fb_brighten(255);
    EXPECT_EQ(changed_from(0x00FFFFFF), 0);
}

TEST_F(FrameBufferTest, DarkenSaturatesAtZeroChannelEqualToAmountGoesBlack)
{
    fill(0x00402041);
    fb_darken(0x40);
    EXPECT_EQ(at(319, 199), 0x00000001u);
    fill(0x00123456);
    fb_darken(0);
    EXPECT_EQ(at(1, 1), 0x00123456u);
    fb_darken(255);
    EXPECT_EQ(changed_from(0), 0);
}

TEST_F(FrameBufferTest, OnlyTheLowEightBitsOfAnAmountCount)
{
    fill(0x00101010);
    fb_brighten(256);
    EXPECT_EQ(at(0, 0), 0x00101010u);
    fb_brighten(300);  // acts as 44
    EXPECT_EQ(at(0, 0), 0x003C3C3Cu);
    fb_darken(256 + 0x3C);
    EXPECT_EQ(at(0, 0), 0u);
    fb_add_pixel(3, 3, 0x105);
    EXPECT_EQ(at(3, 3), 0x00050505u);
}

TEST_F(FrameBufferTest, DarkenRowsCoversExactlyItsRows)
{
    fill(0x00808080);
    fb_darken_rows(64, 51, 151);
    EXPECT_EQ(at(319, 50), 0x00808080u);
    EXPECT_EQ(at(0, 51), 0x00404040u);
    EXPECT_EQ(at(319, 150), 0x00404040u);
    EXPECT_EQ(at(0, 151), 0x00808080u);
    fill(0x00808080);
    fb_darken_rows(64, 101, 100);
    EXPECT_EQ(changed_from(0x00808080), 0);
    fb_darken_rows(64, 100, 100);
    EXPECT_EQ(changed_from(0x00808080), 0);
}

TEST_F(FrameBufferTest, ClearRowBlackensOneRow)
{
    fill(0x00FFFFFF);
    fb_clear_row(199);
    EXPECT_EQ(changed_from(0x00FFFFFF), 320);
    EXPECT_EQ(at(0, 199), 0u);
    EXPECT_EQ(at(319, 198), 0x00FFFFFFu);
}

TEST_F(FrameBufferTest, AddPixelClipsEveryEdgeWithoutOverflow)
{
    fill(0x00F00000);
    const int outside[][2] = {{320, 0}, {-1, 5}, {0, 200}, {0, -1},
                              {2000000000, 0}, {-2000000000, 100},
                              {5, 2000000000}, {5, -2000000000}, {-1, 1}};
    for (auto& c : outside) {
        fb_add_pixel(c[0], c[1], 30);
        fb_brighten_point(c[0], c[1]);
    }
    EXPECT_EQ(changed_from(0x00F00000), 0);
    fb_add_pixel(319, 199, 0x20);
    EXPECT_EQ(at(319, 199), 0x00FF2020u);
    fb_add_pixel(0, 0, 0);
    EXPECT_EQ(at(0, 0), 0x00F00000u);
}

TEST_F(FrameBufferTest, BrightenPointAddsThirtyAndRejectsWrappingIndex)
{
    fill(0x00E00010);
    // (-1, 1) has linear index 319, inside the frame; it must still be refused.
    fb_brighten_point(-1, 1);
    EXPECT_EQ(at(319, 0), 0x00E00010u);
    fb_brighten_point(319, 0);
    EXPECT_EQ(at(319, 0), 0x00FE1E2Eu);
    fb_brighten_point(319, 0);
    EXPECT_EQ(at(319, 0), 0x00FF3C4Cu);
}

TEST(MapThroughPalette, MapsCountBytesAndReportsCount)
{
    uint32_t table[256];
    for (int i = 0; i < 256; i++) table[i] = 0x00010203u * uint32_t(i & 0x3F);
    const uint8_t source[5] = {0, 1, 63, 64, 255};
    uint32_t out[6] = {9, 9, 9, 9, 9, 9};
    EXPECT_EQ(map_through_palette(source, out, table, 5), 5);
    EXPECT_EQ(out[0], table[0]);
    EXPECT_EQ(out[2], table[63]);
    EXPECT_EQ(out[4], table[255]);
    EXPECT_EQ(out[5], 9u);
    EXPECT_EQ(map_through_palette(source, out, table, 0), 0);
    EXPECT_EQ(map_through_palette(source, out, table, -3), 0);
}

}  // namespace
