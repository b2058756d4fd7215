// gen_music.h -- the soundtrack generator: instruments, composition, XM file.
//
// tavimo-gen-music (gen_music.cpp) is an offline build tool, never part of the
// show. It synthesises the instruments (gen_music_synth.cpp), lays out the
// patterns of the composition (gen_music_song.cpp), cuts each voice on the
// tick before a note would restart it while it still sounds, so that no
// note starts with a jump (gen_music_cuts.cpp), writes the whole module
// as a FastTracker 2 XM file of exactly MUSIC_FILE_SIZE bytes with the
// tree's one XM writer (gen_music_xm.cpp). Everything is a pure function of
// the code: the same build writes the same bytes. To listen to it,
// tavimo-render-music (gen_music_render.cpp) plays the embedded module through the
// show's own player/ and mixer/ offline and measures it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "assets/asset_pieces.h"
#include "tools/formats/xm_writer.h"

constexpr int MUSIC_FILE_SIZE = MODULE_DATA_SIZE;  // bytes; the module's slot in the asset blob
constexpr int MUSIC_CHANNELS = 14;
constexpr int MUSIC_PATTERNS = 17;
constexpr int MUSIC_ROWS = 64;          // rows per pattern, every pattern
constexpr int MUSIC_INSTRUMENTS = 11;
constexpr int MUSIC_SONG_LENGTH = 20;
constexpr int MUSIC_SPEED = 6;          // ticks per row
constexpr int MUSIC_BPM = 125;          // a tick is 2.5 / 125 s = 20 ms

extern const uint8_t music_order_table[MUSIC_SONG_LENGTH];

// gen_music_synth.cpp: the eleven instruments, numbered as the song uses them.
void music_make_instruments(std::vector<XmInstrument>& out);
// The instrument whose one-shot sample ends in a silent tail sized so that
// the file comes out at exactly MUSIC_FILE_SIZE bytes.
constexpr int MUSIC_PAD_INSTRUMENT = 10;   // 0-based: the tom
// The sample offset (9xx, in units of 256 values) of the snare's softer
// flam hit: the snare passes through zero there.
constexpr int MUSIC_FLAM_OFFSET = 4;

// gen_music_song.cpp: fills the patterns of the composition.
void music_compose(std::vector<XmPattern>& out);

// gen_music_cuts.cpp: cuts each voice on the tick before a note would
// restart it while it sounds, so that no note starts with a jump. Returns
// the restarts it found no room to cut before (each also told on stderr).
int music_cut_before_restarts(XmModule& m);

// gen_music_xm.cpp: the whole module in the XM writer's terms, before the
// padding: 8-bit samples, patterns of MUSIC_ROWS x MUSIC_CHANNELS cells.
XmModule music_module(void);
// Its XM file, tail padding included. Also reports the size before the
// padding when `unpadded` is not null. False when the music outgrew the file.
bool music_build_file(std::vector<uint8_t>& out, size_t* unpadded = nullptr);
