// Fuzz target of the resource reader and writer: any bytes as the stub
// program that receives the package resource (RCDATA 104). Whatever comes in,
// reading and writing end with an answer, stay inside the image and leak
// nothing. When the resource is set, the result reads back: the new resource
// holds the package, and every other resource of the stub is kept as it was.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/common/pe_imports.h"
#include "tools/common/pe_resources.h"

namespace {

constexpr uint16_t kPackageId = 104;

bool IsPackage(const pe::Resource& resource)
{
    return resource.type.isId && resource.type.id == pe::kRcData && resource.name.isId &&
           resource.name.id == kPackageId;
}

bool SameResource(const pe::Resource& a, const pe::Resource& b)
{
    return a.type == b.type && a.name == b.name && a.language == b.language && a.data == b.data;
}

void CheckWritten(const std::vector<pe::Resource>& before, const std::vector<uint8_t>& written,
                  const std::vector<uint8_t>& package)
{
    std::vector<pe::Resource> after;
    std::string error;
    if (!pe::ReadResources(written, after, error))
        abort();
    std::vector<uint8_t> readBack;
    if (!pe::FindResource(written, pe::kRcData, kPackageId, readBack, error) || readBack != package)
        abort();
    size_t kept = 0;
    for (const pe::Resource& old : before) {
        if (IsPackage(old))
            continue;
        ++kept;
        auto same = [&](const pe::Resource& r) { return SameResource(old, r); };
        if (std::find_if(after.begin(), after.end(), same) == after.end())
            abort();
    }
    if (after.size() != kept + 1)
        abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<uint8_t> image(data, data + size);
    std::string error;
    std::vector<pe::Resource> resources;
    const bool readable = pe::ReadResources(image, resources, error);

    std::vector<uint8_t> found;
    pe::FindResource(image, pe::kRcData, kPackageId, found, error);
    std::vector<pe::Import> imports;
    pe::ReadImports(image, imports, error);
    pe::LoaderFacts facts;
    pe::ReadLoaderFacts(image, facts, error);

    const std::vector<uint8_t> package = {'p', 'a', 'c', 'k', 'a', 'g', 'e', 0, 1, 2, 3, 0xFF, 0x80};
    std::vector<uint8_t> written;
    if (pe::SetResource(image, pe::kRcData, kPackageId, package, written, error)) {
        if (!readable)
            abort();
        CheckWritten(resources, written, package);
    }
    return 0;
}
