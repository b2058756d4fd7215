// The ray-traced frame: the band against the per-pixel rule, golden
// pictures, the sideways smear and the 46-frame burst cycle.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "fx2d/framebuffer.h"
#include "raytracer/raytracer.h"
#include "tests/support/golden.h"

namespace {

struct RayFrameTest : ::testing::Test {
    std::unique_ptr<FrameBuffer> fb = std::make_unique<FrameBuffer>();
    void SetUp() override
    {
        frame_buffer = fb.get();
        init_ray_scene();
        memset(ray_picture, 0, sizeof(ray_picture));
        smear_countdown = 0;
    }
    void TearDown() override { frame_buffer = nullptr; }
};

// The band of ray_picture as the reference rule gives it, pixel by pixel.
void reference_band(uint32_t* picture)
{
    const Vec3 eye = {RAY_EYE_X, RAY_EYE_Y, RAY_EYE_Z};
    for (int i = 0; i < RAY_BAND_ROWS; i++)
        for (int x = 0; x < FB_WIDTH; x++)
            picture[(RAY_BAND_FIRST_ROW + i) * FB_WIDTH + x] =
                primary_ray_pixel(eye, camera_ray_direction(x, i));
}

TEST(RayCamera, MiddleRowLooksDownTheTiltedAxis)
{
    const Vec3 d = camera_ray_direction(160, 49);
    EXPECT_EQ(d.x, 0.0f);
    // (0, 0, -128) turned by -pi/4: towards (0, 0, 16) from the eye.
    EXPECT_FLOAT_EQ(d.y, -128.0f * 0.70710677f);
    EXPECT_FLOAT_EQ(d.z, -128.0f * 0.70710677f);
    EXPECT_NEAR(RAY_EYE_Y + d.y * (80.0f / -d.y), 0.0f, 1e-5);
    EXPECT_NEAR(RAY_EYE_Z + d.z * (80.0f / -d.y), 16.0f, 1e-4);
    const Vec3 corner = camera_ray_direction(0, 0);
    EXPECT_EQ(corner.x, -160.0f);
    EXPECT_FLOAT_EQ(corner.y, 49 * 0.70710677f - 128 * 0.70710677f);
    EXPECT_FLOAT_EQ(corner.z, 49 * -0.70710677f - 128 * 0.70710677f);
}

// The frame tracer must give exactly the pixels of the per-pixel rule, at
// animation steps spread over two turns of the slowest angle.
TEST_F(RayFrameTest, TracedBandEqualsThePerPixelRule)
{
    static uint32_t expected[FB_PIXELS];
    int checked = 0;
    for (int step = 1; step <= 1100; step++) {
        animate_ray_scene();
        if (step % 50 != 1)
            continue;
        trace_frame();
        reference_band(expected);
        int differing = 0, lit = 0;
        for (int p = 50 * FB_WIDTH; p < 149 * FB_WIDTH; p++) {
            differing += ray_picture[p] != expected[p];
            lit += ray_picture[p] != 0;
        }
        EXPECT_EQ(differing, 0) << "after " << step << " steps";
        EXPECT_GT(lit, 5000) << "after " << step << " steps";
        checked++;
    }
    EXPECT_EQ(checked, 22);
}

TEST_F(RayFrameTest, PictureOutsideRows50To148StaysBlack)
{
    for (int f = 0; f < 3; f++) {
        animate_ray_scene();
        trace_frame();
    }
    for (int p = 0; p < FB_PIXELS; p++) {
        if (p < 50 * FB_WIDTH || p >= 149 * FB_WIDTH) {
            ASSERT_EQ(ray_picture[p], 0u) << p;
        }
    }
}

TEST_F(RayFrameTest, BandMatchesGoldenPictures)
{
    // Sharp bands at the first frame and after the ring has swung.
    const int steps[] = {1, 120, 333};
    int done = 0;
    for (int step : steps) {
        while (done < step) {
            animate_ray_scene();
            done++;
        }
        trace_frame();
        EXPECT_TRUE(golden_match("raytrace_step" + std::to_string(step),
                                 ray_picture + 50 * FB_WIDTH, FB_WIDTH, 100));
    }
}

// One pixel of smear_band by its definition.
uint32_t smeared_pixel(const uint32_t* source, int x, int y, int n)
{
    uint32_t r = 0, g = 0, b = 0, count = 0;
    for (int k = 0; k < n; k++) {
        const int c = x - n + 2 * k;
        if (c < 0 || c > 319)
            continue;
        const uint32_t p = source[y * FB_WIDTH + c];
        r += (p >> 16) & 0xFF;
        g += (p >> 8) & 0xFF;
        b += p & 0xFF;
        count++;
    }
    return count ? ((r / count) << 16) | ((g / count) << 8) | (b / count) : 0;
}

struct SmearTest : ::testing::Test {
    std::unique_ptr<uint32_t[]> source{new uint32_t[FB_PIXELS]};
    std::unique_ptr<uint32_t[]> destination{new uint32_t[FB_PIXELS]};
    void SetUp() override
    {
        std::mt19937 random(7);
        for (int p = 0; p < FB_PIXELS; p++)
            source[p] = random() & 0xFFFFFF;
        for (int p = 0; p < FB_PIXELS; p++)
            destination[p] = 0xABCDEF;
    }
    uint32_t src(int x, int y) { return source[y * FB_WIDTH + x]; }
    uint32_t dst(int x, int y) { return destination[y * FB_WIDTH + x]; }
};

TEST_F(SmearTest, StrengthOneShiftsOneColumnRight)
{
    smear_band(source.get(), destination.get(), 1);
    for (int y = 50; y < 150; y++) {
        ASSERT_EQ(dst(0, y), 0u) << y;
        for (int x = 1; x < FB_WIDTH; x++)
            ASSERT_EQ(dst(x, y), src(x - 1, y)) << x << "," << y;
    }
    // Only rows 50..149 are written.
    EXPECT_EQ(dst(5, 49), 0xABCDEFu);
    EXPECT_EQ(dst(5, 150), 0xABCDEFu);
}

TEST_F(SmearTest, StrengthTwentyAveragesEverySecondColumnAtTheEdges)
{
    for (int p = 0; p < FB_PIXELS; p++)
        source[p] = uint32_t(p % FB_WIDTH) / 2 * 0x010101;  // channel = column / 2
    smear_band(source.get(), destination.get(), 20);
    // Column 0: columns 0, 2, ..., 18 -> channels 0..9, sum 45, over 10.
    EXPECT_EQ(dst(0, 80), 0x040404u);
    // Column 319: columns 299, 301, ..., 319 (x - n + 2k for k < n, all
    // inside the row) -> channels 149..159, sum 1694, over 11.
    EXPECT_EQ(dst(319, 80), 0x9A9A9Au);
    // Column 318: columns 298, ..., 318 -> 149..159 -> 154.
    EXPECT_EQ(dst(318, 80), 0x9A9A9Au);
    // Column 1: columns -19.. are cut off: 1, 3, ..., 19 -> 0..9 -> 4.
    EXPECT_EQ(dst(1, 149), 0x040404u);
}

TEST_F(SmearTest, EveryStrengthMatchesTheDefinitionPixelForPixel)
{
    for (int n = 1; n <= 20; n++) {
        smear_band(source.get(), destination.get(), n);
        int differing = 0;
        for (int y = 50; y < 150; y++)
            for (int x = 0; x < FB_WIDTH; x++)
                differing += dst(x, y) != smeared_pixel(source.get(), x, y, n);
        EXPECT_EQ(differing, 0) << "strength " << n;
    }
    // Saturated sums divide exactly too.
    for (int p = 0; p < FB_PIXELS; p++)
        source[p] = (p & 1) ? 0xFFFFFF : 0xFEFDFC;
    for (int n = 1; n <= 20; n++) {
        smear_band(source.get(), destination.get(), n);
        for (int y = 50; y < 150; y += 33)
            for (int x = 0; x < FB_WIDTH; x++)
                ASSERT_EQ(dst(x, y), smeared_pixel(source.get(), x, y, n)) << n << " " << x;
    }
}

// 25 sharp frames, 20 smeared from strength 20 down to 1, then 26 sharp,
// then the next burst. Sharp frames write all 200 rows, smeared ones only
// rows 50..149, so a marker in row 0 tells them apart. The world is moved
// out of sight to keep the many frames cheap; the schedule is the same.
TEST_F(RayFrameTest, BurstsOfTwentySmearedFramesEvery46)
{
    ray_scene.sphere_count = 1;
    ray_scene.spheres[0].rest_position = {0, 0, 1e6f};
    for (int f = 1; f <= 118; f++) {
        fb->pixels[0] = 0x123456;
        fb->pixels[149 * FB_WIDTH + 7] = 0x123456;
        raytrace_scene(4);
        const int in_cycle = (f - 26 + 46) % 46;  // 0: first smeared frame
        const bool smeared = f >= 26 && in_cycle < 20;
        EXPECT_EQ(fb->pixels[0] == 0x123456, smeared) << "frame " << f;
        if (smeared) {
            EXPECT_EQ(smear_countdown, 20 - in_cycle) << "frame " << f;
        }
        // Row 149 is black either way.
        EXPECT_EQ(fb->pixels[149 * FB_WIDTH + 7], 0u) << "frame " << f;
    }
}

// A smeared frame of the real world: the band is the smear of the traced
// picture at the countdown's strength.
TEST_F(RayFrameTest, SmearedFrameIsTheSmearOfTheTracedBand)
{
    static uint32_t expected[FB_PIXELS];
    smear_countdown = -25;  // the next call starts a burst
    raytrace_scene(4);
    ASSERT_EQ(smear_countdown, 20);
    smear_band(ray_picture, expected, 20);
    EXPECT_EQ(memcmp(fb->pixels + 50 * FB_WIDTH, expected + 50 * FB_WIDTH, 100 * FB_WIDTH * 4), 0);
    raytrace_scene(4);
    smear_band(ray_picture, expected, 19);
    EXPECT_EQ(memcmp(fb->pixels + 50 * FB_WIDTH, expected + 50 * FB_WIDTH, 100 * FB_WIDTH * 4), 0);
    EXPECT_TRUE(golden_match("raytrace_smear19", fb->pixels + 50 * FB_WIDTH, FB_WIDTH, 100));
}

}  // namespace
