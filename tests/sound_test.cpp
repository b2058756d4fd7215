// The sound device logic on the fake device: rate values, opening and
// closing, the block choice of the mixing thread's poll, tick timing, and
// offline rendering against the thread's own blocks.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "mixer/mix_lock.h"
#include "sound/sound.h"
#include "mixer/voice.h"
#include "player/module_file.h"
#include "player/render.h"
#include "player/replay.h"
#include "player/song.h"
#include "player/stream.h"
#include "tests/support/fake_sound.h"

namespace {

void register_module_callbacks()
{
    register_stream_callbacks(module_open, module_close, module_read, module_seek,
                              module_tell);
}

// Opens at 44100 Hz over the fake; no thread unless asked for.
void open_fake(bool threaded = false, uint64_t bytes_per_read = 0)
{
    FakeSoundScript script;
    script.threaded = threaded;
    script.bytes_per_read = bytes_per_read;
    fake_sound_reset(script);
    register_module_callbacks();
    ASSERT_TRUE(render_open(44100));
    ASSERT_TRUE(sound_open(44100, render_songs));
}

// A constant sample value of 1000 in a long forward loop: at 44100 Hz the
// position of a voice playing it counts the frames mixed.
struct CountingSample {
    std::vector<int16_t> values = std::vector<int16_t>(1 << 16, 1000);
    Sample sample{};
    CountingSample()
    {
        sample.data = values.data();
        sample.length = uint32_t(values.size() - SAMPLE_SPARE_VALUES);
        sample.loop_start = 0;
        sample.loop_length = sample.length;
        sample.loop_type = LOOP_FORWARD;
        sample.bits = 16;
    }
};

// A hand-built song whose tick function records the frame count at which
// each tick came, read from a voice that plays the counting sample.
std::vector<uint32_t> tick_frames;
int32_t tempo_change_at_tick = -1;

void recording_tick(Song* song)
{
    tick_frames.push_back(voices[0].position);
    if (int32_t(tick_frames.size()) == tempo_change_at_tick)
        song->samples_per_tick = 100;
}

struct HandSong {
    Song song{};
    HandSong(int32_t samples_per_tick)
    {
        song.next = song.prev = &song;
        song.samples_per_tick = samples_per_tick;
        song.tick_function = recording_tick;
        song.bpm = 125;
    }
    void play()
    {
        mix_lock_acquire();
        list_insert_tail(&song, &playing_songs);
        song.playing = 1;
        mix_lock_release();
    }
    ~HandSong()
    {
        mix_lock_acquire();
        list_unlink(&song);
        mix_lock_release();
    }
};

class Sound : public ::testing::Test {
protected:
    void SetUp() override
    {
        tick_frames.clear();
        tempo_change_at_tick = -1;
    }
    void TearDown() override
    {
        fake_sound_reset();
        render_close();
        register_module_callbacks();
    }
};

TEST(SoundRate, BlockRingAndRampFollowTheRate)
{
    struct {
        int32_t rate, block, ring, ramp;
    } cases[] = {{44100, 884, 17680, 128}, {22050, 444, 8880, 64}, {48000, 960, 19200, 139}};
    for (auto c : cases) {
        ASSERT_TRUE(sound_set_rate(c.rate));
        voices_set_rate(c.rate);
        EXPECT_EQ(output_rate, c.rate);
        EXPECT_EQ(block_frames, c.block);
        EXPECT_EQ(ring_frames, c.ring);
        EXPECT_EQ(ring_blocks, 20);
        EXPECT_EQ(ramp_frames, c.ramp);
        EXPECT_FLOAT_EQ(ramp_scale, 1.0f / float(c.ramp));
    }
    EXPECT_FALSE(sound_set_rate(0));
    EXPECT_FALSE(sound_set_rate(-44100));
    EXPECT_FALSE(sound_set_rate(300));  // a ramp of 0 frames
    EXPECT_EQ(block_frames, 960);
    register_module_callbacks();
    EXPECT_FALSE(render_open(300));
    EXPECT_EQ(voices, nullptr);
    EXPECT_EQ(output_rate, 48000);
    sound_set_rate(44100);
    voices_set_rate(44100);
}

TEST_F(Sound, RefusesToOpenWithoutAllFiveCallbacksOrARenderFunction)
{
    fake_sound_reset();
    register_stream_callbacks(module_open, module_close, module_read, nullptr, module_tell);
    EXPECT_FALSE(render_open(44100));
    EXPECT_EQ(voices, nullptr);
    EXPECT_FALSE(sound_open(44100, nullptr));
    EXPECT_EQ(fake_sound.opens, 0);
    EXPECT_EQ(output_ring, nullptr);
}

TEST_F(Sound, DeviceFailureIsAFailedOpenAndCloseReleasesWhatWasOpened)
{
    FakeSoundScript script;
    script.open_ok = false;
    fake_sound_reset(script);
    register_module_callbacks();
    EXPECT_FALSE(sound_open(44100, render_songs));
    EXPECT_EQ(output_ring, nullptr);
    sound_close();
    sound_close();  // twice, and on a closed device: harmless
    EXPECT_EQ(fake_sound.closes, 0);
}

TEST_F(Sound, OpenLoopsASilentRingAndLinksTheVoicesInOrder)
{
    open_fake(true);
    EXPECT_EQ(fake_sound.rate, 44100);
    EXPECT_EQ(fake_sound.ring, output_ring);
    EXPECT_EQ(fake_sound.ring_bytes, 70720u);
    EXPECT_TRUE(fake_sound.thread_started);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(mix_buffer) % 16, 0u);
    for (int32_t i = 0; i < ring_frames * 2; i++)
        ASSERT_EQ(output_ring[i], 0);
    int32_t n = 0;
    for (Voice* v = voice_list.next; v != &voice_list; v = v->next, n++) {
        ASSERT_EQ(v, &voices[n]);
        ASSERT_EQ(v->index, n);
        ASSERT_EQ(v->sample, nullptr);
    }
    EXPECT_EQ(n, VOICE_COUNT);
    EXPECT_EQ(next_block, 0);

