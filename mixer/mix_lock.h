// mix_lock.h -- mutual exclusion between block mixing and song changes.
//
// The mixing thread holds the lock for the whole of each block it mixes.
// Every main-thread operation that changes a song, a sample, the
// playing-song list or the voices (song_start, song_stop, song_free,
// sample_free, sound_close) takes the lock first, so no block is mixed while
// such a change is under way and no change starts during a block.
//
// Two implementations, one per C++ library: mix_lock_std.cpp on std::mutex,
// mix_lock_win32.cpp on a critical section for the Windows build.
#pragma once

void mix_lock_acquire(void);
void mix_lock_release(void);
