// waveout_win32.cpp -- the sound device on the Windows wave-out interface:
// one header covering the whole ring, marked as both the beginning and the
// end of an endless loop; the play position from waveOutGetPosition in
// bytes; the mixing thread at time-critical priority.
#include "audio/sound.h"

#include <windows.h>
#include <mmsystem.h>

static HWAVEOUT device;
static WAVEHDR header;
static uint32_t last_position;   // the device's 32-bit byte count at the last read
static uint64_t position_high;   // what its wraps past 2^32 have added
static HANDLE thread;

static bool win32_open(int32_t rate)
{
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = DWORD(rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = DWORD(rate) * 4;
    return waveOutOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) ==
           MMSYSERR_NOERROR;
}

static void win32_play_loop(const int16_t* ring, uint32_t bytes)
{
    header = WAVEHDR{};
    header.lpData = reinterpret_cast<LPSTR>(const_cast<int16_t*>(ring));
    header.dwBufferLength = bytes;
    header.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    header.dwLoops = 0xFFFFFFFFu;
    last_position = 0;
    position_high = 0;
    waveOutPrepareHeader(device, &header, sizeof header);
    waveOutWrite(device, &header, sizeof header);
}

// Read by the mixing thread only, every few milliseconds: a count that has
// gone down has wrapped past 2^32 bytes (after about six hours).
static uint64_t win32_bytes_played(void)
{
    MMTIME time = {};
    time.wType = TIME_BYTES;
    waveOutGetPosition(device, &time, sizeof time);
    uint32_t now = time.u.cb;
    if (now < last_position)
        position_high += uint64_t(1) << 32;
    last_position = now;
    return position_high + now;
}

static void win32_close(void)
{
    waveOutReset(device);
    waveOutUnprepareHeader(device, &header, sizeof header);
    header.dwFlags &= ~DWORD(WHDR_PREPARED);
    waveOutClose(device);
    device = nullptr;
}

static DWORD WINAPI thread_body(LPVOID body)
{
    return DWORD(reinterpret_cast<int (*)(void)>(body)());
}

static bool win32_thread_start(int (*body)(void))
{
    thread = CreateThread(nullptr, 0, thread_body, reinterpret_cast<LPVOID>(body), 0, nullptr);
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
