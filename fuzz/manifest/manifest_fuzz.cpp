// Fuzz target of mkpackage's manifest reader: any bytes as manifest text.
// Whatever comes in, reading ends with an answer and leaks nothing; a failed
// read names at least one error, and a manifest that reads without errors
// gives settings blocks that the package writer takes and the installer's
// decoder reads back.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/common/package_arena.h"
#include "package/package_format.h"
#include "tools/mkpackage/manifest.h"
#include "tools/mkpackage/package_writer.h"

namespace {

int ReadFromVector(void* context, uint32_t offset, void* buffer, uint32_t count)
{
    const auto& bytes = *static_cast<const std::vector<uint8_t>*>(context);
    if (uint64_t(offset) + count > bytes.size())
        return 0;
    std::copy(bytes.begin() + offset, bytes.begin() + offset + count, static_cast<uint8_t*>(buffer));
    return 1;
}

// The blocks of an accepted manifest make a package the installer reads.
void CheckPackageOf(const mkpackage::Manifest& manifest)
{
    mkpackage::PackageContents contents;
    contents.japanese = manifest.japanese;
    contents.english = manifest.english;
    std::vector<uint8_t> package;
    std::string error;
    if (!mkpackage::WritePackage(contents, package, error))
        abort();
    Arena arena;
    PackageSource source{ReadFromVector, &package, static_cast<uint32_t>(package.size())};
    PackageHeap heap{Arena::Allocate, &arena};
    PackageSettings settings{};
    if (!ReadPackageSettings(source, heap, settings))
        abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    mkpackage::Manifest manifest;
    mkpackage::Diagnostics diagnostics;
    const bool read = mkpackage::ParseManifest(text, "/nonexistent/product", manifest, diagnostics);
    if (read != diagnostics.errors.empty())
        abort();
    if (read)
        CheckPackageOf(manifest);
    return 0;
}
