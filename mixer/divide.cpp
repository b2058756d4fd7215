// divide.cpp -- 64-bit unsigned division by shift and subtract.
#include "mixer/divide.h"

uint64_t divide_u64(uint64_t n, uint64_t divisor, uint64_t* remainder)
{
    uint64_t quotient = divisor == 0 ? UINT64_MAX : 0;
    if (divisor != 0 && n >= divisor) {
        // One step per bit of the quotient: the divisor's top bit lined up
        // with n's, then walked back down.
        int32_t shift = __builtin_clzll(divisor) - __builtin_clzll(n);
        uint64_t d = divisor << shift;
        for (; shift >= 0; shift--, d >>= 1) {
            quotient <<= 1;
            if (n >= d) {
                n -= d;
                quotient |= 1;
            }
        }
    }
    if (remainder)
        *remainder = n;
    return quotient;
}
