// player_song_end_test.cpp -- where a song ends, on tiny modules built for
// each way a song can end; every length is counted from the rows and the
// tempo and checked to the frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "mixer/voice.h"
#include "player/disk_file.h"
#include "player/replay.h"
#include "player/song.h"
#include "player/song_end.h"
#include "tests/support/voice_probe.h"
#include "tools/formats/xm_writer.h"

// At 125 BPM and 44100 Hz a tick is 2.5 / 125 s = 882 frames; a row at the
// default speed 6 is six of them.
enum { TICK = 882, ROW = 6 * TICK };

struct Ending {
    int64_t frames;  // frames of the first pass
    int32_t order;   // where the song goes back to
    int32_t row;
    uint8_t how;
    int64_t all_frames;  // frames up to the last end played
    int32_t ends;
};

// Two channels, pattern n in order position n with rows[n] rows, empty
// cells; restart position `restart`.
static XmModule song_of(std::initializer_list<int> rows, int restart = 0)
{
    XmModule module;
    module.channels = 2;
    module.patterns.clear();
    module.order.clear();
    for (int r : rows) {
        XmPattern pattern;
        pattern.rows = r;
        module.order.push_back(static_cast<uint8_t>(module.patterns.size()));
        module.patterns.push_back(pattern);
    }
    module.song_length = static_cast<int>(module.order.size());
    module.restart_position = restart;
    return module;
}

static void put(XmModule& module, int pattern, int row, uint8_t effect, uint8_t parameter,
                int channel = 0)
{
    xm_cell(module, pattern, row, channel) = XmCell{0, 0, 0, effect, parameter};
}

class SongEndTest : public ::testing::Test {
protected:
    void SetUp() override { voice_probe_install(); }
    void TearDown() override { voice_probe_remove(); }

    // Plays the module through its watcher until the watcher finishes
    // (or ten minutes, a failure).
    Ending watch(const XmModule& module, int loops = 0)
    {
        Ending ending = {-1, -1, -1, SONG_END_NONE, -1, 0};
        Song* song = probe_load(module);
        EXPECT_NE(song, nullptr);
        if (!song || !song_start(song))
            return ending;
        SongEnd* watch = song_end_create(song, loops);
        EXPECT_NE(watch, nullptr);
        if (watch) {
            while (!watch->finished && watch->frames < 600 * 44100)
                song->tick_function(song);
            EXPECT_TRUE(watch->finished);
            ending = {watch->length_frames, watch->back_order, watch->back_row, watch->how,
                      watch->last_end_frames, watch->ends};
        }
        song_end_free(watch);
        song_free(song);
        return ending;
    }
};

TEST_F(SongEndTest, OrderListRunningOutEndsAtTheRestartPosition)
{
    Ending plain = watch(song_of({8, 4}));
    EXPECT_EQ(plain.frames, 12 * ROW);
    EXPECT_EQ(plain.how, SONG_END_ORDER_LIST);
    EXPECT_EQ(plain.order, 0);
    EXPECT_EQ(plain.row, 0);

    Ending restart = watch(song_of({8, 4, 6}, 1));
    EXPECT_EQ(restart.frames, 18 * ROW);
    EXPECT_EQ(restart.how, SONG_END_ORDER_LIST);
    EXPECT_EQ(restart.order, 1);
    EXPECT_EQ(restart.row, 0);
}

