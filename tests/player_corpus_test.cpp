// player_corpus_test.cpp -- every real-world module plays from order 0 to
// its end (or 20 minutes of song time) without a fault or a hang.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "mixer/voice.h"
#include "player/disk_file.h"
#include "player/module_file.h"
#include "player/render.h"
#include "player/stream.h"
#include "player/replay.h"
#include "player/song.h"
#include "player/song_declick.h"
#include "tests/support/voice_probe.h"
#include "tools/formats/clicks.h"

enum { SONG_TIME_LIMIT_FRAMES = 20 * 60 * 44100 };

struct PlayResult {
    int64_t frames;        // output frames played
    int32_t jump_back_to;  // order a jump went back to before the end, -1: none
    int64_t jump_frames;   // frames played when it did
};

// Plays until the order list wraps (the end of the row during which `ended`
// was set), or the limit. Songs made to loop for ever jump back instead.
// After each tick the voices are mixed for a short stretch, so the mixer
// reads every sample the song starts, wherever it starts it.
static PlayResult play_to_end(Song* song)
{
    enum { MIX_FRAMES = 64 };
    float mix[2 * MIX_FRAMES];
    PlayResult result = {0, -1, 0};
    int32_t order = song->order_pos;
    while (result.frames < SONG_TIME_LIMIT_FRAMES) {
        song_tick(song);
        mix_voices(mix, &voice_list, song->samples_per_tick < MIX_FRAMES ? song->samples_per_tick
                                                                          : MIX_FRAMES);
        result.frames += song->samples_per_tick;
        if (song->order_pos < order && !song->ended && result.jump_back_to < 0) {
            result.jump_back_to = song->order_pos;
            result.jump_frames = result.frames;
        }
        order = song->order_pos;
        if (song->ended && song->tick == 0)
            break;
    }
    return result;
}

TEST(PlayerCorpus, EveryModulePlaysToItsEnd)
{
    std::vector<std::string> files = xm_corpus_files();
    if (files.empty())
        GTEST_SKIP() << "no XM corpus";
    voice_probe_install();
    disk_file_register();
    for (const std::string& path : files) {
        Song* song = song_create(path.c_str(), nullptr);
        ASSERT_NE(song, nullptr) << path;
        ASSERT_TRUE(song_start(song));
        PlayResult result = play_to_end(song);
        EXPECT_TRUE(song->ended || result.jump_back_to >= 0) << path;
        // Every sounding voice stays inside its sample.
        for (int32_t i = 0; i < song->channel_count; i++) {
            const Voice* voice = &voices[i];
            if (voice->sample && voice->sample->length > 0) {
                EXPECT_LT(voice->position, voice->sample->loop_start + voice->sample->loop_length);
            }
        }
        const char* name = path.c_str() + path.find_last_of('/') + 1;
        if (song->ended)
            printf("%-24s ends after %6.1f s\n", name, result.frames / 44100.0);
        else
            printf("%-24s loops for ever: back to order %d after %6.1f s\n", name,
                   result.jump_back_to, result.jump_frames / 44100.0);
        song_free(song);
    }
    voice_probe_remove();
}

// Renders `seconds` of the started songs in one piece with the mixing
// thread's render function. Returns interleaved 16-bit stereo.
static std::vector<int16_t> render(int seconds)
{
    const int32_t frames = seconds * 44100;
    std::vector<float> mix(static_cast<size_t>(frames) * 2);
    std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
    render_songs(mix.data(), out.data(), frames);
    return out;
}

// Each module for 30 s: sound in most of its one-second windows, and
// hardly a sample at the clipping limits.
TEST(PlayerCorpus, RenderedOutputIsNeitherSilentNorClipped)
{
    std::vector<std::string> files = xm_corpus_files();
    if (files.empty())
        GTEST_SKIP() << "no XM corpus";
    voice_probe_install();
    disk_file_register();
    for (const std::string& path : files) {
        Song* song = song_create(path.c_str(), nullptr);
        ASSERT_NE(song, nullptr) << path;
        ASSERT_TRUE(song_start(song));
        const int seconds = 30;
        std::vector<int16_t> out = render(seconds);
        size_t clipped = 0;
        int sounding_windows = 0;
        double total_square = 0;
        for (int w = 0; w < seconds; w++) {
            double square = 0;
            for (size_t i = w * 88200u; i < (w + 1) * 88200u; i++) {
                square += double(out[i]) * out[i];
                if (out[i] == 32767 || out[i] == -32768)
                    clipped++;
            }
            total_square += square;
            if (sqrt(square / 88200) > 30)
                sounding_windows++;
        }
        double rms = sqrt(total_square / out.size());
        double clipped_share = double(clipped) / out.size();
        printf("%-24s rms %7.1f  sounding %2d/%d s  clipped %.4f%%\n",
               path.c_str() + path.find_last_of('/') + 1, rms, sounding_windows, seconds,
               100 * clipped_share);
        EXPECT_GE(sounding_windows, seconds / 2) << path;
        EXPECT_LT(clipped_share, 0.001) << path;
        song_free(song);
    }
    voice_probe_remove();
}

