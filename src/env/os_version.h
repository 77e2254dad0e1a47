#pragma once
// The running Windows version and the package's mask of supported versions.
#include <cstdint>

int QueryOsVersionCode();

// Bitwise intersection of packageMask and the running system's mask; on zero
// the refusal message is shown with caption.
uint32_t CheckOsSupported(uint32_t packageMask, const char* caption);
