// Whole cabinets through the reader: every member is decoded, some are
// skipped, written bytes are counted and dropped. A next cabinet is looked
// for in the input itself.
#include <cstdint>
#include <cstring>

#include "package/cab/cab_decoder.h"
#include "tests/host/cab/memory_files.h"

namespace {

constexpr intptr_t kSink = 0x5151;

int Write(intptr_t handle, const void* buffer, unsigned int count)
{
    return handle == kSink ? int(count) : memfs::Write(handle, buffer, count);
}

int Close(intptr_t handle)
{
    return handle == kSink ? 0 : memfs::Close(handle);
}

intptr_t Handle(CabNotificationType type, CabNotification* n)
{
    switch (type) {
    case CabNotificationType::CopyMember: return (n->text1[0] & 1) ? 0 : kSink;  // skip some members
    case CabNotificationType::CloseFileInfo: return 1;
    case CabNotificationType::NextCabinet: strcpy(n->text1, "fuzz.cab"); return 0;
    default: return 0;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    memfs::Reset();
    memfs::Put("fuzz.cab", std::vector<uint8_t>(data, data + size));
    CabErrorRecord errors = {};
    CabDecoder* decoder = CreateCabDecoder(memfs::Allocate, memfs::Free, memfs::Open, memfs::Read, Write, Close,
                                           memfs::Seek, kCabProcessor386, &errors);
    const intptr_t handle = memfs::Open("fuzz.cab", kCabOpenReadOnly, 0);
    CabinetSummary summary = {};
    IsCabinetFile(decoder, handle, &summary);
    memfs::Close(handle);
    CopyCabinet(decoder, "fuzz.cab", "", 0, Handle, nullptr, nullptr);
    DestroyCabDecoder(decoder);
    if (memfs::LiveAllocations() != 0 || memfs::OpenHandles() != 0) {
        __builtin_trap();  // the decoder must give back everything it took
    }
    return 0;
}
