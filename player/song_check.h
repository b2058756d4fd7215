// song_check.h -- the places where a song's sound jumps (heard as clicks),
// found by watching the replay engine and the voices it drives.
//
// Why this engine clicks: a note that starts a voice leaves the voice's
// gains as they are (gain changes are ramped over a few milliseconds,
// restarts are not), so the waveform jumps from wherever the old sound was
// to the new sample's value at its start; and a voice that the engine stops,
// or whose sample runs out, falls to zero at once. A SongCheck listens to the
// song's events (player/song.h's observer) and looks at the voices between
// ticks, and reports each such place as a finding:
//   RESTART  a note restarts a voice that still sounds: the jump is from the
//            old sample's value there to the new one's at its start
//            position, at the gain applied at that moment;
//   START    a note starts a silent voice whose gain is still up, at a value
//            away from zero (the sample's value at its start position);
//   STOP     the engine stops a sounding voice (a sample offset past the
//            sample's end): from its value to zero;
//   END      a sample without a loop runs out away from zero: from its last
//            value to zero;
//   SEAM     a forward loop comes round: from its last value to its first,
//            counted by how much that step exceeds the largest step within
//            four values on either side of the seam (a loop of noise or of a
//            hard-edged wave steps that far anyway).
// END and SEAM belong to the sample: each is reported once per sample, at
// the first place it is heard at a gain that makes it one. Ping-pong loops
// give none: the mixer turns the position round and the values run back
// from where they were, without a jump.
//
// A jump is measured in fractions of full scale (32768) at the voice's
// applied gain (of the louder side, 255 = 1) and is a finding from
// SONG_CHECK_MIN_JUMP: smaller steps are not heard as clicks.
//
// Threads: song_check_create and song_check_free on the main thread (they
// take the mix lock to put the check into the song and take it out); the
// check itself runs on the mixing thread as the song's tick function and
// observer, allocates nothing and calls `report` there, under the mix lock.
#pragma once
#include <cstdint>

#include "player/song.h"
#include "player/song_end.h"

// 1/64 of full scale: below it a jump is not heard as a click.
#define SONG_CHECK_MIN_JUMP (1.0f / 64.0f)

enum : uint8_t {
    SONG_CHECK_RESTART = 1,
    SONG_CHECK_START = 2,
    SONG_CHECK_STOP = 3,
    SONG_CHECK_END = 4,
    SONG_CHECK_SEAM = 5,
};

struct SongCheckFinding {
    uint8_t kind;        // SONG_CHECK_*
    int32_t order;       // order position of the tick it falls in, 0..255
    int32_t pattern;     // pattern number there
    int32_t row;         // row within the pattern
    int32_t tick;        // tick within the row
    int32_t channel;     // 0-based pattern channel
    int32_t instrument;  // 0-based instrument of the note concerned; -1 not known
    int32_t sample;      // slot in that instrument, 0..15; -1 none (no sample plays)
    int64_t frame;       // output frames from the song's start to the jump
    float jump;          // fraction of full scale at the voice's gain, above 0
};

typedef void (*SongCheckReport)(void* context, const SongCheckFinding* finding);

// The state of one channel's voice after a tick, for the look between ticks.
struct SongCheckVoice {
    const Sample* sample;  // playing sample; null when silent
    uint64_t position;     // 32.32 play position
    uint64_t step;         // 32.32 per-frame step
    int32_t direction;     // VOICE_FORWARD or VOICE_BACKWARD
    float from_left;       // applied gains, 0..255 ...
    float from_right;
    float to_left;         // ... the gains the ramp heads for ...
    float to_right;
    int32_t ramp;          // ... over this many frames (0: none, the gains hold)
    int32_t instrument;    // instrument and slot of the note that started it
    int32_t slot;
};

struct SongCheck {
    SongCheck* next;             // node of the list of checks; self when not linked
    SongCheck* prev;
    Song* song;                  // the watched song
    const SongEnd* end;          // its end watcher, or null: nothing is checked once
                                 // the end has finished the song
    TickFunction inner;          // the tick function the check wraps
    SongObserver inner_observer; // the observer it found, still called first
    void* inner_context;
    SongCheckReport report;      // called for each finding
    void* report_context;
    int64_t frames;              // output frames of the ticks run so far
    int32_t frames_now;          // frames until the next tick, as the last tick left them
    int32_t order, pattern, row, tick;  // position of the last tick run
    int32_t findings;            // findings reported so far
    SongCheckVoice* voices;      // channel_count records, valid after the first tick
    uint8_t* reported;           // instrument_count x 16: bit 0 END, bit 1 SEAM reported
    uint8_t started;             // a tick has run: `voices` holds its state
};

// Watches `song` (loaded; started now or later) and reports to `report`.
// Create it after the song's end watcher, if any, and free it before. Null
// when the song or report is null or the tables cannot be allocated.
SongCheck* song_check_create(Song* song, const SongEnd* end, SongCheckReport report,
                             void* context);
// Gives the song back the tick function and observer it had; null is ignored.
void song_check_free(SongCheck* check);
// The tick function of a checked song.
void song_check_tick(Song* song);
// The kind as a short name ("restart", "start", "stop", "end", "seam") and
// as what happens there, in words; "" for an unknown kind.
const char* song_check_kind_name(uint8_t kind);
const char* song_check_kind_text(uint8_t kind);
