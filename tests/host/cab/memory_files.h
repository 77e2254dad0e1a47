#pragma once
// Caller operations for the cabinet decoder over files held in memory, with
// counts of open handles and live allocations and injectable failures.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace memfs {

void Reset();
void Put(const std::string& path, std::vector<uint8_t> bytes);
bool Has(const std::string& path);
const std::vector<uint8_t>& Get(const std::string& path);
const std::map<std::string, std::vector<uint8_t>>& Files();

int OpenHandles();
int LiveAllocations();
void FailAllocationsAfter(int count);  // -1: never
void LimitWrittenBytes(size_t count);  // writes beyond the limit come up short

void* Allocate(size_t size);
void Free(void* memory);
intptr_t Open(const char* name, int openFlags, int permissionMode);
int Read(intptr_t handle, void* buffer, unsigned int count);
int Write(intptr_t handle, const void* buffer, unsigned int count);
int Close(intptr_t handle);
int32_t Seek(intptr_t handle, int32_t offset, int origin);

}  // namespace memfs
