// player_song_test.cpp -- song life (create, start, stop, free), the tempo
// rule, the playing-song list, and loading the real-world modules.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "mixer/voice.h"
#include "player/disk_file.h"
#include "player/replay.h"
#include "player/song.h"
#include "tests/support/voice_probe.h"
#include "tools/formats/xm_writer.h"

static bool in_playing_songs(const Song* song)
{
    for (Song* node = playing_songs.next; node != &playing_songs; node = node->next)
        if (node == song)
            return true;
    return false;
}

TEST(PlayerSong, TempoRule)
{
    int32_t saved_rate = output_rate;
    output_rate = 44100;
    Song song = {};
    set_tempo(&song, 125);
    EXPECT_EQ(song.samples_per_tick, 882);
    EXPECT_EQ(song.bpm, 125);
    set_tempo(&song, 32);
    EXPECT_EQ(song.samples_per_tick, 3445);
    set_tempo(&song, 255);
    EXPECT_EQ(song.samples_per_tick, 432);
    for (int32_t bpm = 1; bpm <= 255; bpm++) {
        set_tempo(&song, bpm);
        EXPECT_EQ(song.samples_per_tick, static_cast<int32_t>(44100 * 2.5 / bpm)) << bpm;
    }
    set_tempo(&song, 0);  // no tick length: the tick stays defined
    EXPECT_GE(song.samples_per_tick, 1);
    output_rate = 22050;
    set_tempo(&song, 125);
    EXPECT_EQ(song.samples_per_tick, 441);
    output_rate = saved_rate;
}

TEST(PlayerSong, ListOperations)
{
    Song a = {}, b = {};
    a.next = a.prev = &a;
    b.next = b.prev = &b;
    list_unlink(&a);  // linked only to itself: unchanged
    EXPECT_EQ(a.next, &a);
    list_insert_tail(&a, &playing_songs);
    list_insert_tail(&b, &playing_songs);
    EXPECT_EQ(playing_songs.next, &a);
    EXPECT_EQ(a.next, &b);
    EXPECT_EQ(b.next, &playing_songs);
    EXPECT_EQ(playing_songs.prev, &b);
    list_unlink(&a);
    EXPECT_EQ(playing_songs.next, &b);
    EXPECT_EQ(b.prev, &playing_songs);
    EXPECT_EQ(a.next, &a);
    EXPECT_EQ(a.prev, &a);
    list_unlink(&b);
    EXPECT_EQ(playing_songs.next, &playing_songs);
    EXPECT_EQ(playing_songs.prev, &playing_songs);
}

TEST(PlayerSong, StartStopFree)
{
    voice_probe_install();
    XmModule module;
    module.channels = 3;
    module.bpm = 32;
    module.instruments.push_back(xm_instrument({1, 2, 3, 4}));
    xm_cell(module, 0, 0, 1) = XmCell{49, 1, 0, 0, 0};
    Song* song = probe_load(module);
    ASSERT_NE(song, nullptr);
    EXPECT_FALSE(song_start(nullptr));
    EXPECT_FALSE(song_stop(nullptr));
    EXPECT_FALSE(song_free(nullptr));
    sample_free(nullptr);

    EXPECT_TRUE(song_stop(song));  // not playing: nothing changes
    EXPECT_FALSE(in_playing_songs(song));
    ASSERT_TRUE(song_start(song));
    EXPECT_TRUE(in_playing_songs(song));
    EXPECT_EQ(song->playing, 1);
    EXPECT_EQ(song->samples_per_tick, 3445);
    EXPECT_EQ(song->samples_until_tick, 0);
    EXPECT_EQ(song->next_row, -1);
    EXPECT_EQ(song->next_order, -1);
    EXPECT_EQ(song->global_volume, 64);
    ASSERT_NE(song->channels, nullptr);
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(song->channels[i].voice, &voices[i]);
        EXPECT_EQ(song->channels[i].voice_index, i);
    }
    for (int t = 0; t < 8; t++)
        song_tick(song);
    EXPECT_EQ(voices[1].sample, song->instruments[0].samples[0]);
    song->channels[2].volume = 33;

    // A restart silences the voices and begins again with fresh channels.
    ASSERT_TRUE(song_start(song));
    EXPECT_EQ(voices[1].sample, nullptr);
    EXPECT_EQ(song->tick, 0);
    EXPECT_EQ(song->row, 0);
    EXPECT_EQ(song->channels[2].volume, 0);
    EXPECT_TRUE(in_playing_songs(song));
    song_tick(song);
    EXPECT_NE(voices[1].sample, nullptr);

    EXPECT_TRUE(song_free(song));  // stops it first
    EXPECT_EQ(voices[1].sample, nullptr);
    EXPECT_EQ(playing_songs.next, &playing_songs);
    voice_probe_remove();
}

