// song.h -- a loaded XM module with its playback state, and the song's life.
//
// A Song is created from a named stream (song_create runs the XM loader),
// started (linked into `playing_songs`, channels bound to voices 0 upwards),
// stopped and freed. The mixing thread walks `playing_songs` and calls each
// song's `tick_function` whenever its `samples_until_tick` runs out.
//
// Threads:
//   main thread    song_create, song_start, song_stop, song_seek_order,
//                  song_free, sample_free. All but the first take the mix
//                  lock (mixer/mix_lock.h) for their change, so no block is
//                  mixed while they run and none of them starts while a
//                  block is mixed.
//   mixing thread  walks playing_songs (under the mix lock, which it holds
//                  for each block), reads `playing`, `samples_per_tick`,
//                  reads and writes `samples_until_tick`, calls
//                  `tick_function` (song_tick, player/replay.h), which
//                  changes the playback fields and drives the voices.
//   observer       set by the main thread before song_start, or under the
//                  mix lock; called on the mixing thread (SongObserver).
//   either         set_tempo: from song_start (main, under the lock), from
//                  the tempo effect (mixing thread, inside a tick) and from
//                  render_open for every song already playing.
#pragma once
#include <cstdint>

#include "mixer/list.h"
#include "mixer/sample.h"
#include "player/xm_format.h"

struct Channel;  // player/channel.h
struct Song;

// One pattern cell, five bytes, as the loader stores it.
struct Cell {
    uint8_t note;        // 0 none, 1..96 note, 255 key-off (file's 97)
    uint8_t instrument;  // 0 none, 1..128 instrument number
    uint8_t volume;      // volume-column byte, 0 = empty
    uint8_t effect;      // effect type, XM numbering 0..35
    uint8_t parameter;   // effect parameter
};
static_assert(sizeof(Cell) == 5, "cells are five bytes");

struct Pattern {
    int32_t rows;  // number of rows, 0..65535
    Cell* cells;   // rows x channel_count cells, row after row; null if none
};

struct EnvelopePoint {
    uint16_t x;  // tick
    uint16_t y;  // value 0..64
};

enum : uint8_t {
    ENVELOPE_ON = 0x01,
    ENVELOPE_SUSTAIN = 0x02,
    ENVELOPE_LOOP = 0x04,
};

enum { INSTRUMENT_SAMPLES = 16, ENVELOPE_POINTS = 12, KEYMAP_NOTES = 96 };


struct Instrument {
    int32_t sample_count;                          // 0..16; slots below it are owned
    Sample* samples[INSTRUMENT_SAMPLES];           // unused slots -> &empty_sample
    uint8_t keymap[KEYMAP_NOTES];                  // sample slot for notes 1..96
    EnvelopePoint volume_envelope[ENVELOPE_POINTS];
    EnvelopePoint panning_envelope[ENVELOPE_POINTS];
    uint8_t volume_points;        // number of points, as in the file
    uint8_t panning_points;
    uint8_t volume_sustain;       // point indices
    uint8_t volume_loop_start;
    uint8_t volume_loop_end;
    uint8_t panning_sustain;
    uint8_t panning_loop_start;
    uint8_t panning_loop_end;
    uint8_t volume_type;          // ENVELOPE_* bits; 0 below two points
    uint8_t panning_type;
    uint8_t vibrato_type;         // auto-vibrato 0 sine, 1 square, 2 and 3 ramps
    uint8_t vibrato_sweep;        // ticks to full depth
    uint8_t vibrato_depth;
    uint8_t vibrato_rate;         // phase step per tick, of 256
    uint16_t fadeout;             // twice the file's value (wraps from 0x8000)
    // Name fields hold the file's bytes: not terminated, padded with blanks
    // or zeros (xm_name_text makes text of them). The replay never reads them.
    char name[XM_ITEM_NAME_BYTES];
    char sample_names[INSTRUMENT_SAMPLES][XM_ITEM_NAME_BYTES];  // slots below sample_count
};

