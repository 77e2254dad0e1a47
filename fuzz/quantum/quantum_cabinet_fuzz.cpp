// Fuzzes the reader on whole cabinets whose folders are Quantum data: the
// input is the cabinet file, served from memory; members are written nowhere.
// Every folder entry's compression type is forced to Quantum (keeping its
// window bits), so that mutations of any cabinet reach the codec.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "package/cab/cab_decoder.h"

namespace {

constexpr intptr_t kCabinetHandles = 16;  // handles 1..16 read the cabinet
constexpr intptr_t kOutputHandle = 100;

std::vector<uint8_t> gCabinet;
size_t gPositions[kCabinetHandles + 1];
bool gOpen[kCabinetHandles + 1];

void* Allocate(size_t size)
{
    return malloc(size);
}
void Free(void* memory)
{
    free(memory);
}

intptr_t Open(const char*, int, int)
{
    for (intptr_t h = 1; h <= kCabinetHandles; ++h) {
        if (!gOpen[h]) {
            gOpen[h] = true;
            gPositions[h] = 0;
            return h;
        }
    }
    return -1;
}

int Read(intptr_t handle, void* buffer, unsigned int count)
{
    if (handle < 1 || handle > kCabinetHandles || !gOpen[handle])
        return -1;
    size_t& position = gPositions[handle];
    const size_t left = position < gCabinet.size() ? gCabinet.size() - position : 0;
    const size_t n = count < left ? count : left;
    if (n > 0)
        memcpy(buffer, gCabinet.data() + position, n);
    position += n;
    return int(n);
}

int Write(intptr_t handle, const void*, unsigned int count)
{
    return handle == kOutputHandle ? int(count) : -1;
}

int Close(intptr_t handle)
{
    if (handle == kOutputHandle)
        return 0;
    if (handle < 1 || handle > kCabinetHandles || !gOpen[handle])
        return -1;
    gOpen[handle] = false;
    return 0;
}

int32_t Seek(intptr_t handle, int32_t offset, int origin)
{
    if (handle < 1 || handle > kCabinetHandles || !gOpen[handle])
        return -1;
    const int64_t base = origin == 0 ? 0 : origin == 1 ? int64_t(gPositions[handle]) : int64_t(gCabinet.size());
    const int64_t target = base + offset;
    if (target < 0 || target > INT32_MAX)
        return -1;
    gPositions[handle] = size_t(target);
    return int32_t(target);
}

intptr_t Handle(CabNotificationType type, CabNotification*)
{
    switch (type) {
    case CabNotificationType::CopyMember: return kOutputHandle;
    case CabNotificationType::CloseFileInfo: return 1;
    case CabNotificationType::NextCabinet: return -1;  // a single cabinet: never wait for another
    default: return 0;
    }
}

// The header's folder count and reserve sizes locate the folder entries.
void ForceQuantumFolders()
{
    if (gCabinet.size() < 36)
        return;
    const size_t folders = gCabinet[26] | gCabinet[27] << 8;
    const int flags = gCabinet[30] | gCabinet[31] << 8;
    size_t at = 36;
    size_t folderReserve = 0;
    if (flags & 4) {
        if (gCabinet.size() < 40)
            return;
        folderReserve = gCabinet[38];
        at = 40 + (gCabinet[36] | gCabinet[37] << 8);
    }
    for (int names = ((flags & 1) ? 2 : 0) + ((flags & 2) ? 2 : 0); names > 0 && at < gCabinet.size(); --names) {
        while (at < gCabinet.size() && gCabinet[at] != 0)
            ++at;
        ++at;
    }
    for (size_t i = 0; i < folders && at + 8 <= gCabinet.size(); ++i, at += 8 + folderReserve) {
        gCabinet[at + 6] = uint8_t((gCabinet[at + 6] & 0xF0) | 2);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    gCabinet.assign(data, data + size);
    ForceQuantumFolders();
    for (bool& open : gOpen)
        open = false;
    CabErrorRecord errors{};
    CabDecoder* decoder = CreateCabDecoder(Allocate, Free, Open, Read, Write, Close, Seek, kCabProcessor386, &errors);
    if (!decoder)
        abort();
    CopyCabinet(decoder, "fuzz.cab", "", 0, Handle, nullptr, nullptr);
    DestroyCabDecoder(decoder);
    for (intptr_t h = 1; h <= kCabinetHandles; ++h) {
        if (gOpen[h])
            abort();  // every cabinet handle is closed at the end of a copy
    }
    return 0;
}
