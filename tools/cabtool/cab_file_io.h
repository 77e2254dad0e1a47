#pragma once
// The decoder's caller operations on this system's runtime: malloc and free,
// and low-level file operations that take the Windows runtime's open flags.
// The name "*" opens a temporary file that disappears when closed. Writes
// to kDiscardHandle succeed without going anywhere.
#include <cstdint>

#include "package/cab/cab_types.h"

constexpr intptr_t kDiscardHandle = 0x7FFFFF00;

void* CabToolAllocate(size_t size);
void CabToolFree(void* memory);
intptr_t CabToolOpen(const char* name, int openFlags, int permissionMode);
int CabToolRead(intptr_t handle, void* buffer, unsigned int count);
int CabToolWrite(intptr_t handle, const void* buffer, unsigned int count);
int CabToolClose(intptr_t handle);
int32_t CabToolSeek(intptr_t handle, int32_t offset, int origin);