// A song rewound after it changed its speed, tempo and global volume and
// jumped plays on exactly as it did from its start.
TEST(PlayerSong, RewindPlaysOnAsFromTheStart)
{
    XmModule module;
    module.song_length = 2;
    module.order = {0, 1};
    module.patterns.resize(2);
    xm_cell(module, 0, 0, 0) = XmCell{0, 0, 0, 0x0F, 3};     // speed 3
    xm_cell(module, 0, 1, 1) = XmCell{0, 0, 0, 0x0F, 160};   // 160 BPM
    xm_cell(module, 0, 2, 2) = XmCell{0, 0, 0, 0x10, 0x20};  // global volume 32
    xm_cell(module, 0, 3, 3) = XmCell{0, 0, 0, 0x0E, 0xE2};  // row delay
    xm_cell(module, 1, 4, 0) = XmCell{0, 0, 0, 0x0D, 0x08};  // break to row 8
    Song* song = probe_load(module);
    ASSERT_NE(song, nullptr);
    auto play = [&](int ticks) {
        std::vector<int32_t> trace;
        for (int t = 0; t < ticks; t++) {
            song_tick(song);
            for (int32_t v : {song->order_pos, song->row, song->tick, song->speed, song->bpm,
                              song->samples_per_tick, song->global_volume})
                trace.push_back(v);
        }
        return trace;
    };
    ASSERT_TRUE(song_start(song));
    std::vector<int32_t> first = play(200);
    song_rewind(song);
    EXPECT_EQ(play(200), first);
    song_free(song);
}

TEST(PlayerSong, StartWithoutSoundDeviceBindsNoVoice)
{
    Song* song = probe_load(XmModule{});
    ASSERT_NE(song, nullptr);
    ASSERT_TRUE(song_start(song));
    EXPECT_EQ(song->channels[0].voice, nullptr);
    song_tick(song);  // harmless: no voice to drive
    song_free(song);
}

TEST(PlayerSong, DiskFileCallbacks)
{
    std::vector<uint8_t> bytes = xm_write(XmModule{});
    char path[] = "/tmp/tavimo_player_test_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    FILE* file = fdopen(fd, "wb");
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
    disk_file_register();
    Song* song = song_create(path, nullptr);
    ASSERT_NE(song, nullptr);
    EXPECT_EQ(song->channel_count, 4);
    song_free(song);
    EXPECT_EQ(song_create("/nonexistent/file.xm", nullptr), nullptr);
    remove(path);
}

TEST(PlayerSong, CorpusModulesLoadUnmended)
{
    std::vector<std::string> files = xm_corpus_files();
    if (files.empty())
        GTEST_SKIP() << "no XM corpus";
    disk_file_register();
    for (const std::string& path : files) {
        Song* song = song_create(path.c_str(), nullptr);
        ASSERT_NE(song, nullptr) << path;
        EXPECT_EQ(xm_mended, 0u) << path;
        EXPECT_GT(song->song_length, 0) << path;
        EXPECT_GT(song->instrument_count, 0) << path;
        song_free(song);
    }
}

// Inputs the fuzzer once failed on: each is refused or loads into a song
// that plays (run under the sanitizers by `make test-asan`).
TEST(PlayerSong, RegressionInputs)
{
    std::vector<std::string> files = xm_regress_files();
    ASSERT_FALSE(files.empty());
    voice_probe_install();
    disk_file_register();
    for (const std::string& path : files) {
        Song* song = song_create(path.c_str(), nullptr);
        if (!song)
            continue;
        ASSERT_TRUE(song_start(song)) << path;
        for (int tick = 0; tick < 2000; tick++)
            song_tick(song);
        song_free(song);
    }
    voice_probe_remove();
}
