// fake_sound.cpp -- the test double of the sound device.
#include "tests/support/fake_sound.h"

#include <chrono>
#include <thread>

FakeSoundState fake_sound;
static std::thread mixing;

static bool fake_open(int32_t rate)
{
    if (!fake_sound.script.open_ok)
        return false;
    fake_sound.opens++;
    fake_sound.rate = rate;
    return true;
}

static void fake_play_loop(const int16_t* ring, uint32_t bytes)
{
    fake_sound.ring = ring;
    fake_sound.ring_bytes = bytes;
    fake_sound.position = 0;
}

static uint64_t fake_bytes_played(void)
{
    fake_sound.reads++;
    return fake_sound.position.fetch_add(fake_sound.script.bytes_per_read);
}

static void fake_close(void)
{
    fake_sound.closes++;
    fake_sound.ring = nullptr;
    fake_sound.ring_bytes = 0;
}

static bool fake_thread_start(int (*body)(void))
{
    if (!fake_sound.script.threaded)
        return false;
    mixing = std::thread(body);
    fake_sound.thread_started = true;
    return true;
}

static void fake_thread_join(void)
{
    if (mixing.joinable())
        mixing.join();
}

static void fake_sleep_ms(int32_t ms)
{
    int64_t us = int64_t(ms) * fake_sound.script.sleep_us_per_ms;
    if (us > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(us));
    else
        std::this_thread::yield();
}

const SoundDevice sound_device = {
    fake_open, fake_play_loop, fake_bytes_played, fake_close,
    fake_thread_start, fake_thread_join, fake_sleep_ms,
};

void fake_sound_reset(const FakeSoundScript& script)
{
    sound_close();
    fake_sound.script = script;
    fake_sound.position = 0;
    fake_sound.reads = 0;
    fake_sound.opens = 0;
    fake_sound.closes = 0;
    fake_sound.rate = 0;
    fake_sound.ring = nullptr;
    fake_sound.ring_bytes = 0;
    fake_sound.thread_started = false;
}

void fake_sound_enter_block(int32_t block)
{
    uint64_t ring_bytes = uint64_t(ring_frames) * 4;
    uint64_t at = fake_sound.position.load();
    uint64_t target = at - at % ring_bytes + uint64_t(block) * uint64_t(block_frames) * 4;
    if (target < at)
        target += ring_bytes;
    fake_sound.position = target;
}
