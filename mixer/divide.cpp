// divide.cpp -- 64-bit division by shift and subtract.
#include "mixer/divide.h"

uint64_t divide_u64_by_steps(uint64_t n, uint64_t divisor, uint64_t* remainder)
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

int64_t divide_s64_by_steps(int64_t n, int64_t divisor, int64_t* remainder)
{
    uint64_t rest;
    uint64_t quotient = divide_u64_by_steps(n < 0 ? 0 - uint64_t(n) : uint64_t(n),
                                            divisor < 0 ? 0 - uint64_t(divisor) : uint64_t(divisor), &rest);
    if (remainder)
        *remainder = int64_t(n < 0 ? 0 - rest : rest);
    return int64_t((n < 0) != (divisor < 0) ? 0 - quotient : quotient);
}
