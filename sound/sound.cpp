// sound.cpp -- sound_open / sound_close, the block ring and the mixing thread.
#include "sound/sound.h"

#include <cstdlib>
#include <cstring>

#include "mixer/divide.h"
#include "mixer/mix_lock.h"
#include "mixer/voice.h"

int32_t block_frames;
int32_t ring_frames;
int32_t ring_blocks;
float* mix_buffer;
int16_t* output_ring;
int32_t next_block;
std::atomic<int> stop_requested{0};
std::atomic<int> mixer_exited{1};

static void* mix_buffer_allocation;  // mix_buffer before alignment
static bool device_open;
static bool thread_running;
static SoundRender render_block;     // what fills each block; null while closed
static int64_t blocks_rendered;      // since sound_open
static int64_t ring_serial[RING_BLOCKS];  // which rendered block each ring block
                                          // holds; -1: the silence of the open

bool sound_set_rate(int32_t rate)
{
    if (rate < OUTPUT_RATE_MIN || rate > OUTPUT_RATE_MAX)
        return false;
    block_frames = mix_block_frames(rate);
    ring_frames = (RING_SETTING_MS / 20) * block_frames * 2;
    ring_blocks = ring_frames / block_frames;
    return true;
}

bool sound_open(int32_t rate, SoundRender render)
{
    sound_close();
    if (!render || !sound_set_rate(rate))
        return false;
    if (!sound_device.open(rate))
        return false;
    device_open = true;
    next_block = 0;
    blocks_rendered = 0;
    for (int64_t& serial : ring_serial)
        serial = -1;

    // 256 spare bytes, so the start can be moved up to a 16-byte boundary.
    size_t mix_bytes = size_t(ring_frames) * 2 * sizeof(float);
    mix_buffer_allocation = calloc(1, mix_bytes + 256);
    if (!mix_buffer_allocation)
        return false;
    uintptr_t aligned = (reinterpret_cast<uintptr_t>(mix_buffer_allocation) + 15) & ~uintptr_t(15);
    mix_buffer = reinterpret_cast<float*>(aligned);

    output_ring = static_cast<int16_t*>(calloc(size_t(ring_frames) * 2, sizeof(int16_t)));
    if (!output_ring)
        return false;
    sound_device.play_loop(output_ring, uint32_t(ring_frames) * 4);
    render_block = render;

    stop_requested = 0;
    thread_running = sound_device.thread_start(mixing_thread);
    return true;
}

void sound_close(void)
{
    stop_requested = 1;
    // Waits for a block in progress; the join below makes sure no block is
    // begun after it and nothing is freed under a thread that has not ended.
    mix_lock_acquire();
    mix_lock_release();
    if (thread_running) {
        sound_device.thread_join();
        thread_running = false;
    }

    render_block = nullptr;
    free(mix_buffer_allocation);
    mix_buffer_allocation = nullptr;
    mix_buffer = nullptr;
    if (device_open) {
        sound_device.close();
        device_open = false;
    }
    free(output_ring);
    output_ring = nullptr;
}

// Renders block next_block into the ring, then moves next_block on (under
// the lock, for whoever watches it).
static void mix_next_block(void)
{
    mix_lock_acquire();
    int32_t b = next_block;
    size_t at = size_t(b) * block_frames * 2;
    render_block(mix_buffer + at, output_ring + at, block_frames);
    ring_serial[b] = blocks_rendered++;
    next_block = b + 1 == ring_blocks ? 0 : b + 1;
    mix_lock_release();
}

// While the device plays block `playing`, block `next` is due when it is
// behind it; the block before block 0 is the ring's last, and while the
// device plays block 1 everything but block 1 is due.
static bool block_due(int32_t next, int32_t playing)
{
    int32_t previous = playing == 0 ? ring_blocks - 1 : playing - 1;
    return next != playing && (next <= previous || (previous == 0 && next != 1));
}

bool mixing_poll(void)
{
    uint64_t frame;
    divide_u64(sound_device.bytes_played() / 4, uint64_t(ring_frames), &frame);
    int32_t playing = int32_t(frame) / block_frames;
    if (!block_due(next_block, playing))
        return false;
    mix_next_block();
    return true;
}

int mixing_thread(void)
{
    mixer_exited = 0;  // ring_blocks was set with the rate
    while (!stop_requested) {
        mixing_poll();
        sound_device.sleep_ms(MIX_POLL_MS);
    }
    mixer_exited = 1;
    return 0;
}

int32_t sound_mix_due(void)
{
    int32_t mixed = 0;
    while (output_ring && mixing_poll())
        mixed++;
    return mixed;
}

int32_t sound_step_frames(int32_t wanted)
{
    return wanted < block_frames ? wanted : block_frames;
}

int64_t sound_block_heard(int32_t* frame)
{
    *frame = 0;
    if (!output_ring)
        return -1;
    uint64_t position;
    divide_u64(sound_device.bytes_played() / 4, uint64_t(ring_frames), &position);
    *frame = int32_t(position) % block_frames;
    mix_lock_acquire();
    int64_t serial = ring_serial[int32_t(position) / block_frames];
    mix_lock_release();
    return serial;
}
