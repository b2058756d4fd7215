// player_corpus_test.cpp -- every real-world module plays from order 0 to
// its end (or 20 minutes of song time) without a fault or a hang.
#include <gtest/gtest.h>

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
#include "tests/support/voice_probe.h"

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