struct ClickCount {
    int64_t all;       // clicks in the whole render
    int64_t at_ticks;  // of them, those on a tick's first frames, where the engine acts
};

// The frames at which a song's ticks come, noted by a tick function around
// the engine's, as render_songs runs it: the first at frame 0, each next
// one a tick's length (read after the tick) later.
static std::vector<int32_t> tick_frames;
static int32_t next_tick_frame;
static void noting_tick(Song* song)
{
    tick_frames.push_back(next_tick_frame);
    song_tick(song);
    next_tick_frame += song->samples_per_tick > 0 ? song->samples_per_tick : 1;
}

static ClickCount count_clicks(const std::vector<int16_t>& out, const std::vector<int32_t>& ticks)
{
    std::vector<Click> where(out.size() / 2);
    ClickCount count = {clicks_count(out.data(), int64_t(out.size() / 2), 44100, where.data(),
                                     int64_t(where.size())),
                        0};
    for (int64_t i = 0; i < count.all; i++) {
        // The first frame after the jump: a tick's own, or one or two later
        // for a voice that comes in quietly.
        auto next = std::upper_bound(ticks.begin(), ticks.end(), int32_t(where[i].frame));
        if (next != ticks.begin() && where[i].frame - *(next - 1) <= 2)
            count.at_ticks++;
    }
    return count;
}

// Each module for 30 s, from fresh voices: without smooth note starts, and
// then with them, and then without again, which gives the first render to
// the sample. With them, the clicks at ticks (restarts and stops of
// sounding voices; the others are the samples' own sharp edges, which no
// ramp touches) all but go. A freed song leaves no tail behind.
TEST(PlayerCorpus, SmoothNoteStartsRemoveTheClicksAtRestarts)
{
    std::vector<std::string> files = xm_corpus_files();
    if (files.empty())
        GTEST_SKIP() << "no XM corpus";
    voice_probe_install();
    disk_file_register();
    const int seconds = 30;
    ClickCount total_without = {0, 0}, total_with = {0, 0};
    printf("%-24s %16s %16s\n", "clicks in 30 s", "without, ticks", "with, ticks");
    for (const std::string& path : files) {
        Song* song = song_create(path.c_str(), nullptr);
        ASSERT_NE(song, nullptr) << path;
        std::vector<int16_t> out[3];
        ClickCount counts[3];
        for (int pass = 0; pass < 3; pass++) {
            ASSERT_TRUE(song_declick(song, pass == 1));
            voices_reset();
            ASSERT_TRUE(song_start(song));
            song->tick_function = noting_tick;
            tick_frames.clear();
            next_tick_frame = 0;
            out[pass] = render(seconds);
            counts[pass] = count_clicks(out[pass], tick_frames);
        }
        EXPECT_TRUE(out[2] == out[0]) << path;
        const char* name = path.c_str() + path.find_last_of('/') + 1;
        printf("%-24s %9lld %6lld %9lld %6lld\n", name, (long long)counts[0].all,
               (long long)counts[0].at_ticks, (long long)counts[1].all,
               (long long)counts[1].at_ticks);
        EXPECT_LE(counts[1].at_ticks, counts[0].at_ticks / 10 + 1) << path;
        total_without.all += counts[0].all;
        total_without.at_ticks += counts[0].at_ticks;
        total_with.all += counts[1].all;
        total_with.at_ticks += counts[1].at_ticks;

        song_declick(song, true);
        voices_reset();
        ASSERT_TRUE(song_start(song));
        render(1);
        song_free(song);
        EXPECT_EQ(voice_list.prev, &voices[VOICE_COUNT - 1]) << path;
    }
    printf("%-24s %9lld %6lld %9lld %6lld\n", "all", (long long)total_without.all,
           (long long)total_without.at_ticks, (long long)total_with.all,
           (long long)total_with.at_ticks);
    EXPECT_LE(total_with.at_ticks * 20, total_without.at_ticks);
    voice_probe_remove();
}

TEST(PlayerCorpus, EmbeddedModuleRendersSound)
{
    voice_probe_install();
    module_position = 0;
    register_stream_callbacks(module_open, module_close, module_read, module_seek, module_tell);
    Song* song = song_create("embedded", nullptr);
    ASSERT_NE(song, nullptr);
    ASSERT_TRUE(song_start(song));
    std::vector<int16_t> out = render(20);
    double square = 0;
    size_t clipped = 0;
    for (int16_t v : out) {
        square += double(v) * v;
        clipped += v == 32767 || v == -32768;
    }
    EXPECT_GT(sqrt(square / out.size()), 100.0);
    EXPECT_LT(double(clipped) / out.size(), 0.001);
    song_free(song);
    voice_probe_remove();
}
