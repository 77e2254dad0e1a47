#include "tests/host/cab/memory_files.h"

#include <cstdlib>
#include <cstring>

#include "package/cab/cab_types.h"

namespace memfs {

namespace {

struct OpenFile {
    std::string path;
    size_t position = 0;
};

struct State {
    std::map<std::string, std::vector<uint8_t>> files;
    std::map<intptr_t, OpenFile> open;
    intptr_t nextHandle = 3;
    int liveAllocations = 0;
    int allocationsLeft = -1;
    size_t writeLimit = SIZE_MAX;
    size_t written = 0;
};

State& S()
{
    static State state;
    return state;
}

}  // namespace

void Reset()
{
    S() = State();
}

void Put(const std::string& path, std::vector<uint8_t> bytes)
{
    S().files[path] = std::move(bytes);
}
bool Has(const std::string& path)
{
    return S().files.count(path) != 0;
}
const std::vector<uint8_t>& Get(const std::string& path)
{
    return S().files.at(path);
}
const std::map<std::string, std::vector<uint8_t>>& Files()
{
    return S().files;
}
int OpenHandles()
{
    return int(S().open.size());
}
int LiveAllocations()
{
    return S().liveAllocations;
}
void FailAllocationsAfter(int count)
{
    S().allocationsLeft = count;
}
void LimitWrittenBytes(size_t count)
{
    S().writeLimit = count;
}

void* Allocate(size_t size)
{
    if (S().allocationsLeft == 0) {
        return nullptr;
    }
    if (S().allocationsLeft > 0) {
        --S().allocationsLeft;
    }
    ++S().liveAllocations;
    return malloc(size == 0 ? 1 : size);
}

void Free(void* memory)
{
    if (memory != nullptr) {
        --S().liveAllocations;
        free(memory);
    }
}

intptr_t Open(const char* name, int openFlags, int)
{
    const std::string path = name;
    if (openFlags & kCabOpenCreate) {
        if (openFlags & kCabOpenTruncate || !Has(path)) {
            S().files[path].clear();
        }
    } else if (!Has(path)) {
        return -1;
    }
    const intptr_t handle = S().nextHandle++;
    S().open[handle] = {path, 0};
    return handle;
}

int Read(intptr_t handle, void* buffer, unsigned int count)
{
    auto it = S().open.find(handle);
    if (it == S().open.end()) {
        return -1;
    }
    const std::vector<uint8_t>& data = S().files[it->second.path];
    const size_t at = it->second.position;
    const size_t n = at >= data.size() ? 0 : std::min<size_t>(count, data.size() - at);
    if (n > 0) {
        memcpy(buffer, data.data() + at, n);
    }
    it->second.position += n;
    return int(n);
}

int Write(intptr_t handle, const void* buffer, unsigned int count)
{
    auto it = S().open.find(handle);
    if (it == S().open.end()) {
        return -1;
    }
    const size_t allowed = S().writeLimit - std::min(S().writeLimit, S().written);
    const size_t n = std::min<size_t>(count, allowed);
    std::vector<uint8_t>& data = S().files[it->second.path];
    const size_t at = it->second.position;
    if (data.size() < at + n) {
        data.resize(at + n);
    }
    memcpy(data.data() + at, buffer, n);
    it->second.position += n;
    S().written += n;
    return int(n);
}

int Close(intptr_t handle)
{
    return S().open.erase(handle) == 1 ? 0 : -1;
}

int32_t Seek(intptr_t handle, int32_t offset, int origin)
{
    auto it = S().open.find(handle);
    if (it == S().open.end()) {
        return -1;
    }
    const int64_t base = origin == kCabSeekStart     ? 0
                         : origin == kCabSeekCurrent ? int64_t(it->second.position)
                                                     : int64_t(S().files[it->second.path].size());
    const int64_t target = base + offset;
    if (target < 0 || target > INT32_MAX) {
        return -1;
    }
    it->second.position = size_t(target);
    return int32_t(target);
}

}  // namespace memfs
