// gen_music.h -- the soundtrack generator: instruments, composition, XM writer.
//
// gen_music (tools/gen_music.cpp) is an offline build tool, never part of the
// show. It synthesises the instruments (gen_music_synth.cpp), lays out the
// patterns of the composition (gen_music_song.cpp), writes the whole module
// as a FastTracker 2 XM file of exactly MUSIC_FILE_SIZE bytes
// (gen_music_xm.cpp). Everything is a pure function of the code: the same
// build writes the same bytes. To listen to it, music_render
// (gen_music_render.cpp) plays the embedded module through the show's own
// player/ and audio/ offline and measures it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int MUSIC_FILE_SIZE = 53211;  // bytes; the module's slot in the asset blob
constexpr int MUSIC_CHANNELS = 14;
constexpr int MUSIC_PATTERNS = 17;
constexpr int MUSIC_ROWS = 64;          // rows per pattern, every pattern
constexpr int MUSIC_INSTRUMENTS = 11;
constexpr int MUSIC_SONG_LENGTH = 20;
constexpr int MUSIC_SPEED = 6;          // ticks per row
constexpr int MUSIC_BPM = 125;          // a tick is 2.5 / 125 s = 20 ms

extern const uint8_t music_order_table[MUSIC_SONG_LENGTH];

// One sample, 8-bit signed, stored delta-encoded by the writer.
struct MusicSample {
    std::vector<int8_t> data;   // sample values, -128..127
    uint32_t loop_start;        // frames; used when looped
    uint32_t loop_length;       // frames; 0 = no loop
    uint8_t volume;             // default volume 0..64
    int8_t finetune;            // -128..127
    uint8_t panning;            // default panning 0..255
    int8_t relative_note;       // semitones added to every note played
};

struct MusicEnvelope {
    int points;                 // 0..12; below 2 the envelope is off
    uint16_t x[12];             // ticks from the note's start
    uint16_t y[12];             // 0..64
    uint8_t sustain;            // point index
    uint8_t loop_start;         // point index
    uint8_t loop_end;           // point index
    uint8_t type;               // bit 0 on, bit 1 sustain, bit 2 loop
};

struct MusicInstrument {
    const char* name;           // up to 22 characters
    std::vector<MusicSample> samples;  // 1..16
    uint8_t keymap[96];         // sample index for each note 1..96
    MusicEnvelope volume_env;
    MusicEnvelope panning_env;
    uint8_t vibrato_type;       // auto-vibrato: 0 sine, 1 square, 2/3 ramps
    uint8_t vibrato_sweep;      // ticks to full depth
    uint8_t vibrato_depth;      // linear period units at full swing
    uint8_t vibrato_rate;       // phase step per tick, 256 = one cycle
    uint16_t fadeout;           // file value; volume falls by 2x this per tick after key-off
};

struct MusicCell {
    uint8_t note;               // 0 none, 1..96 (C-0 = 1, C-4 = 49), 97 key-off
    uint8_t instrument;         // 0 none, 1..MUSIC_INSTRUMENTS
    uint8_t volume;             // volume column byte
    uint8_t effect;             // effect type, XM numbering
    uint8_t parameter;          // effect parameter
};

struct MusicPattern {
    MusicCell cells[MUSIC_ROWS][MUSIC_CHANNELS];
};

struct MusicModule {
    std::vector<MusicInstrument> instruments;  // MUSIC_INSTRUMENTS
    std::vector<MusicPattern> patterns;        // MUSIC_PATTERNS
};

// gen_music_synth.cpp: the eleven instruments, numbered as the song uses them.
void music_make_instruments(std::vector<MusicInstrument>& out);
// The instrument whose one-shot sample ends in a silent tail sized so that
// the file comes out at exactly MUSIC_FILE_SIZE bytes.
constexpr int MUSIC_PAD_INSTRUMENT = 10;   // 0-based: the tom

// gen_music_song.cpp: fills the patterns of the composition.
void music_compose(std::vector<MusicPattern>& out);

// gen_music_xm.cpp: the XM file of the module, tail padding included.
// Also reports the size before the padding when `unpadded` is not null.
bool music_build_file(std::vector<uint8_t>& out, size_t* unpadded = nullptr);
void music_write_xm(const MusicModule& module, std::vector<uint8_t>& out);
