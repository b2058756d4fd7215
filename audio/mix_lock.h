// mix_lock.h -- mutual exclusion between block mixing and song changes.
//
// The mixing thread holds the lock, and raises `mixing_in_progress`, for the
// whole of each block it mixes. Every main-thread operation that changes a
// song, a sample, the playing-song list or the voices (song_start, song_stop,
// song_free, sample_free, sound_close) takes the lock first, so no block is
// mixed while such a change is under way and no change starts during a block.
// A bare test of the flag would leave a window between the test and the
// change; the lock closes it.
#pragma once
#include <atomic>

// 1 while the mixing thread mixes a block (taken and released under the lock).
extern std::atomic<int> mixing_in_progress;

void mix_lock_acquire(void);
void mix_lock_release(void);
