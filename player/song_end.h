// song_end.h -- where a song ends as a listener knows it, watched from
// beside the replay engine.
//
// The replay engine never stops by itself: when the order list runs out it
// goes on at the restart position, and a song that jumps back plays for ever.
// A SongEnd wraps the song's tick function. Before each row is entered it
// works out which row that is (the order and row the engine is about to
// enter, and the pattern loops running in every channel: passes left and
// the row each goes back to) and calls it the song's end
//   - the first time the order list runs out (the engine's `ended`), or
//   - the first time a row is entered again with the same pattern-loop state
//     as before: a jump, a break or a loop that leads back there repeats
//     everything since, for ever.
// The length is the time of every tick before that entry, so the last row
// is whole. The engine runs exactly as without the watcher until the end;
// after the last end the watcher runs no more ticks and turns the voices
// down (with the mixer's ramp), so whatever is mixed past it is silence.
//
// `loops` plays through that many more ends: after an end the song goes on
// from where it went back to, and the next end is the next time a row comes
// round again within that pass.
//
// Threads:
//   main thread    song_end_create, song_end_free (they take the mix lock
//                  to put the watcher in the song's tick function and to
//                  take it out).
//   mixing thread  song_end_tick, as the song's tick function, under the mix
//                  lock; it allocates nothing.
//   either         reading the results: under the mix lock while a mixing
//                  thread runs, freely offline.
#pragma once
#include <cstdint>

#include "player/song.h"

enum : uint8_t {
    SONG_END_NONE = 0,        // no end seen yet
    SONG_END_ORDER_LIST = 1,  // the order list ran out
    SONG_END_REVISIT = 2,     // a row came round again with the same loop state
};

struct SongEnd {
    SongEnd* next;            // node of the list of watchers; self when not linked
    SongEnd* prev;
    Song* song;               // the watched song
    int64_t frames;           // output frames of the ticks run so far
    int64_t length_frames;    // frames before the first end; -1 until then
    int32_t back_order;       // order the song went back to at its first end
    int32_t back_row;         // row it went back to
    uint8_t how;              // SONG_END_* of the first end
    uint8_t gave_up;          // more distinct rows or loop states than the tables hold:
                              // no end is looked for any more
    uint8_t finished;         // the last end is reached: no more ticks
    int32_t loops_left;       // ends still to play through
    int32_t ends;             // ends reached so far
    int64_t last_end_frames;  // frames before the latest end; -1 before the first
    // Rows entered in this pass: keys 1 + (loop state << 24 | order << 16 | row),
    // 0 for a free slot; open addressing, at most half full.
    uint64_t* visited;
    uint32_t visited_mask;    // slots - 1, a power of two minus one
    uint32_t visited_count;
    // The pattern-loop states met so far, numbered in order of first meeting:
    // each is channel_count pairs (loop row, passes left).
    int32_t* loop_states;
    uint32_t* loop_hashes;
    int32_t loop_state_count;
    int32_t loop_state_capacity;
    int32_t current_loop_state;  // number of the state of the last row entered
    uint8_t saw_order_list_end;  // the engine's `ended` as last taken
};

// Watches `song`, which must be at its start when its first tick runs:
// create the watcher before song_start, or right after it while no block is
// mixed. Its tick function becomes song_end_tick. `loops` >= 0. Null when
// the tables cannot be allocated, song is null or loops negative. Free the
// watcher before the song.
SongEnd* song_end_create(Song* song, int32_t loops);
// Gives the song its own tick function back and frees the watcher; null is
// ignored.
void song_end_free(SongEnd* watch);
// The tick function of a watched song: the end check at each row's entry,
// then song_tick, then the tick's frames counted as the mixer counts them.
void song_end_tick(Song* song);

// A song's first end as song_end_measure finds it.
struct SongLength {
    bool found;          // an end came within the limit
    int64_t frames;      // frames before the first end, the last row whole; -1: none seen
    int32_t back_order;  // order the song goes back to there; -1 without an end
    int32_t back_row;    // row it goes back to
    uint8_t how;         // SONG_END_*
};

// Where `song` (loaded, not playing) first ends at `rate` frames per second
// (OUTPUT_RATE_MIN..OUTPUT_RATE_MAX), within `limit_frames`, measured
// without sound: it is rewound and its ticks run alone, on channels bound to
// no voice, until the end or the limit. The song is changed as playing
// changes it (E5y sets a sample's finetune): measure a load of its own.
// Takes the mix lock for the run (the tick length follows the voices' rate,
// which it lends out meanwhile). False, with no end found, when memory
// cannot be had or the song is playing.
bool song_end_measure(Song* song, int32_t rate, int64_t limit_frames, SongLength* length);

