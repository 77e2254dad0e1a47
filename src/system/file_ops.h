#pragma once
// File operations of the installer: whole reads and writes in pieces of at
// most 64 KiB, absolute seeks, and an owner that closes the handle.
#include <windows.h>

#include "system/owned_handle.h"

constexpr DWORD kFilePieceSize = 65536;

// Opens an existing file for reading: without sharing first, then, when
// another process holds it, allowing others to read. INVALID_HANDLE_VALUE on
// failure.
HANDLE OpenForReading(const char* path);

// Creates the file anew for writing (an existing file is replaced), normal
// attributes, no sharing. INVALID_HANDLE_VALUE on failure.
HANDLE CreateForWriting(const char* path);

// Move exactly count bytes in pieces of at most 64 KiB; moved counts the bytes
// moved so far. 1 only when every piece moved completely.
int ReadFully(HANDLE file, void* buffer, DWORD count, DWORD* moved);
int WriteFully(HANDLE file, const void* buffer, DWORD count, DWORD* moved);

// Sets the absolute position (below 2 GiB). 1 on success.
int SeekTo(HANDLE file, DWORD position);
