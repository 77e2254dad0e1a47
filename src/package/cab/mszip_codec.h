#pragma once
// MSZIP: each data block is "CK" followed by deflate data (RFC 1951) that may
// refer back into the previous block's output of the same folder.
#include <cstdint>

#include "package/cab/cab_codec.h"

constexpr uint32_t kMszipInputLimit = kCabBlockSize + 12;  // largest compressed block

uint32_t MszipCompressedBufferSize(uint32_t uncompressedBlockSize);
CabError CreateMszipCodec(const CabCodecSetup& setup, CabCodec& codec);