    sound_close();
    EXPECT_EQ(mixer_exited.load(), 1);
    EXPECT_EQ(fake_sound.closes, 1);
    EXPECT_EQ(output_ring, nullptr);
    render_close();
    EXPECT_EQ(voices, nullptr);
    EXPECT_EQ(voice_list.next, &voice_list);
}

TEST_F(Sound, FirstBlockIsMixedWhenTheDeviceEntersBlock1)
{
    open_fake();
    EXPECT_FALSE(mixing_poll());
    fake_sound_enter_block(1);
    EXPECT_TRUE(mixing_poll());
    EXPECT_EQ(next_block, 1);
    EXPECT_FALSE(mixing_poll());
    fake_sound_enter_block(2);
    EXPECT_TRUE(mixing_poll());
    EXPECT_EQ(next_block, 2);
}

TEST_F(Sound, DeviceInBlock0MixesBlock19ThenWaitsForBlock1)
{
    open_fake();
    next_block = 19;
    fake_sound_enter_block(0);
    fake_sound.position += 4 * 100;  // inside block 0, not at its start
    EXPECT_TRUE(mixing_poll());
    EXPECT_EQ(next_block, 0);
    EXPECT_FALSE(mixing_poll());
    EXPECT_FALSE(mixing_poll());
    fake_sound_enter_block(1);
    EXPECT_TRUE(mixing_poll());
    EXPECT_EQ(next_block, 1);
}

TEST_F(Sound, DeviceInBlock5CatchesUpFromBlock2OneBlockAPoll)
{
    open_fake();
    next_block = 2;
    fake_sound_enter_block(5);
    for (int32_t b = 3; b <= 5; b++) {
        EXPECT_TRUE(mixing_poll());
        EXPECT_EQ(next_block, b);
    }
    EXPECT_FALSE(mixing_poll());
    EXPECT_EQ(next_block, 5);
}

