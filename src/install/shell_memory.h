#pragma once
// Memory that the shell hands out (item id lists).

// Frees it the way every shell version allows; null is ignored.
void FreeShellMemory(void* memory);
