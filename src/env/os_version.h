#pragma once
// The running Windows version and the package's mask of supported versions.
#include <windows.h>

#include <cstdint>

// The running system's version code (see os_version_table.h), asked afresh
// at every call; 0 when no version query succeeds.
int QueryOsVersionCode();

// 1 when the native processor architecture is a 64-bit one. extendedQueryOk
// is the success of the extended version query; without it the answer is 0
// and nothing is asked.
int IsSystem64Bit(int extendedQueryOk);

// The running system's mask of supported versions.
uint32_t RunningOsMask();

// Bitwise intersection of packageMask and the running system's mask; on zero
// the refusal message is shown with caption, owned by owner (may be null),
// unless the run is silent.
uint32_t CheckOsSupported(HWND owner, uint32_t packageMask, const char* caption, int silent);
