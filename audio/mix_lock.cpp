// mix_lock.cpp -- the lock shared by the mixing thread and the song operations.
#include "audio/mix_lock.h"

#include <mutex>

std::atomic<int> mixing_in_progress{0};
static std::mutex mix_mutex;

void mix_lock_acquire(void)
{
    mix_mutex.lock();
}

void mix_lock_release(void)
{
    mix_mutex.unlock();
}
