// The click counter on made-up recordings: a clean wave has none, a step is
// one click at its frame whatever the level, and busy noise is not clicks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "tools/formats/clicks.h"

namespace {

constexpr int RATE = 44100;

// One second of a 441 Hz sine at `level` of full scale on both channels
// (100 frames a cycle, so frame 25 + 100k is a crest).
std::vector<int16_t> sine(double level)
{
    std::vector<int16_t> s(2 * RATE);
    for (int n = 0; n < RATE; n++)
        s[2 * n] = s[2 * n + 1] = (int16_t)std::lround(32767 * level * std::sin(2 * M_PI * n / 100.0));
    return s;
}

// From frame `from` on, the right channel's wave turned upside down: at a
// crest it jumps from its top to its bottom, 2.8 times its RMS.
void flip_right(std::vector<int16_t>& s, int from)
{
    for (size_t n = (size_t)from; n < s.size() / 2; n++) s[2 * n + 1] = (int16_t)-s[2 * n + 1];
}

}  // namespace

TEST(Clicks, CleanWaveHasNoneAndAStepIsOneClickAtItsFrameAtAnyLevel)
{
    EXPECT_EQ(clicks_count(sine(0.5).data(), RATE, RATE), 0);
    EXPECT_EQ(clicks_count(nullptr, 0, RATE), 0);
    std::vector<int16_t> silence(2 * RATE, 0);
    EXPECT_EQ(clicks_count(silence.data(), RATE, RATE), 0);

    for (double level : {0.5, 0.02}) {
        std::vector<int16_t> s = sine(level);
        flip_right(s, 20025);
        Click where[4] = {};
        ASSERT_EQ(clicks_count(s.data(), RATE, RATE, where, 4), 1) << "level " << level;
        EXPECT_EQ(where[0].frame, 20025);
        EXPECT_EQ(where[0].channel, 1);
        // Scaled to an RMS of 0.1, the crest is at 0.1 * sqrt(2).
        EXPECT_NEAR(where[0].before, 0.1 * M_SQRT2 * std::sin(2 * M_PI * 24 / 100.0), 0.003);
        EXPECT_NEAR(where[0].after, -0.1 * M_SQRT2, 0.003);
    }
}

TEST(Clicks, SmallJumpsAreNoneAndJumpsWithin10MsAreOne)
{
    // The wave lifted for 1000 frames by 0.06 of full scale after scaling,
    // under the 0.08 of the rule: nothing; lifted by 0.1: a click up and
    // one down.
    for (double lift : {0.06, 0.1}) {
        std::vector<int16_t> s = sine(0.5);
        for (int n = 20000; n < 21000; n++) {
            double v = 0.5 * std::sin(2 * M_PI * n / 100.0) + 0.5 * lift / (0.1 * M_SQRT2);
            s[2 * n] = s[2 * n + 1] = (int16_t)std::lround(32767 * v);
        }
        EXPECT_EQ(clicks_count(s.data(), RATE, RATE), lift < 0.08 ? 0 : 2) << "lift " << lift;
    }

    // Two flips 5 ms apart are one click; a third 100 ms later another.
    std::vector<int16_t> s = sine(0.5);
    flip_right(s, 20025);
    flip_right(s, 20225);
    flip_right(s, 24625);
    Click where[4] = {};
    ASSERT_EQ(clicks_count(s.data(), RATE, RATE, where, 4), 2);
    EXPECT_EQ(where[0].frame, 20025);
    EXPECT_EQ(where[1].frame, 24625);
}

TEST(Clicks, JumpsOfABusyNoisePassageAreNotCounted)
{
    // A wave with 0.2 s of loud white noise in the middle: its jumps
    // reach far above 0.08 of full scale, but never 8 times the jumps
    // around them.
    std::vector<int16_t> s = sine(0.4);
    uint32_t state = 0x2468ACEu;
    double largest = 0, sum = 0;
    for (int n = 0; n < RATE; n++) sum += 2.0 * s[2 * n] * s[2 * n];
    for (int n = 20000; n < 28820; n++)
        for (int c = 0; c < 2; c++) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            int v = (int)(state >> 16) - 32768;
            sum += (double)v * v - (double)s[2 * n + c] * s[2 * n + c];
            s[2 * n + c] = (int16_t)v;
        }
    double scale = 0.1 / (std::sqrt(sum / (2.0 * RATE)) / 32768.0) / 32768.0;
    for (int n = 20001; n < 28820; n++)
        largest = std::fmax(largest, std::abs(s[2 * n] - s[2 * n - 2]) * scale);
    ASSERT_GT(largest, 0.2);   // the passage is indeed full of large jumps
    EXPECT_EQ(clicks_count(s.data(), RATE, RATE), 0);

    // The same passage with one step in the wave after it still shows that
    // step.
    flip_right(s, 35025);
    Click where[2] = {};
    ASSERT_EQ(clicks_count(s.data(), RATE, RATE, where, 2), 1);
    EXPECT_EQ(where[0].frame, 35025);
}
