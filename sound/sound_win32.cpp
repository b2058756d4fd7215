// sound_win32.cpp -- the sound layer on Windows: the default wave-out
// device playing one prepared header that loops over the whole ring, its
// play position in bytes, and the mixing thread at time-critical priority.
#include "sound/sound.h"

#include <windows.h>
#include <mmsystem.h>

static HWAVEOUT device;
static WAVEHDR header;         // the one looping header over the whole ring
static uint64_t counter_wraps; // times the device's 32-bit position went round, x 2^32
static DWORD last_counter;     // the position the device last reported
static uint32_t counter_unit;  // bytes per count: 1 in bytes, 4 in frames
static HANDLE thread;
static int (*thread_body)(void);

static bool win32_open(int32_t rate)
{
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = DWORD(rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = DWORD(rate) * 4;
    // No notification callback: the mixing thread polls the position.
    if (waveOutOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) == MMSYSERR_NOERROR)
        return true;
    device = nullptr;
    return false;
}

// One header, marked as both the first and the last of a loop repeated
// 0xFFFFFFFF times: the device plays the ring over and over, from the
// moment it is written, until it is reset.
static void win32_play_loop(const int16_t* ring, uint32_t bytes)
{
    header = WAVEHDR{};
    header.lpData = reinterpret_cast<LPSTR>(const_cast<int16_t*>(ring));
    header.dwBufferLength = bytes;
    header.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    header.dwLoops = 0xFFFFFFFF;
    counter_wraps = 0;
    last_counter = 0;
    counter_unit = 1;
    waveOutPrepareHeader(device, &header, sizeof header);
    waveOutWrite(device, &header, sizeof header);
}

// The device counts in 32 bits, which go round after about six hours at
// 44100 Hz; counting the wraps keeps the ring position continuous. A driver
// that cannot count bytes answers in samples (frames) instead.
static uint64_t win32_bytes_played(void)
{
    MMTIME time = {};
    time.wType = TIME_BYTES;
    DWORD counter = last_counter;
    if (waveOutGetPosition(device, &time, sizeof time) == MMSYSERR_NOERROR) {
        if (time.wType == TIME_BYTES) {
            counter = time.u.cb;
            counter_unit = 1;
        } else if (time.wType == TIME_SAMPLES) {
            counter = time.u.sample;
            counter_unit = 4;
        }
    }
    if (counter < last_counter)
        counter_wraps += uint64_t(1) << 32;
    last_counter = counter;
    return (counter_wraps + counter) * counter_unit;
}

// Resets first: a header still playing cannot be unprepared. The reset
// stops the loop and hands the header back, then it is unprepared and the
// device closed, before the caller frees the ring.
static void win32_close(void)
{
    if (!device)
        return;
    waveOutReset(device);
    if (header.dwFlags & WHDR_PREPARED)
        waveOutUnprepareHeader(device, &header, sizeof header);
    waveOutClose(device);
    device = nullptr;
    header = WAVEHDR{};
}

static DWORD WINAPI thread_entry(LPVOID)
{
    return DWORD(thread_body());
}

static bool win32_thread_start(int (*body)(void))
{
    thread_body = body;
    thread = CreateThread(nullptr, 0, thread_entry, nullptr, 0, nullptr);
    if (!thread)
        return false;
    SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL);
    return true;
}

static void win32_thread_join(void)
{
    if (!thread)
        return;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    thread = nullptr;
}

static void win32_sleep_ms(int32_t ms)
{
    Sleep(DWORD(ms));
}

const SoundDevice sound_device = {
    win32_open, win32_play_loop, win32_bytes_played, win32_close,
    win32_thread_start, win32_thread_join, win32_sleep_ms,
};
