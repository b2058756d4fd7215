// The mixing thread against the song operations of the main thread: songs
// are created, started, stopped and freed while the thread mixes block after
// block on a fake device that enters a new block at every poll. Meant to run
// under ThreadSanitizer too (make test-tsan).
#include <gtest/gtest.h>

#include <thread>

#include "mixer/mix_lock.h"
#include "sound/sound.h"
#include "mixer/voice.h"
#include "player/module_file.h"
#include "player/render.h"
#include "player/replay.h"
#include "player/song.h"
#include "player/stream.h"
#include "assets/assets.h"
#include "tests/support/fake_sound.h"

namespace {

void open_racing_device()
{
    FakeSoundScript script;
    script.threaded = true;
    script.bytes_per_read = 884 * 4;  // one block further at every poll
    script.sleep_us_per_ms = 0;       // polls back to back
    fake_sound_reset(script);
    module_position = 0;
    register_stream_callbacks(module_open, module_close, module_read, module_seek,
                              module_tell);
    ASSERT_TRUE(render_open(44100));
    ASSERT_TRUE(sound_open(44100, render_songs));
}

// Lets the thread mix at least `blocks` more blocks.
void let_mix(int blocks)
{
    int until = fake_sound.reads + blocks + 1;
    while (fake_sound.reads < until)
        std::this_thread::yield();
}

bool any_voice_sounds(void)
{
    mix_lock_acquire();
    bool sounding = false;
    for (int i = 0; i < VOICE_COUNT; i++)
        sounding = sounding || voices[i].sample != nullptr;
    mix_lock_release();
    return sounding;
}

TEST(SoundThreads, SongsComeAndGoWhileTheThreadMixes)
{
    open_racing_device();
    int reads_at_start = fake_sound.reads;
    bool ever_sounded = false;
    for (int round = 0; round < 12; round++) {
        Song* a = song_create(song_name, nullptr);
        ASSERT_NE(a, nullptr);
        ASSERT_TRUE(song_start(a));
        let_mix(30 + round);  // far enough in for the first notes
        ever_sounded = ever_sounded || any_voice_sounds();
        Song* b = song_create(song_name, nullptr);
        ASSERT_NE(b, nullptr);
        ASSERT_TRUE(song_start(b));  // two songs on the same voices
        let_mix(3);
        ASSERT_TRUE(song_stop(a));
        ASSERT_TRUE(song_start(a));  // a restart while the other plays
        let_mix(2);
        ASSERT_TRUE(song_free(b));
        let_mix(1);
        ASSERT_TRUE(song_free(a));   // stops it first
        EXPECT_EQ(playing_songs.next, &playing_songs);
        EXPECT_FALSE(any_voice_sounds());
    }
    EXPECT_TRUE(ever_sounded);
    EXPECT_GT(fake_sound.reads - reads_at_start, 12 * 36);
    sound_close();
    render_close();
    EXPECT_EQ(mixer_exited.load(), 1);
}

TEST(SoundThreads, CloseAndReopenUnderAPlayingSong)
{
    open_racing_device();
    Song* song = song_create(song_name, nullptr);
    ASSERT_NE(song, nullptr);
    song_start(song);
    for (int round = 0; round < 8; round++) {
        let_mix(5);
        // Closing joins the thread in the middle of its work; the song keeps
        // playing on the voices of the next open.
        sound_close();
        render_close();
        ASSERT_EQ(voices, nullptr);
        int32_t rate = round % 2 ? 44100 : 22050;
        ASSERT_TRUE(render_open(rate));
        ASSERT_TRUE(sound_open(rate, render_songs));
        ASSERT_EQ(song->channels[0].voice, &voices[0]);
    }
    let_mix(5);
    // The voices reopened under the running thread: the lock keeps the
    // blocks out of the change.
    ASSERT_TRUE(render_open(22050));
    let_mix(5);
    song_free(song);
    sound_close();
    render_close();
}

}  // namespace
