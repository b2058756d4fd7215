// song_declick.h -- smooth note starts, for listening to modules whose note
// starts click (tavimo-xm --declick, the web player's toggle).
//
// A song's declick watcher is its observer (player/song.h): told of each
// note start before voice_start and of each voice the engine stops before
// voice_stop, it hands the voice's sounding note to a fading tail and ramps
// the new note in from zero (voice_fade_out, mixer/voice.h). The engine
// itself runs exactly as without it; without the watcher (the default, and
// the show) every output is as the engine's rules give it. A voice that
// song_stop silences is still cut at once: that is the listener stopping.
//
// Threads: song_declick on the main thread, before song_start or under the
// mix lock; the watcher then runs on the mixing thread inside song_tick.
#pragma once
#include "player/song.h"

// Puts the watcher on `song` (on) or takes it off. False, with nothing
// changed, when the song has another observer.
bool song_declick(Song* song, bool on);