// What the file's song header says beyond what the replay uses, kept for
// the tools that show a module (tavimo-xm info, the web player).
struct XmFacts {
    char name[XM_MODULE_NAME_BYTES];     // module name, as in the file
    char tracker[XM_MODULE_NAME_BYTES];  // name of the tracker that saved it
    uint16_t version;                    // format version, 0x0104 for FastTracker 2's
    uint32_t header_size;                // song header bytes from offset 60 on
    uint16_t file_patterns;              // patterns stored in the file, 0..65535
};

// The shared all-zero sample of every unused slot; never freed.
extern Sample empty_sample;

// Delivers the delta-decoded values of one sample in the file's format
// instead of the loader reading them from the stream.
typedef void (*SampleReader)(uint8_t* destination, int32_t byte_count, int32_t bits,
                             int32_t instrument_index, int32_t sample_index);

typedef void (*TickFunction)(Song* song);

// What the replay engine reports to a song's observer.
enum : uint8_t {
    SONG_EVENT_ROW = 1,   // a row is entered (tick 0, before its cells are read)
    SONG_EVENT_NOTE = 2,  // a note starts a voice: called before voice_start, so
                          // the voice still holds the sound it had
    SONG_EVENT_STOP = 3,  // the engine stops a voice (9xx past the sample's end):
                          // called before voice_stop
};

// One event, as the engine saw it; the frame time is the caller's (whoever
// renders counts the frames of the ticks run before it).
struct SongEvent {
    uint8_t kind;        // SONG_EVENT_*
    int32_t order;       // order position, 0..255
    int32_t pattern;     // pattern number at that position
    int32_t row;         // row within the pattern
    int32_t tick;        // tick within the row, 0 = row start (delay ticks go on counting)
    int32_t channel;     // 0-based pattern channel; -1 for a row
    int32_t instrument;  // 0-based instrument (the file's number - 1); -1 for a row
    int32_t sample;      // slot in the instrument, 0..15; -1 for a row or when no
                         // sample of the instrument plays (the empty sample)
    int32_t voice;       // the channel's voice, 0..255; -1 for a row or without voices
};

// Called on the mixing thread, inside song_tick, under the mix lock: it must
// not allocate, block or change the song or the voices (but for the declick
// watcher's voice_fade_out, player/song_declick.h).
typedef void (*SongObserver)(void* context, const Song* song, const SongEvent* event);

enum : int16_t { LINEAR_PERIODS = 0x0001 };  // bit of module_flags

struct Song {
    Song* next;                   // next node of playing_songs; self when not linked
    Song* prev;                   // previous node of playing_songs; self when not linked
    Pattern* patterns;            // pattern_slots records
    Instrument* instruments;      // instrument_count records
    Channel* channels;            // channel_count records while started; null otherwise
    int32_t samples_until_tick;   // output frames before the next tick_function call
    int32_t samples_per_tick;     // tick length in output frames, at least 1
    int16_t song_length;          // used order entries, 0..256
    int16_t restart_position;     // order entered after the last, below song_length (or 0)
    int16_t channel_count;        // pattern channels, 0..256
    int32_t referenced_patterns;  // highest used order entry + 1
    int32_t pattern_slots;        // number of Pattern records
    int16_t instrument_count;     // number of Instrument records (<= 0: none)
    int16_t module_flags;         // bit 0 LINEAR_PERIODS
    int16_t default_speed;        // ticks per row at start
    int16_t default_bpm;          // BPM at start, 1..32767
    uint8_t order_table[256];     // pattern number per order position
    uint8_t initial_global_volume;  // 64
    int32_t global_volume;        // 0..64
    uint8_t global_volume_slide;  // last non-zero Hxy parameter
    uint8_t playing;              // 1 while linked into playing_songs
    uint8_t ended;                // 1 once the order list has wrapped
    int32_t tick;                 // tick within the row, 0 = row start
    int32_t speed;                // ticks per row
    int32_t bpm;                  // current BPM
    int32_t row;                  // current row
    int32_t order_pos;            // current order position
    int32_t pattern_delay_ticks;  // extra ticks of the current row
    int32_t next_row;             // row to enter next; -1 = not chosen
    int32_t next_order;           // order to enter next; -1 = keep
    TickFunction tick_function;   // song_tick
    SampleReader sample_reader;   // null: sample bytes come from the stream
    SongObserver observer;        // null: nothing is reported (the default)
    void* observer_context;       // handed to the observer
    XmFacts facts;                // as the loader read them
};

