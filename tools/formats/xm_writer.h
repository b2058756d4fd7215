// xm_writer.h -- writes FastTracker 2 XM modules from a plain in-memory
// description: the one XM writer of the tree.
//
// Who calls it: the soundtrack generator (tools/music/, which writes
// assets/module_data.xm with it), the loader and replay tests (a tiny module
// per test, a few readable lines each) and the fuzzer's seed maker
// (fuzz/make_seeds.cpp). It lives beside the PNG and WAV writers in a
// library of its own (tavimo_xm_writer) that needs nothing but the standard
// library and the layout's constants it shares with the loader
// (player/xm_format.h, constants only): the tests and the fuzz build link this one file and none of the
// generator, and the generator does not depend on the player it feeds.
//
// What it writes: the header as FastTracker 2 writes it (blank module name,
// "FastTracker v2.00", version 0x0104, a 276-byte header), the 256-byte
// order table, the patterns packed as FastTracker 2 packs them (a cell with
// all five fields set is stored plainly, any other as a mask byte and its
// non-zero fields), instruments with a 263-byte header (29 without samples),
// and samples delta-encoded. Defaults make a playable module: linear
// periods, speed 6, BPM 125, four channels, one empty 64-row pattern, order
// table {0}.
//
// Broken files for the tests: the fields marked "as written" below are
// written as given even where they contradict the rest (a song length past
// the order table, a pattern count other than the patterns given, raw
// pattern bytes, a packed size of 0, sample lengths in bytes that do not
// match the data).
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// One pattern cell with the file's numbering.
struct XmCell {
    uint8_t note;        // 0 none, 1..96 (C-0 = 1, C-4 = 49), 97 key-off
    uint8_t instrument;  // 0 none, 1..128
    uint8_t volume;      // volume-column byte, 0 = empty
    uint8_t effect;      // effect type, XM numbering
    uint8_t parameter;   // effect parameter
};

struct XmSample {
    std::vector<int16_t> values;  // the decoded values (8-bit samples use -128..127)
    bool sixteen_bit = false;
    uint32_t loop_start = 0;      // in samples, as written
    uint32_t loop_length = 0;     // in samples, as written
    uint8_t loop_bits = 0;        // type byte bits 0..1: 0 none, 1 forward, 2 ping-pong
    uint8_t volume = 64;          // default volume 0..64
    int8_t finetune = 0;          // -128..127
    uint8_t panning = 128;        // default panning 0..255
    int8_t relative_note = 0;     // semitones added to every note played
    // Overrides of the header fields as written (in bytes), for odd files.
    bool raw_lengths = false;
    uint32_t raw_length = 0, raw_loop_start = 0, raw_loop_length = 0;
};

struct XmEnvelope {
    std::vector<std::pair<uint16_t, uint16_t>> points;  // (x ticks, y 0..64), up to 12 written
    uint8_t sustain = 0, loop_start = 0, loop_end = 0;  // point indices
    uint8_t type = 0;  // bit 0 on, bit 1 sustain, bit 2 loop
};

struct XmInstrument {
    std::vector<XmSample> samples;  // 0..16
    uint8_t keymap[96] = {};        // sample index for each note 1..96
    XmEnvelope volume_envelope, panning_envelope;
    uint8_t vibrato_type = 0;       // auto-vibrato: 0 sine, 1 square, 2/3 ramps
    uint8_t vibrato_sweep = 0;      // ticks to full depth
    uint8_t vibrato_depth = 0;      // linear period units at full swing
    uint8_t vibrato_rate = 0;       // phase step per tick, 256 = one cycle
    uint16_t fadeout = 0;           // as in the file
    std::string name;               // up to 22 characters written
};

struct XmPattern {
    int rows = 64;                   // as written
    std::vector<XmCell> cells;       // rows x channels, row by row; missing cells are empty
    std::vector<uint8_t> raw_data;   // written instead of packing cells when set
    bool empty_packed = false;       // write a packed size of 0 and no data
};

struct XmModule {
    int channels = 4;
    int song_length = 1;             // as written
    int restart_position = 0;
    uint16_t flags = 1;              // bit 0: linear periods
    int speed = 6;                   // ticks per row
    int bpm = 125;
    std::vector<uint8_t> order = {0};  // the first 256 are written, the rest of the table is 0
    std::vector<XmPattern> patterns = {XmPattern{}};
    std::vector<XmInstrument> instruments;
    int pattern_count = -1;          // as written; -1: patterns.size()
};

// The cell of a pattern, growing the cell table to rows x channels.
XmCell& xm_cell(XmModule& module, int pattern, int row, int channel);
// A one-sample instrument playing `values` for every note.
XmInstrument xm_instrument(std::vector<int16_t> values, bool sixteen_bit = false);
// The whole file.
std::vector<uint8_t> xm_write(const XmModule& module);
