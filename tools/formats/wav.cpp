// wav.cpp -- a streaming 16-bit stereo WAV writer.
#include "tools/formats/wav.h"

#include <cstring>

static void put16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
static void put32(uint8_t* p, uint32_t v) { put16(p, v); put16(p + 2, v >> 16); }

static void header(uint8_t h[44], int32_t rate, uint64_t frames)
{
    uint64_t data = frames * 4;
    if (data > 0xFFFFFFFFull - 36)
        data = 0xFFFFFFFFull - 36;
    memcpy(h, "RIFF", 4);
    put32(h + 4, uint32_t(36 + data));
    memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);
    put16(h + 20, 1);             // PCM
    put16(h + 22, 2);             // stereo
    put32(h + 24, uint32_t(rate));
    put32(h + 28, uint32_t(rate) * 4);
    put16(h + 32, 4);             // bytes per frame
    put16(h + 34, 16);            // bits per sample
    memcpy(h + 36, "data", 4);
    put32(h + 40, uint32_t(data));
}

bool wav_open(WavWriter* wav, const char* path, int32_t rate)
{
    *wav = WavWriter{fopen(path, "wb"), rate, 0, false};
    if (!wav->file)
        return false;
    uint8_t h[44];
    header(h, rate, 0);
    wav->failed = fwrite(h, 1, 44, wav->file) != 44;
    return !wav->failed;
}

void wav_write(WavWriter* wav, const int16_t* samples, int64_t frames)
{
    if (!wav->file || frames <= 0)
        return;
    // WAV data is little-endian, as are the machines this runs on.
    if (fwrite(samples, 4, size_t(frames), wav->file) != size_t(frames))
        wav->failed = true;
    wav->frames += uint64_t(frames);
}

void wav_write_silence(WavWriter* wav, int64_t frames)
{
    static const int16_t zeros[2 * 1024] = {};
    while (frames > 0) {
        int64_t n = frames < 1024 ? frames : 1024;
        wav_write(wav, zeros, n);
        frames -= n;
    }
}

bool wav_close(WavWriter* wav)
{
    if (!wav->file)
        return false;
    uint8_t h[44];
    header(h, wav->rate, wav->frames);
    if (fseek(wav->file, 0, SEEK_SET) != 0 || fwrite(h, 1, 44, wav->file) != 44)
        wav->failed = true;
    if (fclose(wav->file) != 0)
        wav->failed = true;
    wav->file = nullptr;
    return !wav->failed;
}