TEST_F(Sound, BacklogAcrossTheRingEndWaitsForBlock0)
{
    open_fake();
    next_block = 18;
    for (int32_t k : {3, 4, 10}) {
        fake_sound_enter_block(k);
        EXPECT_FALSE(mixing_poll()) << "device in block " << k;
    }
    fake_sound_enter_block(0);
    EXPECT_TRUE(mixing_poll());
    EXPECT_TRUE(mixing_poll());
    EXPECT_EQ(next_block, 0);
    EXPECT_FALSE(mixing_poll());
}

TEST_F(Sound, WithoutAPlayingSongTheRingStaysSilentAndNoVoiceMoves)
{
    open_fake();
    CountingSample s;
    voice_set_frequency(&voices[0], 44100);
    voice_set_volume(&voices[0], 255);
    voices[0].start_offset = 7;
    voice_start(0, &s.sample);
    std::vector<float> mix(size_t(block_frames) * 2, 1.0f);
    std::vector<int16_t> block(size_t(block_frames) * 2, 1);
    for (int i = 0; i < 25; i++)
        render_songs(mix.data(), block.data(), block_frames);
    for (int16_t x : block)
        EXPECT_EQ(x, 0);
    for (int32_t b = 1; b <= 5; b++) {
        fake_sound_enter_block(b);
        ASSERT_TRUE(mixing_poll());
    }
    for (int32_t i = 0; i < ring_frames * 2; i++)
        ASSERT_EQ(output_ring[i], 0);
    EXPECT_EQ(voices[0].position, 7u);
    EXPECT_EQ(next_block, 5);
}

TEST_F(Sound, TicksComeAtTheirFramesAcrossBlocksAndATempoChangeActsAtOnce)
{
    open_fake();
    CountingSample s;
    voice_set_frequency(&voices[0], 44100);
    voice_set_volume(&voices[0], 255);
    voice_set_panning(&voices[0], 0);
    voice_start(0, &s.sample);
    HandSong song(300);
    tempo_change_at_tick = 4;  // from the fourth tick on, ticks of 100 frames
    song.play();
    std::vector<float> mix(size_t(block_frames) * 2);
    std::vector<int16_t> block(size_t(block_frames) * 2);
    for (int i = 0; i < 3; i++)
        render_songs(mix.data(), block.data(), block_frames);
    // 3 x 884 = 2652 frames: ticks at 0, 300, 600, 900, then every 100.
    std::vector<uint32_t> expect = {0, 300, 600, 900};
    for (uint32_t f = 1000; f < 2652; f += 100)
        expect.push_back(f);
    EXPECT_EQ(tick_frames, expect);
    EXPECT_EQ(song.song.samples_until_tick, 2700 - 2652);
    // The voice sounds on the left from the first frame (its gain ramps up).
    EXPECT_GT(block[size_t(2 * (block_frames - 1))], 900);
    EXPECT_EQ(block[size_t(2 * (block_frames - 1) + 1)], 0);
}

TEST_F(Sound, ReopeningKeepsPlayingSongsOnTheNewRateAndVoices)
{
    open_fake();
    HandSong song(1);
    song.song.bpm = 125;
    song.song.channel_count = 3;
    song.song.channels = static_cast<Channel*>(calloc(3, sizeof(Channel)));
    song.play();
    ASSERT_TRUE(render_open(22050));
    ASSERT_TRUE(sound_open(22050, render_songs));
    EXPECT_EQ(song.song.samples_per_tick, 441);
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(song.song.channels[i].voice, &voices[i]);
        EXPECT_EQ(song.song.channels[i].voice_index, i);
    }
    sound_close();
    render_close();
    EXPECT_EQ(song.song.channels[1].voice, nullptr);
    EXPECT_EQ(song.song.channels[1].voice_index, -1);
    free(song.song.channels);
    song.song.channels = nullptr;
}

