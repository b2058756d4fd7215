// clock_wall.cpp -- the process clock on a monotonic wall clock, counted
// from the moment the program was loaded. (A processor-time clock would
// stop while the show waits for the display, so it cannot be used.)
#include "runtime/clock.h"

#include <chrono>

static const std::chrono::steady_clock::time_point process_start =
    std::chrono::steady_clock::now();

int64_t process_clock_ms(void)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now() - process_start)
        .count();
}
