#pragma once
// The interface every codec of the cabinet reader offers: sizing, creation,
// decoding of one data block, reset at a new folder, destruction. The reader
// holds one instance at a time and never looks inside it.
#include <cstdint>

#include "package/cab/cab_types.h"

constexpr uint32_t kCabBlockSize = 32768;  // uncompressed bytes of a full data block

// Compression types: the low four bits select the codec; for Quantum, bits
// 8 to 12 give the window size in bits. kCabNoCodec means "none selected".
constexpr int kCabTypeStored = 0;
constexpr int kCabTypeMszip = 1;
constexpr int kCabTypeQuantum = 2;
constexpr int kCabNoCodec = 15;

// What a codec may use for its whole life. files is used only by a codec that
// keeps data outside memory (the Quantum page file).
struct CabCodecSetup {
    CabAllocate allocate;
    CabFree free;
    const CabFileOperations* files;
    int windowBits;  // bits 8 to 12 of the folder's compression type
};

// The tag at the start of an instance; every call checks it first, and
// destruction clears it, so a stale or foreign instance is refused.
constexpr uint32_t CabCodecTag(const char (&text)[5])
{
    return uint32_t(uint8_t(text[0])) | uint32_t(uint8_t(text[1])) << 8 | uint32_t(uint8_t(text[2])) << 16 |
           uint32_t(uint8_t(text[3])) << 24;
}
constexpr uint32_t kMszipTag = CabCodecTag("MDIC");
constexpr uint32_t kQuantumTag = CabCodecTag("QDIC");

struct CabCodecOperations {
    // Decodes one block of inCount bytes into out, which holds kCabBlockSize
    // bytes (and, for MSZIP, the previous block's output). blockSize is the
    // block's uncompressed size from its header. Stores the produced count;
    // 1 on success, 0 when the block is bad or the instance is not this codec's.
    int (*decode)(void* instance, const uint8_t* in, uint32_t inCount, uint8_t* out, uint32_t blockSize,
                  uint32_t* produced);
    // Called at the start of every new folder. 1 on success, 0 on failure.
    int (*reset)(void* instance);
    // Frees the instance through the setup's free operation and clears its
    // tag. 1 on success, 0 when the tag did not match.
    int (*destroy)(void* instance);
};

struct CabCodec {
    const CabCodecOperations* operations;  // null: no codec
    void* instance;
};

// Per compression type: the compressed-data buffer the reader must provide
// for blocks of uncompressedBlockSize bytes (0 or more than kCabBlockSize
// count as kCabBlockSize), and creation (CabError::None, or AllocFail /
// DecompressFail with codec left empty).
using CabCodecSizing = uint32_t (*)(uint32_t uncompressedBlockSize);
using CabCodecCreation = CabError (*)(const CabCodecSetup& setup, CabCodec& codec);

struct CabCodecType {
    CabCodecSizing compressedBufferSize;
    CabCodecCreation create;
};

// The codec for the low four bits of a compression type, or null when the
// type is not one the reader decodes (BadCompressionType).
const CabCodecType* FindCabCodecType(int compressionType);