// A layer without a thread (the web page's audio callback) moves its play
// position on by sound_step_frames(512) and then mixes what is due. At every
// rate, across several passes of the ring, every block behind the device is
// then mixed, and the block heard is the one rendered a ring earlier. (Steps
// of 512 frames at 8000 Hz, more than three blocks, once left a whole ring
// unmixed after a step across the ring's end.)
TEST_F(Sound, AThreadlessLayerKeepsUpWithItsStepsAtEveryRate)
{
    for (int32_t rate : {8000, 11025, 12800, 22050, 44100, 48000}) {
        FakeSoundScript script;
        script.threaded = false;
        fake_sound_reset(script);
        ASSERT_TRUE(sound_open(rate, render_songs));
        int32_t step = sound_step_frames(512);
        EXPECT_EQ(step, block_frames < 512 ? block_frames : 512) << rate;
        int32_t frame = -1;
        EXPECT_EQ(sound_block_heard(&frame), -1);
        int64_t rendered = 0;
        for (int64_t played = step; played < 3 * int64_t(ring_frames); played += step) {
            fake_sound.position = uint64_t(played) * 4;
            rendered += sound_mix_due();
            int32_t playing = int32_t(played % ring_frames) / block_frames;
            ASSERT_EQ(next_block, playing) << rate << " Hz, " << played << " frames played";
            ASSERT_EQ(rendered, played / block_frames) << rate << " Hz";
            int64_t heard = played / block_frames - RING_BLOCKS;
            ASSERT_EQ(sound_block_heard(&frame), heard < 0 ? -1 : heard) << rate << " Hz";
            ASSERT_EQ(frame, played % block_frames);
        }
        sound_close();
        EXPECT_EQ(sound_mix_due(), 0);
    }
}

// Drives the threaded fake block by block and copies each block out of the
// ring once the thread has mixed it.
std::vector<int16_t> blocks_from_thread(int count)
{
    std::vector<int16_t> out;
    for (int b = 0; b < count; b++) {
        fake_sound_enter_block((b + 1) % ring_blocks);
        auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (true) {
            mix_lock_acquire();
            int32_t next = next_block;
            mix_lock_release();
            if (next == (b + 1) % ring_blocks)
                break;
            if (std::chrono::steady_clock::now() > give_up)
                return {};
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        mix_lock_acquire();
        const int16_t* block = output_ring + size_t(b % ring_blocks) * block_frames * 2;
        out.insert(out.end(), block, block + block_frames * 2);
        mix_lock_release();
    }
    return out;
}

void start_scene(CountingSample& s)
{
    mix_lock_acquire();
    voice_set_frequency(&voices[0], 30000);
    voice_set_volume(&voices[0], 200);
    voice_set_panning(&voices[0], 90);
    voice_start(0, &s.sample);
    mix_lock_release();
}

TEST_F(Sound, BlocksRenderedWithoutADeviceEqualTheThreadsBlocks)
{
    CountingSample s;
    for (size_t i = 0; i < s.values.size(); i++)
        s.values[i] = int16_t((i * 7919) % 20000 - 10000);
    s.values[s.sample.length] = s.values[0];

    std::vector<int16_t> from_thread;
    open_fake(true);
    start_scene(s);
    {
        HandSong song(500);
        song.play();
        from_thread = blocks_from_thread(23);
    }
    ASSERT_EQ(from_thread.size(), size_t(23 * block_frames * 2));
    std::vector<uint32_t> thread_ticks = tick_frames;
    int nonzero = 0;
    for (int16_t x : from_thread)
        nonzero += x != 0;
    EXPECT_GT(nonzero, 23 * block_frames);

    // Rendered by the caller on voices opened at the rate, with a layer
    // linked that would run a thread: the layer is not touched, and the
    // blocks are the same.
    FakeSoundScript threaded;
    threaded.threaded = true;
    fake_sound_reset(threaded);
    ASSERT_TRUE(render_open(44100));
    tick_frames.clear();
    start_scene(s);
    HandSong song(500);
    song.play();
    std::vector<float> mix(size_t(block_frames) * 2);
    std::vector<int16_t> rendered(from_thread.size());
    for (int b = 0; b < 23; b++)
        render_songs(mix.data(), rendered.data() + size_t(b) * block_frames * 2, block_frames);
    EXPECT_EQ(rendered, from_thread);
    EXPECT_EQ(tick_frames, thread_ticks);
    EXPECT_EQ(fake_sound.opens, 0);
    EXPECT_EQ(fake_sound.ring, nullptr);
    EXPECT_FALSE(fake_sound.thread_started);
}

}  // namespace
