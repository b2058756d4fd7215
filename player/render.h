// render.h -- the playing songs rendered into a caller's buffer of frames:
// the one path from songs to samples. The sound device's mixing thread calls
// render_songs for each block of its ring (it gets it by reference and knows
// nothing of songs); the offline tools, the web player and the library's
// users call it for the frames they want.
//
// render_open opens the mixer's 256 voices at a rate and binds the playing
// songs to them; song_start binds a song started later. render_songs then
// runs each playing song's ticks whenever its samples-until-tick run out,
// mixes every voice between ticks and clips the sum to 16 bits.
//
// Who calls what, on which thread:
//   main thread     render_open, render_close (they take the mix lock, so a
//                   mixing thread may be running)
//   mixing thread   render_songs, for each block, holding the mix lock
//   offline callers render_songs on their own thread, with no mixing thread
//                   running (or holding the mix lock)
#pragma once
#include <cstdint>

struct SongEnd;  // player/song_end.h

// Opens the voices at `rate` frames per second (closing first whatever was
// open); songs already playing follow: their tick length becomes the new
// rate's and channel i is bound to voice i. False, with no voices, when the
// stream callbacks are not all registered (songs could not be loaded), the
// rate is outside OUTPUT_RATE_MIN..OUTPUT_RATE_MAX (mixer/voice.h) or the
// memory cannot be had.
bool render_open(int32_t rate);
// Unbinds the channels of songs still playing and frees the voices. Nothing
// harmful when nothing is open.
void render_close(void);

// Renders the next `frames` frames of the playing songs into `out` (frames
// x 2 int16, left then right), with `mix` (frames x 2 floats) as scratch:
// for each playing song in list order, its tick function whenever its
// samples-until-tick run out (the tick length read after the tick, so a
// tempo change applies at once), every voice mixed in the pieces between
// ticks; then the sum clipped. With no playing song the frames are silent
// and no voice moves. Nothing for frames below 1.
void render_songs(float* mix, int16_t* out, int32_t frames);

// One step of rendering a song to its end, for a caller that writes what it
// renders (a WAV file): `watch` is the song's end watcher, `done` the frames
// kept so far and `limit` the most it wants. Renders the next `frames` frames
// (a block: mix_block_frames at the rate, mixer/voice.h, so the samples are
// the sound device's) as render_songs does, and returns how many of them to
// keep: all, or fewer where the watcher's last end (which begins a tick in
// this block) or the limit falls. 0, with nothing rendered, once the watcher
// has finished or `done` has reached the limit: the song is over.
int32_t render_to_end(const SongEnd* watch, int64_t done, int64_t limit, float* mix,
                      int16_t* out, int32_t frames);
