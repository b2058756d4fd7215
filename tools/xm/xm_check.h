// xm_check.h -- tavimo-xm check: a song played from order 0 to its end
// through the replay engine and the mixer, offline, with a check
// (player/song_check.h) beside it, and the places where its sound jumps
// written as text lines or as one JSON object.
//
// Who calls it: tavimo-xm (tools/xm/xm_tool.cpp) and the web player
// (tools/webplayer/), on the main thread, while no sound device is open
// (the run renders the song itself, player/render.h, on voices it opens at
// its rate and closes again).
//
// Numbers as a tracker shows them: order, pattern and row from 0, channels
// from 1, instruments by their number in the file (from 1), samples by
// their slot in the instrument (from 0). The time is the song time of the
// jump in seconds; the jump is in fractions of full scale at the voice's
// gain (see player/song_check.h for what each kind means and the threshold).
#pragma once
#include <cstdint>
#include <cstdio>
#include <vector>

#include "player/song.h"
#include "player/song_check.h"

struct XmCheck {
    std::vector<SongCheckFinding> findings;  // in the order they happen
    int32_t rate;                            // output frames per second of the run
    bool end_found;                          // false: the bound was reached first
    int32_t bound_seconds;                   // the longest song time played
};

// Plays `song` (loaded, not playing) at `rate` until its end watcher's
// first end, or `bound_seconds` of song time, and fills `check`. The song
// is stopped afterwards (the engine has changed it as it played: E5y sets a
// sample's finetune). False when the offline mixer or the watchers cannot
// be had.
bool xm_check_run(Song* song, int32_t rate, int32_t bound_seconds, XmCheck* check);
// One line per finding, then "N places where the sound jumps" (`json`: one
// JSON object with a "findings" array and a "count"). The names come from
// the song's instruments and samples (blank for a null song).
void xm_check_write(FILE* out, const char* file, const Song* song, const XmCheck* check,
                    bool json);
// One finding's line, without a newline, as xm_check_write writes it.
void xm_check_line(char* out, size_t size, const Song* song, const XmCheck* check,
                   const SongCheckFinding* finding);
