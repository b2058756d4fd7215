// fake_waveout.cpp -- the test double of the sound device.
#include "tests/support/fake_waveout.h"

#include <chrono>
#include <thread>

FakeWaveoutState fake_waveout;
static std::thread mixing;

static bool fake_open(int32_t rate)
{
    if (!fake_waveout.script.open_ok)
        return false;
    fake_waveout.opens++;
    fake_waveout.rate = rate;
    return true;
}

static void fake_play_loop(const int16_t* ring, uint32_t bytes)
{
    fake_waveout.ring = ring;
    fake_waveout.ring_bytes = bytes;
    fake_waveout.position = 0;
}

static uint64_t fake_bytes_played(void)
{
    fake_waveout.reads++;
    return fake_waveout.position.fetch_add(fake_waveout.script.bytes_per_read);
}

static void fake_close(void)
{
    fake_waveout.closes++;
    fake_waveout.ring = nullptr;
    fake_waveout.ring_bytes = 0;
}

static bool fake_thread_start(int (*body)(void))
{
    if (!fake_waveout.script.threaded)
        return false;
    mixing = std::thread(body);
    fake_waveout.thread_started = true;
    return true;
}

static void fake_thread_join(void)
{
    if (mixing.joinable())
        mixing.join();
}

static void fake_sleep_ms(int32_t ms)
{
    int64_t us = int64_t(ms) * fake_waveout.script.sleep_us_per_ms;
    if (us > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(us));
    else
        std::this_thread::yield();
}

const SoundDevice sound_device = {
    fake_open, fake_play_loop, fake_bytes_played, fake_close,
    fake_thread_start, fake_thread_join, fake_sleep_ms,
};

void fake_waveout_reset(const FakeWaveoutScript& script)
{
    sound_close();
    fake_waveout.script = script;
    fake_waveout.position = 0;
    fake_waveout.reads = 0;
    fake_waveout.opens = 0;
    fake_waveout.closes = 0;
    fake_waveout.rate = 0;
    fake_waveout.ring = nullptr;
    fake_waveout.ring_bytes = 0;
    fake_waveout.thread_started = false;
}

void fake_waveout_enter_block(int32_t block)
{
    uint64_t ring_bytes = uint64_t(ring_frames) * 4;
    uint64_t at = fake_waveout.position.load();
    uint64_t target = at - at % ring_bytes + uint64_t(block) * uint64_t(block_frames) * 4;
    if (target < at)
        target += ring_bytes;
    fake_waveout.position = target;
}