TEST_F(SongEndTest, PositionJumpBackwardAndForward)
{
    XmModule back = song_of({8, 4, 6});
    put(back, 2, 2, 0xB, 1);
    Ending b = watch(back);
    EXPECT_EQ(b.frames, (8 + 4 + 3) * ROW);  // the jump's row is played whole
    EXPECT_EQ(b.how, SONG_END_REVISIT);
    EXPECT_EQ(b.order, 1);
    EXPECT_EQ(b.row, 0);

    // Forward over order 1, then the list runs out.
    XmModule forward = song_of({8, 4, 6});
    put(forward, 0, 1, 0xB, 2);
    Ending f = watch(forward);
    EXPECT_EQ(f.frames, (2 + 6) * ROW);
    EXPECT_EQ(f.how, SONG_END_ORDER_LIST);

    // Beyond the order list the engine goes to order 0: back to the start.
    XmModule beyond = song_of({8, 4}, 1);
    put(beyond, 1, 1, 0xB, 9);
    Ending o = watch(beyond);
    EXPECT_EQ(o.frames, (8 + 2) * ROW);
    EXPECT_EQ(o.how, SONG_END_REVISIT);
    EXPECT_EQ(o.order, 0);
}

TEST_F(SongEndTest, BreakOnTheLastOrderGoesToOrderZeroNotTheRestart)
{
    XmModule d00 = song_of({8, 8}, 1);
    put(d00, 1, 3, 0xD, 0x00);
    Ending e = watch(d00);
    EXPECT_EQ(e.frames, (8 + 4) * ROW);
    EXPECT_EQ(e.how, SONG_END_REVISIT);
    EXPECT_EQ(e.order, 0);
    EXPECT_EQ(e.row, 0);

    // A break into the middle of a row already played: the song goes back
    // there (decimal row 15).
    XmModule d15 = song_of({16, 8}, 1);
    put(d15, 1, 3, 0xD, 0x15);
    Ending m = watch(d15);
    EXPECT_EQ(m.frames, (16 + 4) * ROW);
    EXPECT_EQ(m.order, 0);
    EXPECT_EQ(m.row, 15);
}

TEST_F(SongEndTest, BreakToARowThePatternLacksEntersRowZero)
{
    // Order 0 breaks to row 20 of a 4-row pattern: row 0 of order 1, which
    // plays out; the list runs out.
    XmModule into = song_of({8, 4});
    put(into, 0, 2, 0xD, 0x20);
    Ending a = watch(into);
    EXPECT_EQ(a.frames, (3 + 4) * ROW);
    EXPECT_EQ(a.how, SONG_END_ORDER_LIST);

    // From the last order to row 12 of the 8-row pattern 0: row 0, already played.
    XmModule back = song_of({8, 4});
    put(back, 1, 1, 0xD, 0x12);
    Ending b = watch(back);
    EXPECT_EQ(b.frames, (8 + 2) * ROW);
    EXPECT_EQ(b.how, SONG_END_REVISIT);
    EXPECT_EQ(b.order, 0);
    EXPECT_EQ(b.row, 0);
}

TEST_F(SongEndTest, PatternLoopsAroundTheEnd)
{
    // The last pattern played three times (E60 ... E62), then the wrap.
    XmModule last = song_of({4, 4});
    put(last, 1, 0, 0xE, 0x60);
    put(last, 1, 3, 0xE, 0x62);
    Ending l = watch(last);
    EXPECT_EQ(l.frames, (4 + 3 * 4) * ROW);
    EXPECT_EQ(l.how, SONG_END_ORDER_LIST);

    // A loop in mid-pattern (rows 2..5 twice), then a jump back to the
    // start: the finished loop's start row does not make the return new.
    XmModule mid = song_of({8, 4});
    put(mid, 0, 2, 0xE, 0x60);
    put(mid, 0, 5, 0xE, 0x61);
    put(mid, 1, 3, 0xB, 0);
    Ending m = watch(mid);
    EXPECT_EQ(m.frames, (8 + 4 + 4) * ROW);
    EXPECT_EQ(m.how, SONG_END_REVISIT);
    EXPECT_EQ(m.order, 0);

    // A jump in the loop's own row leaves the loop running (one pass left):
    // order 0 entered in that state is new, and the song plays on until it
    // comes round with the loop finished.
    XmModule out = song_of({4, 4});
    put(out, 1, 0, 0xE, 0x60);
    put(out, 1, 2, 0xE, 0x61);
    put(out, 1, 2, 0xB, 0, 1);
    Ending o = watch(out);
    EXPECT_EQ(o.frames, (4 + 3 + 4 + 3) * ROW);
    EXPECT_EQ(o.how, SONG_END_REVISIT);
    EXPECT_EQ(o.order, 0);
}

