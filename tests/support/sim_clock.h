// sim_clock.h -- the simulated process clock linked into the tests: it reads
// `sim_clock_now`, and each read may first run a hook that moves it on.
#pragma once
#include <cstdint>

extern int64_t sim_clock_now;
// Called before every read with the read's number (0, 1, 2, ...); may change
// sim_clock_now. Null: the clock stands still.
extern void (*sim_clock_on_read)(int64_t read_number);
extern int64_t sim_clock_reads;

void sim_clock_reset(int64_t now);
