// player_check_test.cpp -- the check finds each kind of jump where it
// happens in tiny modules, nothing in a module made to avoid them, and the
// restarts in the real-world modules.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "player/disk_file.h"
#include "player/song.h"
#include "player/song_check.h"
#include "tests/support/voice_probe.h"
#include "tools/formats/xm_writer.h"
#include "tools/xm/xm_check.h"

namespace {

using Values = std::vector<int16_t>;

// Silent at its first value, then `level`: played looped over values
// 1..n-1, a steady sound without a seam.
XmInstrument steady(int16_t level, int n = 200)
{
    Values values(size_t(n), level);
    values[0] = 0;
    XmInstrument instrument = xm_instrument(values, true);
    instrument.samples[0].loop_start = 1;
    instrument.samples[0].loop_length = uint32_t(n - 1);
    instrument.samples[0].loop_bits = 1;
    return instrument;
}

// A rise from 0 to `top` over n values, looped forward (its seam falls
// from top to 0) or ping-pong (it turns round at the top).
XmInstrument rise(int16_t top, uint8_t loop_bits, int n = 200)
{
    Values values(static_cast<size_t>(n));
    for (int i = 0; i < n; i++)
        values[size_t(i)] = int16_t(top * i / (n - 1));
    XmInstrument instrument = xm_instrument(values, true);
    instrument.samples[0].loop_length = uint32_t(n);
    instrument.samples[0].loop_bits = loop_bits;
    return instrument;
}

// Half a sine period of n values without a loop: starts and ends at 0.
XmInstrument hump(int n = 100)
{
    Values values(static_cast<size_t>(n));
    for (int i = 0; i < n; i++)
        values[size_t(i)] = int16_t(20000 * sin(M_PI * i / n));
    return xm_instrument(values, true);
}

XmCell note(uint8_t instrument, uint8_t effect = 0, uint8_t parameter = 0)
{
    return XmCell{49, instrument, 0, effect, parameter};
}

XmCheck check_module(const XmModule& module)
{
    XmCheck check;
    Song* song = probe_load(module);
    EXPECT_NE(song, nullptr);
    if (!song)
        return check;
    EXPECT_TRUE(xm_check_run(song, 44100, 60, &check));
    EXPECT_TRUE(check.end_found);
    song_free(song);
    return check;
}

struct Where {
    uint8_t kind;
    int32_t order, pattern, row, channel, instrument;
};

void expect_findings(const XmCheck& check, const std::vector<Where>& expected)
{
    ASSERT_EQ(check.findings.size(), expected.size());
    for (size_t i = 0; i < expected.size(); i++) {
        const SongCheckFinding& f = check.findings[i];
        const Where& w = expected[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(song_check_kind_name(f.kind), std::string(song_check_kind_name(w.kind)));
        EXPECT_EQ(std::vector<int32_t>({f.order, f.pattern, f.row, f.channel, f.instrument}),
                  std::vector<int32_t>({w.order, w.pattern, w.row, w.channel, w.instrument}));
        EXPECT_GE(f.jump, SONG_CHECK_MIN_JUMP);
    }
}

// At volume 64 a voice gets volume 127 of 255, split by centre panning into
// gains of 127 x 127 / 255 = 63 on each side.
const float CENTRE_GAIN = 63.0f / 255.0f;

TEST(PlayerCheck, ARestartOfASoundingVoice)
{
    XmModule module;
    module.channels = 3;
    module.song_length = 2;
    module.order = {0, 1};
    module.patterns.resize(2);
    module.patterns[0].rows = module.patterns[1].rows = 4;
    module.instruments.push_back(steady(20000));
    xm_cell(module, 1, 1, 2) = note(1);
    xm_cell(module, 1, 3, 2) = note(1);
    XmCheck check = check_module(module);
    expect_findings(check, {{SONG_CHECK_RESTART, 1, 1, 3, 2, 0}});
    ASSERT_EQ(check.findings.size(), 1u);
    // From the steady 20000 down to the sample's first value, 0.
    EXPECT_NEAR(check.findings[0].jump, 20000.0f / 32768.0f * CENTRE_GAIN, 0.01f);
    EXPECT_EQ(check.findings[0].tick, 0);
    EXPECT_EQ(check.findings[0].sample, 0);
    // Four rows of 6 ticks of 882 frames before it.
    EXPECT_EQ(check.findings[0].frame, 7 * 6 * 882);
}

TEST(PlayerCheck, ANoteStartingAwayFromZeroOnAVoiceLeftLoud)
{
    XmModule module;
    module.channels = 2;
    module.patterns[0].rows = 3;
    module.instruments.push_back(hump());
    XmInstrument loud = steady(20000);
    loud.samples[0].values[0] = 20000;  // starts at its level
    module.instruments.push_back(loud);
    // The hump ends before row 1, at zero; its gain stays up for the next note.
    xm_cell(module, 0, 0, 1) = note(1);
    xm_cell(module, 0, 1, 1) = note(2);
    XmCheck check = check_module(module);
    expect_findings(check, {{SONG_CHECK_START, 0, 0, 1, 1, 1}});
}

TEST(PlayerCheck, AVoiceStoppedByASampleOffsetPastItsEnd)
{
    XmModule module;
    module.channels = 1;
    module.patterns[0].rows = 3;
    module.instruments.push_back(steady(-20000));
    xm_cell(module, 0, 0, 0) = note(1);
    xm_cell(module, 0, 2, 0) = note(1, 9, 0x10);  // 4096: past the 200 values
    XmCheck check = check_module(module);
    expect_findings(check, {{SONG_CHECK_STOP, 0, 0, 2, 0, 0}});
    ASSERT_EQ(check.findings.size(), 1u);
    EXPECT_NEAR(check.findings[0].jump, 20000.0f / 32768.0f * CENTRE_GAIN, 0.01f);
}

TEST(PlayerCheck, ASampleEndingAwayFromZeroOncePerSample)
{
    XmModule module;
    module.channels = 2;
    module.patterns[0].rows = 4;
    Values values(100, 16000);
    values[0] = 0;
    module.instruments.push_back(xm_instrument(values, true));
    // Every note ends the sample at 16000; only the first place is listed.
    for (int row = 1; row < 4; row++)
        xm_cell(module, 0, row, 1) = note(1);
    XmCheck check = check_module(module);
    expect_findings(check, {{SONG_CHECK_END, 0, 0, 1, 1, 0}});
}

TEST(PlayerCheck, AForwardLoopWhoseSeamJumpsButNotAPingPongLoop)
{
    XmModule module;
    module.channels = 2;
    module.patterns[0].rows = 8;
    module.instruments.push_back(rise(20000, 2));  // ping-pong: turns without a jump
    module.instruments.push_back(rise(20000, 1));  // forward: falls from 20000 to 0
    xm_cell(module, 0, 0, 0) = note(1);
    xm_cell(module, 0, 2, 1) = note(2);
    xm_cell(module, 0, 4, 1) = XmCell{0, 0, 0, 0xE, 0xC5};  // cut at tick 5, then again:
    xm_cell(module, 0, 5, 1) = note(2);                      // the seam is not listed twice
    XmCheck check = check_module(module);
    // 200 values at 8363 Hz come round 1055 frames in: tick 1 of row 2.
    expect_findings(check, {{SONG_CHECK_SEAM, 0, 0, 2, 1, 1}});
    ASSERT_EQ(check.findings.size(), 1u);
    EXPECT_EQ(check.findings[0].tick, 1);
    EXPECT_NEAR(double(check.findings[0].frame), 2 * 6 * 882 + 1055, 2);
}

// Each way of avoiding the jumps: a cut a tick before the restart (the gain
// ramp ends within the tick), a key-off (it fades), notes that start and end
// at zero, and a ping-pong loop.
TEST(PlayerCheck, AModuleMadeToAvoidJumpsHasNone)
{
    XmModule module;
    module.channels = 3;
    module.patterns[0].rows = 6;
    module.instruments.push_back(steady(20000));
    module.instruments.push_back(hump());
    module.instruments.push_back(rise(20000, 2));
    xm_cell(module, 0, 0, 0) = note(1);
    xm_cell(module, 0, 1, 0) = XmCell{0, 0, 0, 0xE, 0xC5};  // cut at tick 5
    xm_cell(module, 0, 2, 0) = note(1);
    xm_cell(module, 0, 3, 0) = XmCell{97, 0, 0, 0, 0};      // key-off
    xm_cell(module, 0, 4, 0) = note(1);
    for (int row = 0; row < 6; row++)
        xm_cell(module, 0, row, 1) = note(2);
    xm_cell(module, 0, 0, 2) = note(3);
    XmCheck check = check_module(module);
    EXPECT_TRUE(check.findings.empty());
    char line[512];
    for (const SongCheckFinding& f : check.findings) {
        xm_check_line(line, sizeof line, nullptr, &check, &f);
        ADD_FAILURE() << line;
    }
}

// The engine restarts sounding voices without a ramp: real modules written
// for other players have such places, the check finds them (a restart at a
// row start, in the song, on one of its channels), and the same places each
// time.
TEST(PlayerCheck, FindsTheRestartsInTheCorpus)
{
    std::vector<std::string> files = xm_corpus_files();
    if (files.empty())
        GTEST_SKIP() << "no XM corpus";
    int with_restarts = 0;
    for (const std::string& path : files) {
        disk_file_register();
        Song* song = song_create(path.c_str(), nullptr);
        ASSERT_NE(song, nullptr) << path;
        XmCheck check;
        ASSERT_TRUE(xm_check_run(song, 44100, 20 * 60, &check)) << path;
        size_t restarts = 0;
        for (const SongCheckFinding& f : check.findings) {
            ASSERT_GE(f.jump, SONG_CHECK_MIN_JUMP);
            ASSERT_LT(f.order, song->song_length);
            ASSERT_LT(f.channel, song->channel_count);
            restarts += f.kind == SONG_CHECK_RESTART;
        }
        with_restarts += restarts > 0;
        printf("%-24s %5zu places, %5zu restarts\n", path.c_str() + path.find_last_of('/') + 1,
               check.findings.size(), restarts);
        song_free(song);
    }
    EXPECT_GE(with_restarts, int(files.size()) - 2);
}

}  // namespace
