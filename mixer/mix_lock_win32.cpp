// mix_lock_win32.cpp -- the lock shared by the mixing thread and the song
// operations, on a Windows critical section (the Windows build's C++
// library has no std::mutex on Windows 2000).
#include "mixer/mix_lock.h"

#include <windows.h>

static CRITICAL_SECTION mix_section;
// Set up while the program loads, before any thread can take the lock.
static const bool mix_section_ready = (InitializeCriticalSection(&mix_section), true);

void mix_lock_acquire(void)
{
    EnterCriticalSection(&mix_section);
}

void mix_lock_release(void)
{
    LeaveCriticalSection(&mix_section);
}