TEST_F(SongEndTest, TempoSpeedDelayAndF00CountAsTheMixerCounts)
{
    // Speed 3, then 100 BPM (2.5 / 100 s = 1102.5, 1102 frames per tick),
    // a pattern delay of two rows' ticks, a plain row.
    XmModule tempo = song_of({4});
    put(tempo, 0, 0, 0xF, 3);
    put(tempo, 0, 1, 0xF, 100);
    put(tempo, 0, 2, 0xE, 0xE2);
    Ending t = watch(tempo);
    EXPECT_EQ(t.frames, 3 * TICK + (3 + 3 * 3 + 3) * 1102);

    // F00 sets speed 0, which the engine plays as one tick per row.
    XmModule f00 = song_of({8});
    put(f00, 0, 2, 0xF, 0);
    Ending f = watch(f00);
    EXPECT_EQ(f.frames, 2 * ROW + 6 * TICK);
    EXPECT_EQ(f.how, SONG_END_ORDER_LIST);
}

TEST_F(SongEndTest, LoopsPlayMorePassesFromWhereTheSongGoesBack)
{
    XmModule back = song_of({8, 4, 6});
    put(back, 2, 2, 0xB, 1);
    Ending b = watch(back, 2);
    EXPECT_EQ(b.frames, 15 * ROW);
    EXPECT_EQ(b.ends, 3);
    EXPECT_EQ(b.all_frames, (15 + 2 * (4 + 3)) * ROW);

    Ending restart = watch(song_of({8, 4, 6}, 1), 1);
    EXPECT_EQ(restart.frames, 18 * ROW);
    EXPECT_EQ(restart.all_frames, (18 + 4 + 6) * ROW);
}

// The watcher leaves the engine alone: mixed through it, a song with notes
// sounds exactly as through song_tick up to its end, and silent once the
// voices' ramp down after it is over.
TEST_F(SongEndTest, WatchedSongSoundsTheSameUntilItsEndThenFallsSilent)
{
    XmModule module = song_of({4, 4});
    std::vector<int16_t> values(4000);
    for (size_t i = 0; i < values.size(); i++)
        values[i] = static_cast<int16_t>((i * 37) % 200 - 100);
    module.instruments.push_back(xm_instrument(values));
    module.instruments[0].samples[0].loop_length = 4000;
    module.instruments[0].samples[0].loop_bits = 1;
    xm_cell(module, 0, 0, 0) = XmCell{49, 1, 0, 0, 0};
    xm_cell(module, 1, 1, 0) = XmCell{61, 1, 0, 0xA, 0x02};
    put(module, 1, 3, 0xB, 1);
    const int64_t length = 8 * ROW;
    const int64_t total = length + 4 * TICK;

    auto render = [&](bool watched, int64_t* end_frames) {
        std::vector<float> mix(static_cast<size_t>(total) * 2, 0.0f);
        voice_probe_remove();  // fresh voices: gains and ramps stay after a song
        voice_probe_install();
        Song* song = probe_load(module);
        EXPECT_TRUE(song && song_start(song));
        SongEnd* watch = watched ? song_end_create(song, 0) : nullptr;
        int64_t done = 0;
        while (done < total) {
            song->tick_function(song);
            int64_t piece = std::min<int64_t>(song->samples_per_tick, total - done);
            mix_voices(mix.data() + 2 * done, &voice_list, static_cast<int32_t>(piece));
            done += piece;
        }
        if (watch)
            *end_frames = watch->length_frames;
        song_end_free(watch);
        song_free(song);
        return mix;
    };
    int64_t end_frames = -1;
    std::vector<float> plain = render(false, nullptr);
    std::vector<float> watched = render(true, &end_frames);
    ASSERT_EQ(end_frames, length);
    EXPECT_TRUE(std::equal(plain.begin(), plain.begin() + 2 * length, watched.begin()));
    float loudest_before = 0, loudest_after = 0;
    for (int64_t i = 2 * (length - TICK); i < 2 * length; i++)
        loudest_before = std::max(loudest_before, std::abs(watched[i]));
    for (int64_t i = 2 * (length + ramp_frames); i < 2 * total; i++)
        loudest_after = std::max(loudest_after, std::abs(watched[i]));
    EXPECT_GT(loudest_before, 10.0f);
    EXPECT_EQ(loudest_after, 0.0f);
}

