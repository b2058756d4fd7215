// web_player_state.h -- what the web player's parts share (not for the page):
// the player's record and the few helpers more than one part calls.
//
// The parts: web_player.cpp loads a module and tells its facts, names and
// the places where its sound jumps,
// web_player_transport.cpp starts, stops, pauses and seeks and renders the
// blocks the device asks for, logging what each block holds, web_player_view.cpp works out
// what is heard now and shows it, web_player_wav.cpp renders to a WAV file.
// All on the page's one thread; the tick function logs inside block mixing,
// under the mix lock.
#pragma once
#include <cstdint>

#include "player/song.h"
#include "player/song_end.h"
#include "tools/formats/wav.h"
#include "tools/webplayer/web_player.h"
#include "tools/xm/xm_info.h"

enum {
    LOOPS_FOREVER = 1 << 30,    // ends played through with looping on
    ROW_LOG = 1024,             // row starts remembered (a ring holds fewer)
    TICK_LOG = 2048,            // ticks remembered, each with its levels
    NAME_BYTES = 256,
};

struct RowEvent {
    int64_t frame;  // song frame of the row's first tick
    int32_t order;
    int32_t row;
};

// Everything the web player keeps between the page's calls (one, `player`).
struct Player {
    uint8_t* buffer;             // the file's bytes: filled by the page, kept
    int32_t buffer_size;         // while its module is loaded (every start reloads)
    int32_t module_size;         // bytes of the loaded module in `buffer`
    Song* song;                  // null without a module
    SongEnd* watch;              // the song's end watcher while it plays or renders
    char name[NAME_BYTES];       // the file's name as the page gave it
    XmLength length;             // at XM_RATE, as tavimo-xm info finds it
    char* info[4];               // the facts as text and as JSON, the names, and the
                                 // places where the sound jumps
    bool loop;
    bool declick;                // smooth note starts (player/song_declick.h)
    bool paused;
    bool rendering;
    int32_t device_rate;         // the rate the page opened the device at; a render
                                 // reopens it there
    WebPlayerStatus status;

    // Logged by the tick function on the mixing path; read by the frame.
    int64_t song_frame;          // song frame of the next tick
    int64_t song_blocks;         // blocks mixed since the last start
    bool finished;               // the song has ended with looping off
    int64_t end_frame;           // song frame where it ended
    RowEvent rows[ROW_LOG];
    int64_t row_count;           // row events logged since start
    int64_t tick_frames[TICK_LOG];
    uint8_t* tick_levels;        // TICK_LOG x channel_count
    int64_t tick_count;
    int64_t blocks_rendered;     // blocks the device had rendered since it opened
    int64_t block_song[64];      // song block held by rendered block n (at n % 64),
                                 // for the last 64 (a ring holds fewer); -1: none
    uint32_t block_sums[WEB_PLAYER_LOGGED_BLOCKS];

    uint8_t* levels;             // channel_count values for the page
    WavWriter wav;
    int64_t render_frames;       // frames written so far
    int64_t render_limit;        // frames the render may reach
};

extern Player player;

// The pattern at order position `order`; null outside the song or for a
// pattern number without a slot.
const Pattern* web_player_pattern_of_order(const Song* song, int32_t order);
// A fresh load of the module's bytes: the replay engine changes a song as
// it plays (E5y sets a sample's finetune), so every start and every render
// begins from the file as it was. Null when refused or out of memory.
Song* web_player_load_song(void);
// The render function the player gives the sound device: the playing songs
// (render_songs, player/render.h), then what the block holds logged.
void web_player_render(float* mix, int16_t* out, int32_t frames);
