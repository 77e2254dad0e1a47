#pragma once

#include <cstdint>

// 64-bit division without the processor's or the C runtime's help, for the
// 32-bit build (which has neither a 64-bit divide instruction nor libgcc's
// routines). Truncates towards zero as the language does; a divisor of zero
// gives all quotient bits set instead of a trap.
uint64_t DivideUnsigned64(uint64_t dividend, uint64_t divisor);
int64_t DivideSigned64(int64_t dividend, int64_t divisor);
