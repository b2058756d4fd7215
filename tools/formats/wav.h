// wav.h -- writing 16-bit stereo PCM WAV files a block at a time.
#pragma once
#include <cstdint>
#include <cstdio>

struct WavWriter {
    FILE* file;       // null when not open
    int32_t rate;     // frames per second
    uint64_t frames;  // frames written so far
    bool failed;      // a write failed
};

// Opens `path` and writes a header to be completed by wav_close. False on failure.
bool wav_open(WavWriter* wav, const char* path, int32_t rate);
// Appends `frames` left/right int16 frames.
void wav_write(WavWriter* wav, const int16_t* samples, int64_t frames);
// Appends `frames` frames of silence.
void wav_write_silence(WavWriter* wav, int64_t frames);
// Completes the header and closes. False if any write failed.
bool wav_close(WavWriter* wav);
