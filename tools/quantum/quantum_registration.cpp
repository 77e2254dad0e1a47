#include "tools/quantum/quantum_compressor.h"

namespace quantum {

namespace {

std::unique_ptr<cabwriter::BlockCompressor> MakeCompressor(uint16_t compressionType)
{
    const int windowBits = (compressionType >> 8) & 0x1F;
    if (windowBits < kQuantumMinWindowBits || windowBits > kQuantumMaxWindowBits)
        return nullptr;
    const int level = (compressionType >> 4) & 0xF;
    return std::make_unique<Compressor>(windowBits, level == 0 ? 4 : level);
}

}  // namespace

void RegisterQuantumCompressor()
{
    cabwriter::RegisterCompressor(cabwriter::kTypeQuantum, MakeCompressor);
}

}  // namespace quantum
