// The few C library routines that the compiler and the engine call, for the
// Windows programs that link no C runtime at all: Windows 95 as first shipped
// has no msvcrt.dll. Built with loop-to-call rewriting off, so that these
// loops are never turned back into calls of themselves.
#include <windows.h>

#include "runtime/wide_division.h"

#include <cstddef>

extern "C" {

void* memcpy(void* destination, const void* source, size_t count)
{
    unsigned char* to = static_cast<unsigned char*>(destination);
    const unsigned char* from = static_cast<const unsigned char*>(source);
    while (count-- > 0)
        *to++ = *from++;
    return destination;
}

void* memmove(void* destination, const void* source, size_t count)
{
    unsigned char* to = static_cast<unsigned char*>(destination);
    const unsigned char* from = static_cast<const unsigned char*>(source);
    if (to <= from || to >= from + count)
        return memcpy(destination, source, count);
    while (count-- > 0)
        to[count] = from[count];
    return destination;
}

void* memset(void* destination, int value, size_t count)
{
    unsigned char* to = static_cast<unsigned char*>(destination);
    while (count-- > 0)
        *to++ = static_cast<unsigned char>(value);
    return destination;
}

int memcmp(const void* left, const void* right, size_t count)
{
    const unsigned char* a = static_cast<const unsigned char*>(left);
    const unsigned char* b = static_cast<const unsigned char*>(right);
    for (; count > 0; --count, ++a, ++b) {
        if (*a != *b)
            return *a < *b ? -1 : 1;
    }
    return 0;
}

void* memchr(const void* memory, int value, size_t count)
{
    const unsigned char* p = static_cast<const unsigned char*>(memory);
    for (; count > 0; --count, ++p) {
        if (*p == static_cast<unsigned char>(value))
            return const_cast<unsigned char*>(p);
    }
    return nullptr;
}

size_t strlen(const char* text)
{
    const char* end = text;
    while (*end != '\0')
        ++end;
    return static_cast<size_t>(end - text);
}

int strncmp(const char* left, const char* right, size_t count)
{
    for (; count > 0; --count, ++left, ++right) {
        const unsigned char a = static_cast<unsigned char>(*left);
        const unsigned char b = static_cast<unsigned char>(*right);
        if (a != b)
            return a < b ? -1 : 1;
        if (a == '\0')
            break;
    }
    return 0;
}

int strcmp(const char* left, const char* right)
{
    return strncmp(left, right, static_cast<size_t>(-1));
}

// The heap is the process heap; Windows serialises it for us.
void* malloc(size_t size)
{
    return HeapAlloc(GetProcessHeap(), 0, size);
}

void free(void* memory)
{
    if (memory != nullptr)
        HeapFree(GetProcessHeap(), 0, memory);
}

#if defined(__i386__)
// The compiler calls these for every 64-bit quotient of the 32-bit build;
// libgcc's own would bring their unwind tables along.
unsigned long long __udivdi3(unsigned long long dividend, unsigned long long divisor)
{
    return DivideUnsigned64(dividend, divisor);
}

long long __divdi3(long long dividend, long long divisor)
{
    return DivideSigned64(dividend, divisor);
}
#endif

}  // extern "C"
