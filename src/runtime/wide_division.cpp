#include "runtime/wide_division.h"

// One quotient bit per step, most significant first: 64 steps of shift,
// compare and subtract.
uint64_t DivideUnsigned64(uint64_t dividend, uint64_t divisor)
{
    uint64_t quotient = 0;
    uint64_t remainder = 0;
    for (int bit = 63; bit >= 0; --bit) {
        remainder = (remainder << 1) | ((dividend >> bit) & 1);
        if (remainder >= divisor) {
            remainder -= divisor;
            quotient |= uint64_t(1) << bit;
        }
    }
    return quotient;
}

int64_t DivideSigned64(int64_t dividend, int64_t divisor)
{
    const uint64_t magnitude = DivideUnsigned64(dividend < 0 ? 0 - uint64_t(dividend) : uint64_t(dividend),
                                                divisor < 0 ? 0 - uint64_t(divisor) : uint64_t(divisor));
    return (dividend < 0) != (divisor < 0) ? int64_t(0 - magnitude) : int64_t(magnitude);
}
