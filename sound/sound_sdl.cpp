// sound_sdl.cpp -- the sound layer on SDL2 audio: the device's callback
// copies from the looping ring at the play cursor and counts the bytes
// played; the mixing thread is an SDL thread asking for time-critical
// priority.
#include "sound/sound.h"

#include <SDL.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

static SDL_AudioDeviceID device;
static bool subsystem_up;
static const uint8_t* ring;          // what play_loop was given; null: silence
static uint32_t ring_bytes;
static uint32_t cursor;              // byte offset of the next byte played
static std::atomic<uint64_t> played; // bytes handed to the device since play_loop
static SDL_Thread* thread;

// SDL's audio thread: the next `length` bytes of the ring, wrapping round.
static void SDLCALL fill(void*, Uint8* stream, int length)
{
    if (!ring) {
        memset(stream, 0, size_t(length));
        return;
    }
    uint32_t left = uint32_t(length);
    while (left > 0) {
        uint32_t piece = ring_bytes - cursor < left ? ring_bytes - cursor : left;
        memcpy(stream, ring + cursor, piece);
        stream += piece;
        left -= piece;
        cursor += piece;
        if (cursor == ring_bytes)
            cursor = 0;
    }
    played.fetch_add(uint64_t(length), std::memory_order_release);
}

// SDL's disk and dummy drivers produce no sound; they are used only when
// SDL_AUDIODRIVER names them, never as a fall-back.
static bool silent_driver_unasked(const char* driver)
{
    if (strcmp(driver, "disk") != 0 && strcmp(driver, "dummy") != 0)
        return false;
    const char* asked = getenv("SDL_AUDIODRIVER");
    return !asked || strcmp(asked, driver) != 0;
}

static bool open_device(int32_t rate)
{
    const char* driver = SDL_GetCurrentAudioDriver();
    if (!driver || silent_driver_unasked(driver))
        return false;
    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 512;  // about 12 ms a callback: the play position moves in small steps
    want.callback = fill;
    SDL_AudioSpec have;
    // No changes allowed: SDL converts to whatever the hardware takes.
    device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    return device != 0;
}

// A failed open leaves nothing behind for the close that may never come.
static bool sdl_open(int32_t rate)
{
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return false;
    if (open_device(rate)) {
        subsystem_up = true;
        return true;
    }
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
}

static void sdl_play_loop(const int16_t* data, uint32_t bytes)
{
    SDL_LockAudioDevice(device);
    ring = reinterpret_cast<const uint8_t*>(data);
    ring_bytes = bytes;
    cursor = 0;
    played.store(0);
    SDL_UnlockAudioDevice(device);
    SDL_PauseAudioDevice(device, 0);
}

static uint64_t sdl_bytes_played(void)
{
    return played.load(std::memory_order_acquire);
}

static void sdl_close(void)
{
    if (device != 0)
        SDL_CloseAudioDevice(device);  // stops the callback and waits for it
    device = 0;
    ring = nullptr;
    ring_bytes = 0;
    if (subsystem_up)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    subsystem_up = false;
}

static int SDLCALL thread_body(void* body)
{
    // Where the system refuses (no real-time rights), the thread carries on
    // at normal priority.
    SDL_SetThreadPriority(SDL_THREAD_PRIORITY_TIME_CRITICAL);
    return reinterpret_cast<int (*)(void)>(body)();
}

static bool sdl_thread_start(int (*body)(void))
{
    thread = SDL_CreateThread(thread_body, "mixing", reinterpret_cast<void*>(body));
    return thread != nullptr;
}

static void sdl_thread_join(void)
{
    if (thread)
        SDL_WaitThread(thread, nullptr);
    thread = nullptr;
}

static void sdl_sleep_ms(int32_t ms)
{
    SDL_Delay(Uint32(ms));
}

const SoundDevice sound_device = {
    sdl_open, sdl_play_loop, sdl_bytes_played, sdl_close,
    sdl_thread_start, sdl_thread_join, sdl_sleep_ms,
};
