// sim_clock.cpp -- the simulated process clock used by the tests.
#include "tests/support/sim_clock.h"

#include "runtime/clock.h"

int64_t sim_clock_now;
void (*sim_clock_on_read)(int64_t);
int64_t sim_clock_reads;

void sim_clock_reset(int64_t now)
{
    sim_clock_now = now;
    sim_clock_on_read = nullptr;
    sim_clock_reads = 0;
}

int64_t process_clock_ms(void)
{
    if (sim_clock_on_read)
        sim_clock_on_read(sim_clock_reads);
    sim_clock_reads++;
    return sim_clock_now;
}
