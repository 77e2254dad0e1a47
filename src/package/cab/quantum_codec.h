#pragma once
// The Quantum codec of the cabinet reader (compression type 2).
#include <cstdint>

#include "package/cab/cab_codec.h"

// Compressed-data buffer for Quantum blocks: the block size plus 10240 bytes.
uint32_t QuantumCompressedBufferSize(uint32_t uncompressedBlockSize);

// Makes a Quantum codec with a window of 2^setup.windowBits bytes: DecompressFail
// for window bits outside 10 to 21, AllocFail when the instance or the window
// can't be allocated.
CabError CreateQuantumCodec(const CabCodecSetup& setup, CabCodec& codec);
