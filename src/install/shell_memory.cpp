#include "install/shell_memory.h"

#include <shlobj.h>

void FreeShellMemory(void* memory)
{
    IMalloc* allocator = nullptr;
    if (memory == nullptr || FAILED(SHGetMalloc(&allocator)))
        return;
    allocator->Free(memory);
    allocator->Release();
}
