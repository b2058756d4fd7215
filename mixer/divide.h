// divide.h -- 64-bit unsigned division by shift and subtract, for the
// mixer's 32.32 positions and the 64-bit counts of the layers above.
// A 32-bit compiler would call its runtime library's helpers for these
// (1.9 KB of code in the Windows release, for eight divisions that run a
// few times a block). Any thread; no state.
#ifndef TAVIMO_MIXER_DIVIDE_H
#define TAVIMO_MIXER_DIVIDE_H

#include <cstdint>

// n / divisor, rounded down; the remainder in *remainder unless it is null.
// A divisor of 0 gives UINT64_MAX and the remainder n.
uint64_t divide_u64(uint64_t n, uint64_t divisor, uint64_t* remainder);

#endif
