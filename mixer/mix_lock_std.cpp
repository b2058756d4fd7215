// mix_lock_std.cpp -- the lock shared by the mixing thread and the song operations.
#include "mixer/mix_lock.h"

#include <mutex>

static std::mutex mix_mutex;

void mix_lock_acquire(void)
{
    mix_mutex.lock();
}

void mix_lock_release(void)
{
    mix_mutex.unlock();
}
