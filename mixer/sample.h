// sample.h -- a sample as the loader stores it and the mixer reads it.
//
// The loader (player/xm_loader.cpp) fills these records; the voices play
// them (mixer/voice.h). The data holds SAMPLE_SPARE_VALUES spare values and
// a guard value behind the loop, so that the mixer's interpolation reads one
// value past the loop without a bounds check.
#pragma once
#include <cstdint>

enum : uint8_t {
    LOOP_NONE = 1,
    LOOP_FORWARD = 2,
    LOOP_PINGPONG = 4,
};

enum { SAMPLE_SPARE_VALUES = 8 };

struct Sample {
    int16_t* data;          // length values + SAMPLE_SPARE_VALUES spare; null if length 0
    uint32_t length;        // in samples
    uint32_t loop_start;    // in samples; loop_start + loop_length <= length
    uint32_t loop_length;   // in samples; the whole sample when there is no loop
    uint8_t volume;         // default volume 0..64
    int8_t finetune;        // -128..127
    int32_t panning;        // default panning 0..255
    uint8_t bits;           // 8 or 16 as read; 16 once the data is loaded
    uint8_t loop_type;      // LOOP_NONE, LOOP_FORWARD, LOOP_PINGPONG (0 for empty_sample)
    int8_t relative_note;   // semitones added to the note
};
