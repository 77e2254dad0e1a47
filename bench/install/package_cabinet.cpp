// package_cabinet PACKAGE OUT.cab: writes the cabinet that a package carries,
// unscrambled, as the installer's work file gets it; the benchmark hands the
// same cabinet to Wine's own extraction.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "package/package_format.h"

namespace {

int ReadFromBytes(void* context, uint32_t offset, void* buffer, uint32_t count)
{
    const auto& bytes = *static_cast<const std::vector<uint8_t>*>(context);
    if (uint64_t(offset) + count > bytes.size())
        return 0;
    memcpy(buffer, bytes.data() + offset, count);
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        fputs("usage: package_cabinet PACKAGE OUT.cab\n", stderr);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<uint8_t> package((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const PackageSource source = {ReadFromBytes, &package, static_cast<uint32_t>(package.size())};
    PackageTrailer trailer;
    if (!ReadPackageTrailer(source, trailer) || !CabinetFitsPackage(trailer, source.size)) {
        fprintf(stderr, "%s: no package\n", argv[1]);
        return 1;
    }
    std::vector<uint8_t> cabinet(package.begin() + trailer.cabinetOffset,
                                 package.begin() + trailer.cabinetOffset + trailer.cabinetLength);
    ScrambleCabinet(cabinet.data(), cabinet.size(), 0);
    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(cabinet.data()), static_cast<std::streamsize>(cabinet.size()));
    return out ? 0 : 1;
}
