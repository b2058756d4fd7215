// web_player.h -- the module player behind player.html: any XM module, handed
// over as bytes, through the show's loader, replay engine and mixer.
//
// The page calls these through the exported C names (all main thread; the
// web build has no other). It opens the sound device once (web_player_open),
// hands a file's bytes to web_player_buffer and web_player_load, and calls
// web_player_frame once per animation frame: that works out what is heard
// now, which the status record, the level meters and the row display show.
// Blocks are mixed with the player's render function, which the sound
// device calls from its audio callback (and web_player_frame, for whatever
// is due then).
//
// What is heard lags what is mixed by up to a ring (about 380 ms). So the
// song's tick function (its end watcher's) is wrapped: every row start and
// every tick is logged with the song frame it falls on, and the render
// function notes which song block each block it renders holds; the block the
// device plays now (sound_block_heard, sound/sound.h) then names the song
// frame heard, and the log the row and levels shown at it.
//
// Natively the same code runs over the test binary's fake device (a test
// drives web_player_frame by hand); the exported names are plain C functions.
#pragma once
#include <cstdint>

#include "sound/sound.h"
#include "player/song.h"

// A file larger than this is refused before it is read (the largest modules
// in real use are a few MiB; the corpus's largest is 0.7 MiB).
enum { WEB_PLAYER_SIZE_LIMIT = 32 << 20 };

enum WebPlayerState : int32_t {
    WEB_PLAYER_EMPTY = 0,    // no module loaded
    WEB_PLAYER_STOPPED = 1,  // loaded, not playing
    WEB_PLAYER_PLAYING = 2,
    WEB_PLAYER_PAUSED = 3,
    WEB_PLAYER_ENDED = 4,    // played to its end with looping off
    WEB_PLAYER_RENDERING = 5,
};

// What the page shows, refreshed by web_player_frame: the position heard now.
// The page reads it as 32-bit integers in this order.
struct WebPlayerStatus {
    int32_t state;          // WebPlayerState
    int32_t order;          // order position heard, 0..song_length-1
    int32_t pattern;        // its pattern
    int32_t row;            // row heard
    int32_t rows;           // rows of that pattern
    int32_t heard_ms;       // song time heard, ms since start (or since the last seek's order start)
    int32_t length_ms;      // the song's length, ms; -1 when it does not end within the bound
    int32_t song_length;    // orders in the song
    int32_t channels;       // pattern channels
    int32_t loop;           // 1: plays on from the restart position at the end
    int32_t rate;           // output frames per second
    int32_t block_count;    // blocks of the current start logged in block_sums (test hook)
};

extern "C" {

// Opens the sound device at `rate` (the page's audio context's rate). False
// when it cannot be opened.
bool web_player_open(int32_t rate);

// "" when a file of `size` bytes may be loaded, otherwise the one-line
// reason naming `name`.
const char* web_player_size_refusal(const char* name, double size);
// A buffer for the page to copy a file of `size` bytes into, valid until the
// next call; null when the size is refused or memory runs out.
uint8_t* web_player_buffer(int32_t size);
// Loads the module from the buffer's first `size` bytes, replacing the one
// loaded before (which stops). "" on success, otherwise the reason, worded
// as tavimo-xm words it: "NAME: not an XM module" or "NAME: damaged XM
// module (truncated or inconsistent data)". A refused file leaves no module.
const char* web_player_load(const char* name, int32_t size);

// The module's facts as `tavimo-xm info` prints them (`json`: as its
// --json prints them), its file line naming the loaded file; "" without a
// module.
const char* web_player_info(bool json);

// The instruments' and samples' names as the loader kept them (printable
// ASCII), a line each: "instrument   1  Name", "    sample  0  Name".
const char* web_player_names(void);

// The places where the sound jumps, as `tavimo-xm check` prints them: a
// line per place (beginning "order N "), then "N places where the sound
// jumps". Worked out at load, on a load of its own played offline to its
// end (the sound device, when open, is closed for it and opened again).
const char* web_player_findings(void);

// Starts from order 0 (also after stop, pause or the end), from a fresh
// load of the file's bytes. False without a module.
bool web_player_play(void);
// Pauses or resumes; the song keeps its place. With `device_pauses` the
// caller stops the device's clock itself (the page suspends its audio
// context, which silences at once and resumes what the ring holds);
// otherwise the song stops being mixed, and what the ring already holds,
// up to 380 ms, is still heard.
void web_player_pause(bool paused, bool device_pauses);
// Stops; the next play starts from order 0.
void web_player_stop(void);
void web_player_set_loop(bool loop);
// Smooth note starts (player/song_declick.h) for what plays and renders
// from now on, the page's toggle; off until asked for.
void web_player_set_declick(bool on);
// Plays on from the first row of order `order` (held to the song), with the
// speed, tempo and channel state the song has at that moment (as a pattern
// jump would); from a stop or the end it starts the song first.
void web_player_seek(int32_t order);

// Mixes what is due and refreshes the status; returns it.
const WebPlayerStatus* web_player_frame(void);
const WebPlayerStatus* web_player_status(void);
// One row of pattern `pattern` as a tracker shows it: a cell per channel,
// "C#4 01 40 A0F" (note, instrument, volume column, effect; "..." and ".."
// where empty, "===" for key-off), cells separated by "|". "" outside the song.
const char* web_player_row_text(int32_t pattern, int32_t row);
// Per channel, 0..255: the peak output of the channel's voice around the
// time heard, from its sample data and the gains it is played with.
const uint8_t* web_player_levels(void);

// Test hook: FNV-1a checksums of the blocks mixed since the last start
// (status.block_count of them, at most WEB_PLAYER_LOGGED_BLOCKS); the nth
// equals the checksum of the nth block of `tavimo-xm render` at this rate.
const uint32_t* web_player_block_sums(void);

// Rendering to a WAV file at 44100 Hz (as `tavimo-xm render` does): stops
// playback, writes to `path` from order 0 to the song's end (as its end
// watcher finds it, player/song_end.h) or 20 minutes.
// begin false when the file cannot be written or the mixer cannot be had.
bool web_player_render_begin(const char* path);
// Mixes up to `blocks` more blocks; returns progress 0..1000 (1000 when the
// file is complete and closed), or -1 when writing failed (file closed).
int32_t web_player_render_step(int32_t blocks);
// Stops a render under way; the file is closed as it stands.
void web_player_render_cancel(void);

}  // extern "C"

enum { WEB_PLAYER_LOGGED_BLOCKS = 4096 };  // about 80 s at 44100 Hz

// The cell text of web_player_row_text, 13 characters and a terminator.
void web_player_format_cell(const Cell* cell, char out[14]);
// 32-bit FNV-1a of `count` 16-bit values, low byte first.
uint32_t web_player_checksum(const int16_t* values, int32_t count);
