// player_corpus_test.cpp -- every real-world module plays from order 0 to
// its end (or 20 minutes of song time) without a fault or a hang.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "audio/voice.h"
#include "player/disk_file.h"
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
static PlayResult play_to_end(Song* song)
{
    PlayResult result = {0, -1, 0};
    int32_t order = song->order_pos;
    while (result.frames < SONG_TIME_LIMIT_FRAMES) {
        song_tick(song);
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