// Lengths of the corpus modules as xmp 4.1.0 (Debian 12's `xmp` package)
// plays them: `xmp --norc --nocmd -i linear -d file -o OUT.raw FILE`, then
// the raw file's bytes / 4 / 44100, measured 2026-12-07.
static const struct {
    const char* file;
    double seconds;
} xmp_lengths[] = {
    {"flobopuyo_game1.xm", 94.354},  {"flobopuyo_game2.xm", 77.009},
    {"flobopuyo_gameover.xm", 15.726}, {"flobopuyo_menu.xm", 15.726},
    {"heroes-endscroll.xm", 148.910}, {"heroes-heroes01.xm", 165.410},
    {"heroes-heroes02.xm", 186.610}, {"heroes-heroes03.xm", 99.265},
    {"heroes-heroes04.xm", 131.448}, {"heroes-heroes05.xm", 201.600},
    {"heroes-heroes06.xm", 172.060}, {"heroes-heroes07.xm", 173.192},
    {"heroes-heroes08.xm", 101.007}, {"heroes-heroes09.xm", 109.645},
    {"heroes-heroes10.xm", 130.203}, {"heroes-intro.xm", 22.468},
    {"heroes-menu.xm", 106.580},     {"strange_fear.xm", 140.736},
    {"strange_fear2.xm", 38.383},    {"strange_gameover.xm", 19.191},
};

// Every corpus module has a length, within 2% (or 0.1 s) of xmp's.
TEST_F(SongEndTest, CorpusLengthsMatchXmp)
{
    std::vector<std::string> files = xm_corpus_files();
    if (files.empty())
        GTEST_SKIP() << "no XM corpus";
    disk_file_register();
    printf("%-24s %9s %9s %7s  %s\n", "module", "ours s", "xmp s", "diff s", "end");
    int compared = 0;
    for (const std::string& path : files) {
        std::string name = path.substr(path.find_last_of('/') + 1);
        Song* song = song_create(path.c_str(), nullptr);
        ASSERT_NE(song, nullptr) << path;
        SongEnd* watch = song_end_create(song, 0);
        ASSERT_NE(watch, nullptr);
        ASSERT_TRUE(song_start(song));
        while (!watch->finished && watch->frames < 1200 * 44100)
            song->tick_function(song);
        EXPECT_TRUE(watch->finished) << name << ": no end within 20 minutes";
        double ours = watch->length_frames / 44100.0;
        double expected = -1;
        for (const auto& x : xmp_lengths) {
            if (name == x.file)
                expected = x.seconds;
        }
        char end[48];
        snprintf(end, sizeof end, "%s, back to order %d row %d",
                 watch->how == SONG_END_ORDER_LIST ? "order list" : "return", watch->back_order,
                 watch->back_row);
        if (expected < 0) {
            printf("%-24s %9.3f %9s %7s  %s\n", name.c_str(), ours, "-", "-", end);
        } else {
            printf("%-24s %9.3f %9.3f %+7.3f  %s\n", name.c_str(), ours, expected, ours - expected,
                   end);
            EXPECT_NEAR(ours, expected, std::max(0.1, 0.02 * expected)) << name;
            compared++;
        }
        song_end_free(watch);
        song_free(song);
    }
    printf("%d modules compared with xmp's lengths\n", compared);
}
