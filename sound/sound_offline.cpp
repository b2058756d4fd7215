// sound_offline.cpp -- the sound layer of the programs that run the show
// offline: no device and no thread. The ring is opened but never played;
// such a program (tavimo-capture) renders the blocks itself with the render
// function the show gave the device (player/render.h), at the moments the
// device would have asked for them.
#include "sound/sound.h"

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
