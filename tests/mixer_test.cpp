// The voice operations, the voice mixer and the output clipper, on
// hand-built samples laid out as the loader lays them out.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "mixer/divide.h"
#include "mixer/voice.h"
#include "mixer/sample.h"

namespace {

// A sample whose data sits between two inaccessible pages: the length
// values, the guard value and the loader's spare values, nothing more. A
// read outside them ends the test binary with a fault.
struct FencedSample {
    Sample sample{};
    uint8_t* mapping = nullptr;
    size_t mapping_bytes = 0;

    FencedSample(const std::vector<int16_t>& values, uint32_t loop_start,
                 uint32_t loop_length, uint8_t loop_type)
    {
        size_t page = size_t(sysconf(_SC_PAGESIZE));
        size_t count = values.size() + SAMPLE_SPARE_VALUES;
        size_t data_pages = (count * 2 + page - 1) / page;
        mapping_bytes = (data_pages + 2) * page;
        mapping = static_cast<uint8_t*>(mmap(nullptr, mapping_bytes, PROT_NONE,
                                             MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        mprotect(mapping + page, data_pages * page, PROT_READ | PROT_WRITE);
        int16_t* data = reinterpret_cast<int16_t*>(mapping + (data_pages + 1) * page) - count;
        memset(data, 0, count * 2);
        memcpy(data, values.data(), values.size() * 2);
        uint32_t end = loop_start + loop_length;
        if (!values.empty())
            data[end] = loop_type == LOOP_PINGPONG ? data[end - 1] : data[loop_start];
        sample.data = values.empty() ? nullptr : data;
        sample.length = uint32_t(values.size());
        sample.loop_start = loop_start;
        sample.loop_length = loop_length;
        sample.loop_type = loop_type;
        sample.bits = 16;
    }
    ~FencedSample() { munmap(mapping, mapping_bytes); }
};

std::vector<int16_t> ramp_values(int n, int scale)
{
    std::vector<int16_t> v(size_t(n), 0);
    for (int i = 0; i < n; i++)
        v[size_t(i)] = int16_t((i * 37 % 101 - 50) * scale);
    return v;
}

// The voice array as the device sets it up, at 44100 Hz.
class Mixer : public ::testing::Test {
protected:
    void SetUp() override
    {
        voices_set_rate(44100);
        ASSERT_TRUE(voices_open());
    }
    void TearDown() override { voices_close(); }
    // Gains reached at once: no ramp in what is mixed next.
    static void settle(Voice* v)
    {
        v->current_left = v->ramp_target_left = v->gain_left;
        v->current_right = v->ramp_target_right = v->gain_right;
        v->ramp_frames_left = 0;
    }
};

// An independent model of one voice with fixed gains: frame by frame, the
// boundary handled as soon as the position has crossed it.
struct ModelVoice {
    uint64_t p;
    uint64_t step;
    int direction;
    bool ended;
};

bool model_crossed(const ModelVoice& m, const Sample& s)
{
    uint64_t start = uint64_t(s.loop_start) << 32;
    uint64_t end = (uint64_t(s.loop_start) + s.loop_length) << 32;
    // Signed: a step back past frame 0 goes below zero, not round to 2^32.
    return m.direction == VOICE_FORWARD ? m.p >= end : int64_t(m.p) < int64_t(start);
}

void model_boundary(ModelVoice& m, const Sample& s)
{
    __int128 start = __int128(s.loop_start) << 32;
    __int128 end = (__int128(s.loop_start) + s.loop_length) << 32;
    if (s.loop_type == LOOP_FORWARD) {
        do
            m.p -= uint64_t(s.loop_length) << 32;
        while (m.p >= uint64_t(end));
    } else if (s.loop_type == LOOP_PINGPONG) {
        __int128 p = __int128(int64_t(m.p));
        do {
            if (m.direction == VOICE_FORWARD)
                p = 2 * end - p - 1;
            else
                p = 2 * start - p - 1;
            m.direction = m.direction == VOICE_FORWARD ? VOICE_BACKWARD : VOICE_FORWARD;
        } while (p < start || p >= end);
        m.p = uint64_t(p);
    } else {
        m.ended = true;
    }
}

void model_mix(ModelVoice& m, const Sample& s, float gain_left, float gain_right,
               float* out, int frames)
{
    if (!m.ended && model_crossed(m, s))
        model_boundary(m, s);
    for (int k = 0; k < frames && !m.ended; k++) {
        uint32_t i = uint32_t(m.p >> 32);
        float w = float(int32_t(uint32_t(m.p) >> 1)) * (1.0f / 2147483648.0f);
        float x0 = s.data[i], x1 = s.data[i + 1];
        float v = x0 + w * (x1 - x0);
        out[2 * k] += v * gain_left;
        out[2 * k + 1] += v * gain_right;
        uint64_t step = m.direction == VOICE_FORWARD ? m.step : uint64_t(0) - m.step;
        m.p = (m.p & ~uint64_t(1)) + step;
        if (model_crossed(m, s))
            model_boundary(m, s);
    }
}

// Index of the first float that differs, or -1.
long first_difference(const std::vector<float>& a, const std::vector<float>& b)
{
    for (size_t i = 0; i < a.size() && i < b.size(); i++)
        if (!(a[i] == b[i]))
            return long(i);
    return a.size() == b.size() ? -1 : long(std::min(a.size(), b.size()));
}

TEST_F(Mixer, FrequencySetsThe3232StepAndIsClamped)
{
    Voice* v = &voices[0];
    EXPECT_TRUE(voice_set_frequency(v, 8363));
    EXPECT_EQ(v->step, 0);
    EXPECT_EQ(v->step_fraction, 814485521u);
    voice_set_frequency(v, 44100);
    EXPECT_EQ(v->step, 1);
    EXPECT_EQ(v->step_fraction, 0u);
    voice_set_frequency(v, 99);
    Voice at100 = *v;
    voice_set_frequency(&at100, 100);
    EXPECT_EQ(v->step, at100.step);
    EXPECT_EQ(v->step_fraction, at100.step_fraction);
    EXPECT_EQ(v->step_fraction, uint32_t((uint64_t(100) << 32) / 44100));
    voice_set_frequency(v, -5);
    EXPECT_EQ(v->step_fraction, at100.step_fraction);
    voice_set_frequency(v, 705601);
    EXPECT_EQ(v->step, 16);
    EXPECT_EQ(v->step_fraction, 0u);
    voice_set_frequency(v, INT32_MAX);
    EXPECT_EQ(v->step, 16);
    // The clamp is 16 x 44100 at any rate.
    voices_set_rate(22050);
    voice_set_frequency(v, 1000000);
    EXPECT_EQ(v->step, 32);
    EXPECT_FALSE(voice_set_frequency(nullptr, 1000));
}

// The shift-and-subtract division against the machine's over the edges of
// both operands (one-bit quotients, full 64-bit ones, equal operands, a
// divisor with the top bit set) and random pairs of every length; and the
// ramp length, worked in 32 bits, against its 64-bit product at every rate.
TEST(Divide, MatchesTheMachinesQuotientAndRemainder)
{
    std::vector<uint64_t> edges = {0, 1, 2, 3, 7, 44100, 0xFFFFFFFFu, 0x100000000u, 0x100000001u,
                                   0x8000000000000000u, 0x7FFFFFFFFFFFFFFFu, UINT64_MAX - 1, UINT64_MAX};
    std::mt19937_64 random(27);
    for (int bits = 1; bits <= 64; bits++)
        for (int i = 0; i < 40; i++)
            edges.push_back(random() >> (64 - bits));
    for (uint64_t n : edges)
        for (uint64_t d : edges) {
            uint64_t rest = 12345;
            uint64_t q = divide_u64_by_steps(n, d, &rest);
            if (d == 0) {
                ASSERT_EQ(q, UINT64_MAX);
                ASSERT_EQ(rest, n);
                continue;
            }
            ASSERT_EQ(q, n / d) << n << " / " << d;
            ASSERT_EQ(rest, n % d) << n << " % " << d;
            ASSERT_EQ(divide_u64_by_steps(n, d, nullptr), q);
            ASSERT_EQ(divide_u64(n, d, &rest), q);
            ASSERT_EQ(rest, n % d);
        }
    std::vector<int64_t> signed_edges = {0, 1, -1, 2, -2, 7, -7, 65536, -65536, 4294901760, -4294901760,
                                         INT64_MAX, INT64_MIN + 1};
    for (int i = 0; i < 60; i++)
        signed_edges.push_back(int64_t(random()) >> (i % 63));
    for (int64_t n : signed_edges)
        for (int64_t d : signed_edges) {
            if (d == 0)
                continue;
            int64_t rest = 12345;
            ASSERT_EQ(divide_s64_by_steps(n, d, &rest), n / d) << n << " / " << d;
            ASSERT_EQ(rest, n % d) << n << " % " << d;
            ASSERT_EQ(divide_s64(n, d, nullptr), n / d);
        }
    for (int32_t rate : {0, 1, 8000, 22050, 44099, 44100, 44101, 96000, 384000, INT32_MAX, -1, -44100,
                         -44101, INT32_MIN}) {
        voices_set_rate(rate);
        EXPECT_EQ(ramp_frames, int32_t(int64_t(rate) * 128 / OUTPUT_RATE_DEFAULT)) << rate;
    }
    voices_set_rate(OUTPUT_RATE_DEFAULT);
}

TEST_F(Mixer, VolumeAndPanningDivideTheGains)
{
    Voice* v = &voices[3];
    struct {
        int panning, left, right;
    } cases[] = {{128, 63, 63}, {0, 127, 0}, {255, 0, 127}, {256, 0, 127}};
    for (auto c : cases) {
        // Either order of the two operations gives the same gains.
        voice_set_volume(v, 127);
        voice_set_panning(v, c.panning);
        EXPECT_EQ(v->gain_left, c.left) << "panning " << c.panning;
        EXPECT_EQ(v->gain_right, c.right) << "panning " << c.panning;
        voice_set_volume(v, 0);
        voice_set_panning(v, c.panning);
        voice_set_volume(v, 127);
        EXPECT_EQ(v->gain_left, c.left) << "panning " << c.panning;
        EXPECT_EQ(v->gain_right, c.right) << "panning " << c.panning;
    }
    voice_set_volume(v, 255);
    voice_set_panning(v, 256);
    EXPECT_EQ(v->gain_left, 0);
    EXPECT_EQ(v->gain_right, 255);
    EXPECT_EQ(v->volume, 255);
    EXPECT_EQ(v->panning, 256);
}

TEST_F(Mixer, StartTakesTheOffsetOnlyInsideTheLoop)
{
    FencedSample s(ramp_values(100, 10), 20, 50, LOOP_FORWARD);
    Voice* v = &voices[7];
    voice_set_frequency(v, 22050);
    v->start_offset = 69;
    v->position_fraction = 123;
    v->direction = VOICE_BACKWARD;
    EXPECT_EQ(voice_start(7, &s.sample), 7);
    EXPECT_EQ(v->position, 69u);
    EXPECT_EQ(v->position_fraction, 0u);
    EXPECT_EQ(v->direction, VOICE_FORWARD);
    EXPECT_EQ(v->start_offset, 0u);
    EXPECT_EQ(v->step_fraction, 1u << 31);  // the step stays
    v->start_offset = 70;  // the loop end
    voice_start(7, &s.sample);
    EXPECT_EQ(v->position, 0u);
    v->start_offset = 0xFFFFFFFFu;
    voice_start(7, &s.sample);
    EXPECT_EQ(v->position, 0u);

    EXPECT_EQ(voice_start(7, nullptr), -1);
    EXPECT_EQ(voice_start(-1, &s.sample), -1);
    EXPECT_EQ(voice_start(256, &s.sample), -1);
    EXPECT_TRUE(voice_stop(7));
    EXPECT_EQ(v->sample, nullptr);
    EXPECT_EQ(v->position, 0u);
    EXPECT_FALSE(voice_stop(-1));
    voices_close();
    EXPECT_EQ(voice_start(7, &s.sample), -1);
    EXPECT_FALSE(voice_stop(7));
}

TEST_F(Mixer, SilentVoicesAddNothing)
{
    std::vector<float> out(64, 1.5f);
    mix_voices(out.data(), &voice_list, 32);
    mix_voices(out.data(), &voice_list, 0);
    mix_voices(out.data(), &voice_list, -4);
    for (float x : out)
        EXPECT_EQ(x, 1.5f);
}

TEST_F(Mixer, FixedGainsInterpolateLinearly)
{
    FencedSample s({0, 1000, -1000, 500, 0, 0, 0, 0}, 0, 8, LOOP_NONE);
    Voice* v = &voices[0];
    voice_set_frequency(v, 11025);  // a quarter frame per output frame
    voice_set_volume(v, 255);
    voice_set_panning(v, 0);
    settle(v);
    voice_start(0, &s.sample);
    std::vector<float> out(2 * 9, 0.0f);
    mix_voices(out.data(), &voice_list, 9);
    float expect[] = {0, 250, 500, 750, 1000, 500, 0, -500, -1000};
    for (int k = 0; k < 9; k++) {
        EXPECT_FLOAT_EQ(out[size_t(2 * k)], expect[k]) << "frame " << k;
        EXPECT_EQ(out[size_t(2 * k + 1)], 0.0f);
    }
    EXPECT_EQ(v->position, 2u);
    EXPECT_EQ(v->position_fraction, 1u << 30);
}

TEST_F(Mixer, RampRisesLinearlyOver128FramesThenHolds)
{
    std::vector<int16_t> flat(4000, 1000);
    FencedSample s(flat, 0, 4000, LOOP_NONE);
    Voice* v = &voices[0];
    voice_set_frequency(v, 44100);
    voice_set_panning(v, 0);
    voice_set_volume(v, 0);
    settle(v);
    voice_start(0, &s.sample);
    voice_set_volume(v, 127);
    // One run of 300 frames: 128 with the ramp, the other 172 fixed.
    std::vector<float> out(600, 0.0f);
    mix_voices(out.data(), &voice_list, 300);
    float full = 1000.0f * (127.0f * (1.0f / 255.0f));
    float per_frame = full / 128.0f;
    for (int k = 0; k < 128; k++) {
        EXPECT_NEAR(out[size_t(2 * k)], per_frame * float(k), 0.01f) << "frame " << k;
        EXPECT_EQ(out[size_t(2 * k + 1)], 0.0f);
    }
    for (int k = 128; k < 300; k++)
        EXPECT_EQ(out[size_t(2 * k)], full) << "frame " << k;
    EXPECT_EQ(v->current_left, 127);
    EXPECT_EQ(v->ramp_frames_left, 0u);
}

TEST_F(Mixer, RampCarriesAcrossCallsAndRestartsFromTheGainsReached)
{
    std::vector<int16_t> flat(4000, 1000);
    FencedSample s(flat, 0, 4000, LOOP_NONE);
    Voice* v = &voices[0];
    voice_set_frequency(v, 44100);
    voice_set_panning(v, 128);
    voice_set_volume(v, 0);
    settle(v);
    voice_start(0, &s.sample);
    voice_set_volume(v, 255);  // gains 127 and 127
    std::vector<float> out(2 * 100, 0.0f);
    mix_voices(out.data(), &voice_list, 64);
    EXPECT_EQ(v->ramp_frames_left, 64u);
    EXPECT_NEAR(v->current_left, 64, 1);
    // The rest of the ramp, 64 frames, in a second call: the gain goes on
    // rising where it stopped and reaches the target at frame 128.
    mix_voices(out.data() + 2 * 64, &voice_list, 100 - 64);
    EXPECT_EQ(v->ramp_frames_left, 28u);
    float at100 = out[2 * 99];
    EXPECT_NEAR(at100, 1000.0f * 127.0f / 255.0f * 100.0f / 128.0f, 8.0f);
    EXPECT_GT(out[2 * 99], out[2 * 64]);
    EXPECT_GT(out[2 * 64], out[2 * 63]);

    // A new target before the end: a fresh ramp of 128 frames from there.
    voice_set_volume(v, 0);
    std::vector<float> down(2 * 200, 0.0f);
    mix_voices(down.data(), &voice_list, 200);
    EXPECT_NEAR(down[0], at100, 8.0f);
    EXPECT_LT(down[2 * 64], down[0]);
    EXPECT_NEAR(down[2 * 127], 0.0f, 8.0f);
    EXPECT_EQ(down[2 * 128], 0.0f);
    EXPECT_EQ(down[2 * 199], 0.0f);
    EXPECT_EQ(v->current_left, 0);
    EXPECT_EQ(v->current_right, 0);
}

TEST_F(Mixer, SampleWithoutLoopEndsAfterItsLastFrame)
{
    FencedSample s({100, 200, 300, 400, 500}, 0, 5, LOOP_NONE);
    Voice* v = &voices[2];
    voice_set_frequency(v, 44100);
    voice_set_volume(v, 255);
    voice_set_panning(v, 255);
    settle(v);
    voice_start(2, &s.sample);
    std::vector<float> out(2 * 8, 0.0f);
    mix_voices(out.data(), &voice_list, 8);
    float expect[] = {100, 200, 300, 400, 500, 0, 0, 0};
    for (int k = 0; k < 8; k++)
        EXPECT_EQ(out[size_t(2 * k + 1)], expect[k]) << "frame " << k;
    EXPECT_EQ(v->sample, nullptr);
    EXPECT_EQ(v->position, 0u);
    EXPECT_EQ(v->position_fraction, 0u);

    // A sample like the loader's empty one (all zero: no data, length 0,
    // loop type 0) ends at once without a read.
    Sample empty{};
    voice_start(2, &empty);
    mix_voices(out.data(), &voice_list, 8);
    EXPECT_EQ(v->sample, nullptr);
}

TEST_F(Mixer, ForwardLoopWrapsSeveralLoopLengthsWhenTheStepExceedsTheLoop)
{
    FencedSample s(ramp_values(40, 100), 10, 3, LOOP_FORWARD);
    Voice* v = &voices[0];
    voice_set_frequency(v, 44100 * 7 + 1234);  // just over 7 frames a frame
    voice_set_volume(v, 200);
    voice_set_panning(v, 60);
    settle(v);
    voice_start(0, &s.sample);
    ModelVoice m{0, (uint64_t(uint32_t(v->step)) << 32) | v->step_fraction, VOICE_FORWARD, false};
    std::vector<float> out(2 * 50, 0.0f), expect(2 * 50, 0.0f);
    mix_voices(out.data(), &voice_list, 50);
    model_mix(m, s.sample, float(v->gain_left) * (1.0f / 255.0f),
              float(v->gain_right) * (1.0f / 255.0f), expect.data(), 50);
    EXPECT_EQ(first_difference(out, expect), -1);
    EXPECT_EQ((uint64_t(v->position) << 32) | v->position_fraction, m.p);
    EXPECT_GE(v->position, 10u);
    EXPECT_LT(v->position, 13u);
}

TEST_F(Mixer, PingPongTurnsAtBothEndsAndMatchesTheModel)
{
    FencedSample s(ramp_values(64, 100), 16, 20, LOOP_PINGPONG);
    Voice* v = &voices[0];
    voice_set_frequency(v, 65432);
    voice_set_volume(v, 127);
    voice_set_panning(v, 128);
    settle(v);
    voice_start(0, &s.sample);
    ModelVoice m{0, (uint64_t(uint32_t(v->step)) << 32) | v->step_fraction, VOICE_FORWARD, false};
    float gl = float(v->gain_left) * (1.0f / 255.0f), gr = float(v->gain_right) * (1.0f / 255.0f);
    int turns = 0, last_direction = v->direction;
    // Many short calls of odd lengths: runs end mid-loop and at call ends.
    for (int call = 0; call < 200; call++) {
        int frames = 1 + call % 7;
        std::vector<float> out(size_t(2 * frames), 0.0f), expect(size_t(2 * frames), 0.0f);
        mix_voices(out.data(), &voice_list, frames);
        model_mix(m, s.sample, gl, gr, expect.data(), frames);
        ASSERT_EQ(first_difference(out, expect), -1) << "call " << call;
        ASSERT_EQ(v->direction, m.direction);
        EXPECT_GE(v->position, v->direction == VOICE_BACKWARD ? 16u : 0u);
        EXPECT_LT(v->position, 36u);
        if (v->direction != last_direction)
            turns++;
        last_direction = v->direction;
    }
    EXPECT_GT(turns, 20);
}

TEST_F(Mixer, LongRunsMatchTheModelAtManyFrequencies)
{
    // Fixed gains, two frames per iteration: the model's frame-by-frame
    // output, float for float, across loop types and odd run lengths.
    FencedSample fwd(ramp_values(300, 50), 100, 150, LOOP_FORWARD);
    FencedSample ping(ramp_values(300, 50), 7, 31, LOOP_PINGPONG);
    FencedSample none(ramp_values(300, 50), 0, 300, LOOP_NONE);
    const Sample* samples[] = {&fwd.sample, &ping.sample, &none.sample};
    int32_t frequencies[] = {100, 8363, 22050, 44100, 44101, 96000, 333333, 705600};
    for (const Sample* s : samples) {
        for (int32_t f : frequencies) {
            Voice* v = &voices[5];
            voice_set_frequency(v, f);
            voice_set_volume(v, 99);
            voice_set_panning(v, 200);
            settle(v);
            v->start_offset = 3;
            voice_start(5, const_cast<Sample*>(s));
            ModelVoice m{uint64_t(3) << 32,
                         (uint64_t(uint32_t(v->step)) << 32) | v->step_fraction,
                         VOICE_FORWARD, false};
            std::vector<float> out(2 * 1777, 0.0f), expect(2 * 1777, 0.0f);
            mix_voices(out.data(), &voice_list, 883);
            mix_voices(out.data() + 2 * 883, &voice_list, 894);
            model_mix(m, *s, float(v->gain_left) * (1.0f / 255.0f),
                      float(v->gain_right) * (1.0f / 255.0f), expect.data(), 1777);
            long at = first_difference(out, expect);
            ASSERT_EQ(at, -1) << "loop type " << int(s->loop_type) << ", " << f << " Hz: "
                              << out[size_t(at)] << " against " << expect[size_t(at)];
            EXPECT_EQ(v->sample == nullptr, m.ended);
            voice_stop(5);
        }
    }
}

TEST_F(Mixer, PositionJustShortOfTheLoopEndWrapsOnlyAfterCrossing)
{
    // One frame a frame from a position a hair's breadth below a whole
    // frame: a boundary count from a step and distance truncated to 8.24
    // ends the run one frame early, and the wrap then takes a position still
    // inside the loop below loop start 0.
    FencedSample s(ramp_values(16, 100), 0, 16, LOOP_FORWARD);
    Voice* v = &voices[0];
    voice_set_frequency(v, 44100);
    voice_set_volume(v, 255);
    settle(v);
    voice_start(0, &s.sample);
    v->position = 12;
    v->position_fraction = 0xFFFFFFFEu;
    ModelVoice m{(uint64_t(12) << 32) | 0xFFFFFFFEu, uint64_t(1) << 32, VOICE_FORWARD, false};
    std::vector<float> out(2 * 40, 0.0f), expect(2 * 40, 0.0f);
    mix_voices(out.data(), &voice_list, 40);
    model_mix(m, s.sample, float(v->gain_left) * (1.0f / 255.0f),
              float(v->gain_right) * (1.0f / 255.0f), expect.data(), 40);
    EXPECT_EQ(first_difference(out, expect), -1);
    EXPECT_LT(v->position, 16u);
}

TEST_F(Mixer, HostileFrequenciesAndOffsetsNeverReadOutsideTheData)
{
    // Every sample sits between inaccessible pages; loops as the loader
    // leaves them (within the sample). Frequencies, offsets and the moments
    // of change are random; a read outside the data faults.
    std::mt19937 rng(12345);
    std::vector<FencedSample*> samples;
    for (int i = 0; i < 24; i++) {
        uint32_t length = 1 + rng() % 50;
        uint32_t start = rng() % length;
        uint32_t loop = 1 + rng() % (length - start);
        uint8_t type = i % 3 == 0 ? LOOP_NONE : i % 3 == 1 ? LOOP_FORWARD : LOOP_PINGPONG;
        if (type == LOOP_NONE) {
            start = 0;
            loop = length;
        }
        samples.push_back(new FencedSample(ramp_values(int(length), 300), start, loop, type));
    }
    std::vector<float> out(2 * 900, 0.0f);
    for (int round = 0; round < 3000; round++) {
        for (int i = 0; i < 16; i++) {
            Voice* v = &voices[i];
            switch (rng() % 6) {
            case 0: {
                v->start_offset = rng() % 3 ? rng() % 64 : rng();
                FencedSample* s = samples[rng() % samples.size()];
                voice_start(i, &s->sample);
                break;
            }
            case 1:
                voice_set_frequency(v, int32_t(rng() % 2 ? rng() % 800000 : rng()));
                break;
            case 2:
                voice_set_volume(v, int32_t(rng() % 256));
                break;
            case 3:
                voice_set_panning(v, int32_t(rng() % 257));
                break;
            case 4:
                if (rng() % 8 == 0)
                    voice_stop(i);
                break;
            default:
                break;
            }
        }
        int frames = 1 + int(rng() % 900);
        mix_voices(out.data(), &voice_list, frames);
        for (int i = 0; i < 16; i++) {
            const Voice& v = voices[i];
            if (!v.sample)
                continue;
            uint32_t end = v.sample->loop_start + v.sample->loop_length;
            ASSERT_LT(v.position, end) << "voice " << i << " round " << round;
            if (v.direction == VOICE_BACKWARD) {
                ASSERT_GE(v.position, v.sample->loop_start);
            }
        }
    }
    for (FencedSample* s : samples)
        delete s;
    for (float x : out)
        EXPECT_TRUE(std::isfinite(x));
}

// Smooth note starts: a restart or stop hands the sounding note to a tail.
class Declick : public Mixer {
protected:
    // As the declick watcher (player/song_declick.h) and the engine do it.
    static void restart(int32_t index, const Sample* s)
    {
        voice_fade_out(&voices[index], true);
        voice_start(index, const_cast<Sample*>(s));
    }
    static void stop(int32_t index)
    {
        voice_fade_out(&voices[index], false);
        voice_stop(index);
    }
    // Voice 0 playing `s` at an uneven step, both gains up, settled, after
    // 100 frames mixed.
    static Voice* sounding(const Sample* s)
    {
        Voice* v = &voices[0];
        voice_set_frequency(v, 30011);
        voice_set_panning(v, 64);
        voice_set_volume(v, 200);
        voice_start(0, const_cast<Sample*>(s));
        settle(v);  // after the start, which would ramp it in
        std::vector<float> lead(2 * 100, 0.0f);
        mix_voices(lead.data(), &voice_list, 100);
        return v;
    }
    // The tails in the list, after the voices; with `fading`, those whose
    // fade has not run yet.
    static int tail_count(bool fading = true)
    {
        int n = 0;
        for (Voice* t = voices[VOICE_COUNT - 1].next; t != &voice_list; t = t->next)
            n += !fading || (t->sample && t->ramp_frames_left > 0);
        return n;
    }
};

// The old note goes on from where it was at its old step and gains, its
// gains falling linearly to zero over ramp_frames, then its tail ends;
// whether a restart (onto a silent sample, at a new frequency set after the
// start as the engine sets it) or a stop cut it off.
TEST_F(Declick, TheCutNoteFadesOverOneRamp)
{
    FencedSample old_note(ramp_values(300, 100), 20, 280, LOOP_PINGPONG);
    FencedSample silent(std::vector<int16_t>(64, 0), 0, 64, LOOP_FORWARD);
    sounding(&old_note.sample);
    std::vector<float> kept(2 * 300, 0.0f);
    mix_voices(kept.data(), &voice_list, 300);
    for (int stopping = 0; stopping < 2; stopping++) {
        voices_reset();
        Voice* v = sounding(&old_note.sample);
        if (stopping) {
            stop(0);
        } else {
            restart(0, &silent.sample);
            voice_set_frequency(v, 8000);
        }
        ASSERT_EQ(tail_count(), 1);
        std::vector<float> out(2 * 300, 0.0f);
        mix_voices(out.data(), &voice_list, 150);
        mix_voices(out.data() + 2 * 150, &voice_list, 150);
        for (int k = 0; k < 300; k++) {
            float fade = k < ramp_frames ? 1.0f - float(k) / float(ramp_frames) : 0.0f;
            for (int c = 0; c < 2; c++) {
                float expect = kept[size_t(2 * k + c)] * fade;
                ASSERT_NEAR(out[size_t(2 * k + c)], expect, 0.002f * 5000 + 0.01f)
                    << (stopping ? "stop" : "restart") << ", frame " << k << ", channel " << c;
            }
        }
        EXPECT_EQ(tail_count(), 0);
        // The next cut anywhere takes the spent tail out of the list.
        stop(1);
        EXPECT_EQ(tail_count(false), 0);
    }
}

// A restart from one full-scale level to its opposite moves the output no
// further per frame than the ramp's own step: the old level fades while the
// new note ramps in from zero, which holds when the voice restarts again
// before its first tail has faded (that tail fades on).
TEST_F(Declick, RestartsMoveTheOutputNoMoreThanARampStepPerFrame)
{
    FencedSample high(std::vector<int16_t>(64, 20000), 0, 64, LOOP_FORWARD);
    FencedSample low(std::vector<int16_t>(64, -20000), 0, 64, LOOP_FORWARD);
    Voice* v = &voices[0];
    voice_set_frequency(v, 44100);
    voice_set_panning(v, 0);
    voice_set_volume(v, 255);
    settle(v);
    restart(0, &high.sample);
    std::vector<float> out(2 * 600, 0.0f);
    mix_voices(out.data(), &voice_list, 100);
    restart(0, &low.sample);
    mix_voices(out.data() + 2 * 100, &voice_list, 40);
    restart(0, &high.sample);
    EXPECT_EQ(tail_count(), 2);
    mix_voices(out.data() + 2 * 140, &voice_list, 460);
    // Up to three sounds move at once here (two tails and the new note),
    // each by at most its level over a ramp per frame.
    float bound = 2.0f * 40000.0f / float(ramp_frames);
    for (int k = 1; k < 600; k++)
        ASSERT_LE(std::fabs(out[size_t(2 * k)] - out[size_t(2 * k - 2)]), bound) << "frame " << k;
    EXPECT_FLOAT_EQ(out[2 * 599], 20000.0f);
    EXPECT_EQ(tail_count(), 0);

    // Without declick the same restart jumps at once, as the engine's rules say.
    voice_start(0, &low.sample);
    float first[2] = {0.0f, 0.0f};
    mix_voices(first, &voice_list, 1);
    EXPECT_FLOAT_EQ(first[0], -20000.0f);
    EXPECT_EQ(tail_count(), 0);
}

// More restarts within one ramp than there are tails: the oldest give way,
// and every tail left still fades. Tails end at once where their samples
// may go (voices_drop_tails) and at a reset, after which tails begin anew.
TEST_F(Declick, TailsRunOutGracefullyAndEndBeforeTheirSamples)
{
    FencedSample a(ramp_values(64, 300), 0, 64, LOOP_FORWARD);
    FencedSample b(ramp_values(64, 200), 0, 64, LOOP_FORWARD);
    FencedSample c(ramp_values(64, 100), 0, 64, LOOP_FORWARD);
    Sample* next[3] = {&b.sample, &c.sample, &a.sample};
    for (int32_t i = 0; i < VOICE_COUNT; i++) {
        voice_set_frequency(&voices[i], 20000);
        voice_set_volume(&voices[i], 100);
        voice_start(i, &a.sample);
        settle(&voices[i]);
    }
    // Three rounds of restarts of every voice, two frames apart.
    std::vector<float> out(2 * 2, 0.0f);
    for (int round = 0; round < 3; round++) {
        for (int32_t i = 0; i < VOICE_COUNT; i++)
            restart(i, next[round]);
        mix_voices(out.data(), &voice_list, 2);
    }
    EXPECT_EQ(tail_count(false), VOICE_TAIL_COUNT);
    EXPECT_EQ(tail_count(), VOICE_TAIL_COUNT);
    // The first round's tails (of a) gave way to the third's.
    for (Voice* t = voices[VOICE_COUNT - 1].next; t != &voice_list; t = t->next)
        EXPECT_NE(t->sample, &a.sample);

    // Freeing a song's samples ends its tails first; so does a reset.
    voices_drop_tails();
    EXPECT_EQ(tail_count(false), 0);
    restart(0, &a.sample);  // voice 0 still sounds: a tail
    mix_voices(out.data(), &voice_list, 2);
    restart(0, &b.sample);
    EXPECT_EQ(tail_count(false), 2);
    voices_reset();
    EXPECT_EQ(tail_count(false), 0);
    for (int32_t i = 0; i < 2; i++) {
        voice_set_volume(&voices[i], 100);
        voice_start(i, &a.sample);
        settle(&voices[i]);
        restart(i, &b.sample);
    }
    EXPECT_EQ(tail_count(false), 2);
}

TEST(Clipper, RoundsTiesToEvenAndClamps)
{
    float in[] = {32767.5f, -0.5f, 1.5f, 2.5f, -40000.0f, 40000.0f, -32768.5f, 0.49f, -1.5f, 3.5f};
    int16_t expect[] = {32767, 0, 2, 2, -32768, 32767, -32768, 0, -2, 4};
    int16_t out[10];
    memset(out, 0x55, sizeof out);
    clip_output(out, in, 5);
    for (int i = 0; i < 10; i++)
        EXPECT_EQ(out[i], expect[i]) << "value " << in[i];
    int16_t untouched[2] = {7, 7};
    clip_output(untouched, in, 0);
    clip_output(untouched, nullptr, 1);
    clip_output(nullptr, in, 1);
    EXPECT_EQ(untouched[0], 7);
    EXPECT_EQ(untouched[1], 7);
}

}  // namespace

namespace {

// The level meter's reading: the peak of the values a voice will read over
// the frames asked for, at the larger of its gains; it follows a loop back,
// stops at the end of a sample without one, and reads nothing outside the
// sample (the fence would end the test).
TEST_F(Mixer, VoiceLevelIsThePeakAheadAtTheLargerGain)
{
    std::vector<int16_t> values(1000, 1000);
    values[600] = -32768;
    FencedSample looped(values, 500, 500, LOOP_FORWARD);
    FencedSample once(values, 0, 1000, LOOP_NONE);
    Voice* v = &voices[0];
    EXPECT_EQ(voice_level(v, 1000), 0) << "no sample";
    voice_set_frequency(v, 44100);  // one frame of the sample per frame
    voice_set_volume(v, 255);
    voice_set_panning(v, 0);        // gains 255 and 0
    voice_start(0, &looped.sample);
    EXPECT_EQ(voice_level(v, 100), 1000 * 255 / 32768) << "the peak lies beyond";
    EXPECT_EQ(voice_level(v, 700), 255);
    v->position = 900;              // 300 frames reach round the loop to 600
    EXPECT_EQ(voice_level(v, 300), 255);
    voice_start(0, &once.sample);
    v->position = 900;
    EXPECT_EQ(voice_level(v, 300), 1000 * 255 / 32768) << "the sample ends first";
    v->position = 0;
    voice_set_volume(v, 127);
    voice_set_panning(v, 128);      // gains 63 and 63
    EXPECT_EQ(voice_level(v, 700), 63);
}

}  // namespace
