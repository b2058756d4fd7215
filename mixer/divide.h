// divide.h -- 64-bit unsigned division for the mixer's 32.32 positions and
// the 64-bit counts of the layers above. On 32-bit x86 the compiler would
// call its runtime library's helpers for these (1.9 KB of code in the
// Windows release, for eight divisions that run a few times a block), so
// there it is done by shift and subtract; elsewhere by the machine. Any
// thread; no state.
#ifndef TAVIMO_MIXER_DIVIDE_H
#define TAVIMO_MIXER_DIVIDE_H

#include <cstdint>

// n / divisor, rounded down, by shift and subtract; the remainder in
// *remainder unless it is null. A divisor of 0 gives UINT64_MAX and the
// remainder n.
uint64_t divide_u64_by_steps(uint64_t n, uint64_t divisor, uint64_t* remainder);

// n / divisor truncated toward zero and the remainder with n's sign, as C
// divides, on the magnitudes by shift and subtract. A divisor of 0 gives
// +-UINT64_MAX as a 64-bit value and the remainder n.
int64_t divide_s64_by_steps(int64_t n, int64_t divisor, int64_t* remainder);

// The same for a divisor other than 0, by the quickest means the target has.
#ifdef __i386__
inline uint64_t divide_u64(uint64_t n, uint64_t divisor, uint64_t* remainder)
{
    return divide_u64_by_steps(n, divisor, remainder);
}
inline int64_t divide_s64(int64_t n, int64_t divisor, int64_t* remainder)
{
    return divide_s64_by_steps(n, divisor, remainder);
}
#else
inline uint64_t divide_u64(uint64_t n, uint64_t divisor, uint64_t* remainder)
{
    if (remainder)
        *remainder = n % divisor;
    return n / divisor;
}
inline int64_t divide_s64(int64_t n, int64_t divisor, int64_t* remainder)
{
    if (remainder)
        *remainder = n % divisor;
    return n / divisor;
}
#endif

#endif
