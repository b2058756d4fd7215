// xm_writer.h -- builds small XM files in memory, so that each loader and
// replay test reads as a few lines of module.
//
// Defaults make a playable module: linear periods, speed 6, BPM 125, one
// 64-row pattern, order table {0}. Patterns are written packed (a mask byte
// and the non-zero fields of each cell) unless raw bytes are given.
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

#include "player/song.h"

struct XmSample {
    std::vector<int16_t> values;  // the decoded values (8-bit samples use -128..127)
    bool sixteen_bit = false;
    uint32_t loop_start = 0;      // in samples
    uint32_t loop_length = 0;     // in samples
    uint8_t loop_bits = 0;        // type byte bits 0..1: 1 forward, 2 ping-pong
    uint8_t volume = 64;
    int8_t finetune = 0;
    uint8_t panning = 128;
    int8_t relative_note = 0;
    // Overrides of the header fields as written (in bytes), for odd files.
    bool raw_lengths = false;
    uint32_t raw_length = 0, raw_loop_start = 0, raw_loop_length = 0;
};

struct XmEnvelope {
    std::vector<std::pair<uint16_t, uint16_t>> points;  // (x tick, y value)
    uint8_t sustain = 0, loop_start = 0, loop_end = 0;
    uint8_t type = 0;  // ENVELOPE_ON | ENVELOPE_SUSTAIN | ENVELOPE_LOOP
};

struct XmInstrument {
    std::vector<XmSample> samples;
    uint8_t keymap[96] = {};
    XmEnvelope volume_envelope, panning_envelope;
    uint8_t vibrato_type = 0, vibrato_sweep = 0, vibrato_depth = 0, vibrato_rate = 0;
    uint16_t fadeout = 0;  // as in the file
};

struct XmPattern {
    int rows = 64;
    std::vector<Cell> cells;         // rows x channels; empty = all zero
    std::vector<uint8_t> raw_data;   // written instead of packing cells when set
    bool empty_packed = false;       // write a packed size of 0
};

struct XmModule {
    int channels = 4;
    int song_length = 1;
    int restart_position = 0;
    uint16_t flags = 1;  // linear periods
    int speed = 6;
    int bpm = 125;
    std::vector<uint8_t> order = {0};
    std::vector<XmPattern> patterns = {XmPattern{}};
    std::vector<XmInstrument> instruments;
    int pattern_count = -1;  // header's pattern count; -1: patterns.size()
};

// The cell of a pattern, growing the cell table to rows x channels.
Cell& xm_cell(XmModule& module, int pattern, int row, int channel);
// A one-sample instrument playing `values` for every note.
XmInstrument xm_instrument(std::vector<int16_t> values, bool sixteen_bit = false);
std::vector<uint8_t> xm_write(const XmModule& module);