// Reports an event on channel `channel` (-1: a row) at the song's present
// position to its observer; nothing without one. The replay engine's call.
void song_report(Song* song, uint8_t kind, int32_t channel, const Sample* sample);

// Sentinel of the playing-song list: only next and prev are used; empty
// when both point to itself. A walk starts at playing_songs.next and stops
// on returning to &playing_songs.
extern Song playing_songs;

// Opens the stream `name`, loads it, closes it. Null when the stream cannot
// be opened or the module is refused; nothing is left allocated then.
Song* song_create(const char* name, SampleReader reader);
// (Re)starts from order 0, row 0 with fresh channels bound to voices 0..
// (none while the voices are closed, player/render.h); false for a null
// song or when the channels cannot be allocated (the song is then stopped).
bool song_start(Song* song);
// Puts the playback back at the start, as song_start does (order 0, row 0,
// the module's speed, tempo at the present output rate and global volume;
// the next tick enters the first row), and leaves the channels and the
// playing list alone. For callers that tick a song by hand; a playing song
// is rewound under the mix lock.
void song_rewind(Song* song);
// Unlinks the song, silences its voices, frees its channels; false only for null.
bool song_stop(Song* song);
// Goes on from row 0 of order position `order` (0..song_length-1) at the
// start of the next block mixed, with the speed, tempo and channels as they
// are, as a pattern jump would; the song counts as not having ended. Takes
// the mix lock. Null is ignored.
void song_seek_order(Song* song, int32_t order);
// Stops the song and frees it with everything it owns; false only for null.
bool song_free(Song* song);
// Frees one sample and its data; null is ignored. Not for empty_sample.
void sample_free(Sample* sample);
// bpm = BPM; samples_per_tick = 2.5 / BPM seconds at the output rate.
// A BPM below 1 counts as 1, and the tick is never shorter than one frame.
void set_tempo(Song* song, int32_t bpm);

// The loader (player/xm_loader.cpp), run by song_create on a zeroed song.
// False when the module is refused; the song is then partly filled.
struct StreamHandle;
bool load_xm(Song* song, StreamHandle* stream);

// What the last load_xm mended in the file it read (tools and tests report
// it; a well-formed module needs none).
enum : uint32_t {
    XM_MENDED_RESTART = 0x01,         // restart position outside the song: 0
    XM_MENDED_NOTE = 0x02,            // note bytes 98..255 stored as no note
    XM_MENDED_LOOP = 0x04,            // loop clamped into its sample
    XM_MENDED_ENVELOPE_POINTS = 0x08, // point count above 12 taken as 12
    XM_MENDED_SAMPLE_DATA = 0x10,     // sample data cut short, rest silent
};
extern uint32_t xm_mended;

// Why the last song_create returned null (XM_LOADED after it returned a song).
enum : uint8_t {
    XM_LOADED = 0,
    XM_UNOPENED,       // the stream could not be opened
    XM_NOT_XM,         // no XM signature at the start
    XM_DAMAGED,        // the signature, then data the loader cannot use
    XM_OUT_OF_MEMORY,  // an allocation failed
};
extern uint8_t xm_refusal;
// A refusal in the words the tools print after the file's name: "not an XM
// module", "damaged XM module (truncated or inconsistent data)", ...
const char* xm_refusal_text(uint8_t refusal);

// A name field as text into `out` (bytes + 1 chars): printable ASCII, any
// other byte as a blank, trailing blanks cut.
void xm_name_text(char* out, const char* field, int32_t bytes);
