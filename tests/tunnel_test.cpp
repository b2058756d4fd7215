// The closing tube: state steps, the grid, the 2x2 averaging, untouched far
// pixels and the point straight down the axis.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "fx2d/framebuffer.h"
#include "fx2d/tunnel.h"

namespace {

struct TunnelTest : ::testing::Test {
    std::unique_ptr<FrameBuffer> fb = std::make_unique<FrameBuffer>();
    void SetUp() override
    {
        frame_buffer = fb.get();
        init_tunnel_scene();
        fill(0x00ABCDEF);
    }
    void TearDown() override { frame_buffer = nullptr; }
    void fill(uint32_t v) { for (uint32_t& p : fb->pixels) p = v; }
    uint32_t at(int x, int y) { return fb->pixels[y * FB_WIDTH + x]; }
    static int g(int j, int i) { return j * TUNNEL_GRID_ROWS + i; }
};

// The pixel for a shade and coordinates, or `keep` when the shade is not positive.
uint32_t tube_pixel(int shade, int column, int row, uint32_t keep)
{
    if (shade <= 0) return keep;
    uint32_t texel = uint32_t((row & 255) ^ (column & 255));
    uint32_t v = std::min<uint32_t>(texel * uint32_t(shade) >> 8, 255);
    return (v >> 2) << 16 | (v >> 1) << 8 | v;
}

TEST_F(TunnelTest, InitFillsTheXorTextureAndZeroesTheState)
{
    tunnel_scroll = 77;
    tunnel_turn1 = 3;
    init_tunnel_scene();
    EXPECT_EQ(tunnel_scroll, 0);
    EXPECT_EQ(tunnel_turn0, 0.0f);
    EXPECT_EQ(tunnel_turn1, 0.0f);
    EXPECT_EQ(tunnel_turn2, 0.0f);
    EXPECT_EQ(tunnel_texture[3 * 256 + 5], 6);
    EXPECT_EQ(tunnel_texture[255 * 256 + 0], 255);
    EXPECT_EQ(tunnel_texture[170 * 256 + 85], 255);
    EXPECT_EQ(tunnel_texture[200 * 256 + 200], 0);
}

TEST_F(TunnelTest, StateAdvancesBeforeUseAndAnglesWrapOnce)
{
    tunnel_scene(8);
    EXPECT_EQ(tunnel_scroll, 8);
    EXPECT_EQ(tunnel_turn0, 0.013523523f);
    EXPECT_EQ(tunnel_turn1, 0.024356324f);
    EXPECT_EQ(tunnel_turn2, 0.034521367f);
    tunnel_scroll = 250;
    tunnel_turn0 = 6.28f;  // 6.28 + 0.0135 > 2 pi: one turn off
    tunnel_scene(8);
    EXPECT_EQ(tunnel_scroll, 2);
    EXPECT_EQ(tunnel_turn0, float(float(6.28f + 0.013523523f) - 6.2831855f));
    EXPECT_GT(tunnel_turn0, 0.0f);
}

TEST_F(TunnelTest, GridValuesStayInTheirRanges)
{
    for (int frame = 0; frame < 300; frame++) {
        tunnel_scene(8);
        int max_shade = -10000;
        for (int n = 0; n < TUNNEL_GRID_POINTS; n++) {
            ASSERT_LE(grid_shade[n], 230);
            ASSERT_GE(grid_shade[n], TUNNEL_FAR_SHADE);
            ASSERT_GE(grid_column[n], 0);
            ASSERT_LE(grid_column[n], 255);
            max_shade = std::max(max_shade, grid_shade[n]);
        }
        ASSERT_GT(max_shade, 150) << frame;  // the near wall is always bright
    }
}

TEST_F(TunnelTest, BlocksAverageGridPairsAndSkipDarkPixels)
{
    for (int frame = 0; frame < 37; frame++) tunnel_scene(8);
    std::unique_ptr<FrameBuffer> before = std::make_unique<FrameBuffer>(*fb);
    tunnel_scene(8);
    int untouched = 0;
    for (int q = 0; q < 160; q++)
        for (int p = 0; p < 100; p++) {
            const int n = g(q, p);
            const int pairs[4] = {n, g(q + 1, p), g(q, p + 1), g(q + 1, p + 1)};
            for (int k = 0; k < 4; k++) {
                const int x = 2 * q + (k & 1), y = 2 * p + (k >> 1);
                int shade = grid_shade[n], column = grid_column[n], row = grid_row[n];
                if (k) {
                    shade = (grid_shade[n] + grid_shade[pairs[k]]) / 2;
                    column = (grid_column[n] + grid_column[pairs[k]]) >> 1;
                    row = (grid_row[n] + grid_row[pairs[k]]) >> 1;
                }
                const uint32_t keep = before->pixels[y * 320 + x];
                ASSERT_EQ(at(x, y), tube_pixel(shade, column, row, keep)) << x << " " << y;
                untouched += shade <= 0;
            }
        }
    EXPECT_GT(untouched, 0);  // the far end of the tube shows what was there
}

TEST_F(TunnelTest, FarEndKeepsTheFrameColour)
{
    tunnel_scene(8);
    int kept = 0;
    for (uint32_t p : fb->pixels) kept += p == 0x00ABCDEF;
    EXPECT_GT(kept, 20);
    // Every written pixel is blue-dominant: v, v/2, v/4.
    for (uint32_t p : fb->pixels) {
        if (p == 0x00ABCDEF) continue;
        uint32_t v = p & 0xFF;
        ASSERT_EQ(p, (v >> 2) << 16 | (v >> 1) << 8 | v);
    }
}

TEST_F(TunnelTest, PointStraightDownTheAxisIsInfinitelyFar)
{
    // Angles that step to exactly 0: no swing, and grid point (80, 50) looks
    // straight down the axis, where the hit is undefined.
    tunnel_turn0 = -0.013523523f;
    tunnel_turn1 = -0.024356324f;
    tunnel_turn2 = -0.034521367f;
    tunnel_scene(8);
    EXPECT_EQ(tunnel_turn0, 0.0f);
    EXPECT_LE(grid_shade[g(80, 50)], 0);
    // Its pixel and every pixel averaged with it keep the frame colour.
    EXPECT_EQ(at(160, 100), 0x00ABCDEFu);
    EXPECT_EQ(at(159, 100), 0x00ABCDEFu);
    EXPECT_EQ(at(160, 99), 0x00ABCDEFu);
    EXPECT_EQ(at(159, 99), 0x00ABCDEFu);
    // Its neighbours lie near the axis too: straight ahead, far.
    EXPECT_LE(grid_shade[g(81, 50)], 0);
    // At the edges the wall is near: pz = 0 would give 230, these are close.
    EXPECT_GT(grid_shade[g(0, 0)], 200);
}

}  // namespace
