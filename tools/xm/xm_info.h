// xm_info.h -- the facts tavimo-xm tells about a module, written as text or
// as JSON to any FILE* (a file, a terminal, or a memory stream for a page
// that shows them).
#pragma once
#include <cstdint>
#include <cstdio>

#include "mixer/voice.h"
#include "player/song.h"

// How tavimo-xm measures, checks and renders unless told otherwise (the web
// player does as it does): at XM_RATE frames per second, and a song whose
// end is not found within XM_LENGTH_BOUND_S seconds is taken to go on.
enum { XM_RATE = OUTPUT_RATE_DEFAULT, XM_LENGTH_BOUND_S = 20 * 60 };

// A song's length as its end watcher (player/song_end.h) found it.
struct XmLength {
    bool found;          // an end was found within bound_seconds
    int64_t frames;      // frames before the end, the last row whole
    int32_t rate;        // frames per second the length was measured at
    int32_t back_order;  // where the song goes back to
    int32_t back_row;
    uint8_t how;         // SONG_END_*
    int32_t bound_seconds;
};

// "165.41 s, then back to order 1": the length line's text, without a newline.
void xm_length_text(char* out, size_t size, const XmLength* length);
// Everything: the header's facts as the loader kept them, every instrument
// and sample, the length. `json`: one JSON object instead of the text lines.
void xm_info_write(FILE* out, const char* file, const Song* song, const XmLength* length,
                   bool json);

// `s` as a JSON string: quotes, backslashes and control characters escaped
// (other bytes pass as they are).
void xm_json_string(FILE* out, const char* s);
