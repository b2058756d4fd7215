// sound_offline.cpp -- the sound layer of the offline tools: no device and
// no thread. The ring is never played; the caller takes the blocks one by
// one with sound_render_block, each mixed exactly as the mixing thread
// would have mixed it.
#include "audio/sound.h"

static bool offline_open(int32_t)
{
    return true;
}

static void offline_play_loop(const int16_t*, uint32_t)
{
}

static uint64_t offline_bytes_played(void)
{
    return 0;
}

static void offline_close(void)
{
}

static bool offline_thread_start(int (*)(void))
{
    return false;
}

static void offline_thread_join(void)
{
}

static void offline_sleep_ms(int32_t)
{
}

const SoundDevice sound_device = {
    offline_open, offline_play_loop, offline_bytes_played, offline_close,
    offline_thread_start, offline_thread_join, offline_sleep_ms,
};
