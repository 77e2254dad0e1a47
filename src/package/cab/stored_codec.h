#pragma once
// Stored data: a block's bytes are its uncompressed bytes.
#include <cstdint>

#include "package/cab/cab_codec.h"

uint32_t StoredCompressedBufferSize(uint32_t uncompressedBlockSize);
CabError CreateStoredCodec(const CabCodecSetup& setup, CabCodec& codec);
