// Fuzz target of the package decoder: any bytes as a package. Whatever comes
// in, decoding ends with an answer, reads only inside the input and leaks
// nothing; a successful decode gives texts that fit their fields.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/common/package_arena.h"
#include "package/package_format.h"

namespace {

struct Input {
    const uint8_t* data;
    size_t size;
};

int ReadInput(void* context, uint32_t offset, void* buffer, uint32_t count)
{
    const Input& input = *static_cast<const Input*>(context);
    if (uint64_t(offset) + count > input.size)
        return 0;
    memcpy(buffer, input.data + offset, count);
    return 1;
}

void CheckText(const char* field)
{
    if (memchr(field, '\0', kTextFieldSize) == nullptr)
        abort();
}

void CheckBlock(const SetupInfo& info)
{
    for (const char* field :
         {info.productName, info.productVersion, info.splashNote, info.installFolder, info.reservedText})
        CheckText(field);
    for (int32_t i = 0; i < info.shortcutCount; ++i) {
        if (strlen(info.shortcuts[i].linkName) > kMaxTextLength || strlen(info.shortcuts[i].target) > kMaxTextLength)
            abort();
    }
    for (int32_t i = 0; i < info.checkCount; ++i) {
        if (strlen(info.checks[i].subject) > kMaxTextLength || strlen(info.checks[i].message) > kMaxTextLength)
            abort();
    }
    for (int32_t i = 0; i < info.launchCommandCount; ++i) {
        if (strlen(info.launchCommands[i].commandLine) > kMaxTextLength)
            abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 0xFFFFFFFFu)
        return 0;
    Input input{data, size};
    PackageSource source{ReadInput, &input, static_cast<uint32_t>(size)};
    Arena arena;
    PackageHeap heap{Arena::Allocate, &arena};
    PackageSettings settings{};
    if (ReadPackageSettings(source, heap, settings)) {
        CheckBlock(settings.japanese);
        CheckBlock(settings.english);
    }
    PackageTrailer trailer;
    if (ReadPackageTrailer(source, trailer) && CabinetFitsPackage(trailer, source.size) &&
        static_cast<int32_t>(trailer.cabinetLength) > 0) {
        std::vector<uint8_t> cabinet(data + trailer.cabinetOffset,
                                     data + trailer.cabinetOffset + trailer.cabinetLength);
        ScrambleCabinet(cabinet.data(), cabinet.size(), 0);
    }
    return 0;
}
