// clock_win32.cpp -- the process clock on Windows: the performance counter,
// counted from the moment the program was loaded. (The C library's clock()
// counts the same wall time on Windows, but in coarse steps.)
#include "runtime/clock.h"

#include <windows.h>

#include "mixer/divide.h"

static LARGE_INTEGER counter_frequency;  // counts a second; 0: no counter
static LARGE_INTEGER counter_start;
static const DWORD tick_start = GetTickCount();
static const bool counter_ready = QueryPerformanceFrequency(&counter_frequency) &&
                                  QueryPerformanceCounter(&counter_start);

int64_t process_clock_ms(void)
{
    if (!counter_ready || counter_frequency.QuadPart == 0)
        return int64_t(DWORD(GetTickCount() - tick_start));
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    // Whole seconds and the rest apart, so that the product cannot overflow.
    int64_t ticks = now.QuadPart - counter_start.QuadPart;
    int64_t frequency = counter_frequency.QuadPart;
    int64_t rest;
    return divide_s64(ticks, frequency, &rest) * 1000 + divide_s64(rest * 1000, frequency, nullptr);
}
