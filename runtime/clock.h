// clock.h -- the process clock: elapsed wall-clock milliseconds since the
// process started. It drives the start-up wait and the scene table.
//
// Which clock runs is chosen at link time: the show links the wall clock
// (clock_wall.cpp); tests and the offline tools link a simulated clock.
// Main thread only.
#pragma once
#include <cstdint>

int64_t process_clock_ms(void);
