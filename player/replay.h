// replay.h -- the replay engine: ticks, rows and effects.
//
// song_tick is every song's tick function. The mixing thread calls it (and
// nothing else here) whenever the song's samples_until_tick runs out, just
// before it mixes the next stretch; everything below runs inside that call,
// on the mixing thread, while the thread holds the mix lock. Each channel
// hands its changes to its voice through update_voice (player/channel.h).
// The other functions are exposed for the tests.
#pragma once
#include <cstdint>

#include "player/channel.h"
#include "player/song.h"

// The tick function: tick 0 reads the row (process_row), other ticks run
// the per-tick effects (process_tick).
void song_tick(Song* song);
void process_row(Song* song);
void process_tick(Song* song);
