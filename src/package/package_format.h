#pragma once
// The package: two settings blocks, their texts and a scrambled cabinet,
// located by the 44-byte trailer at its very end. Decoding reads through a
// PackageSource, so the same code serves the installer (a temporary copy of
// the package resource) and the tests (a byte buffer).
#include <cstddef>
#include <cstdint>

#include "package/package_settings.h"
#include "text/little_endian.h"

// The trailer is the last 44 bytes of a package: seven little-endian words and
// a 16-byte signature, of which only the zero-terminated text counts.
struct PackageTrailer {
    uint32_t japaneseBlockOffset, japaneseBlockLength;
    uint32_t englishBlockOffset, englishBlockLength;
    uint32_t totalInstallBytes;
    uint32_t cabinetOffset, cabinetLength;
    char signature[16];
};
constexpr size_t kTrailerSize = 44;
inline constexpr char kPackageSignature[] = "InstBuild";

// A text is stored without terminator, every byte XORed with the string key.
constexpr uint8_t kTextKey = 0xA7;
constexpr size_t kMaxTextLength = kTextFieldSize - 1;

// The setup program carries the package as its resource RCDATA 104.
constexpr uint16_t kPackageResourceId = 104;

// Cabinet members the installer keeps for itself, never product files: "$"
// and the splash picture and its mask, which are unpacked beside the cabinet.
inline constexpr char kSplashPictureMember[] = "$bmp";
inline constexpr char kSplashMaskMember[] = "$mask";
inline constexpr const char* kInstallerMembers[] = {"$", kSplashPictureMember, kSplashMaskMember};

// Byte k of the cabinet stream is XORed with byte (k mod 4) of this key, the
// key's least significant byte first.
constexpr uint32_t kCabinetKey = 0x6D1E53B7;

// Settings block: 76 header bytes (five text references, four integers, five
// counts), then the five record arrays without gaps.
constexpr size_t kTextRefSize = 8;
constexpr size_t kBlockHeaderSize = 76;
constexpr size_t kShortcutRecordSize = 16;  // TextRef linkName, TextRef target
constexpr size_t kCheckRecordSize = 20;     // int32 kind, TextRef subject, TextRef message
constexpr size_t kCommandRecordSize = 12;   // TextRef commandLine, int32 wait

// Offsets and every end of a part must stay below this.
constexpr uint32_t kPackageOffsetLimit = 0x80000000u;

// Where the decoder reads package bytes: readAt returns 1 only when all count
// bytes at offset arrived. size is the package's length.
struct PackageSource {
    int (*readAt)(void* context, uint32_t offset, void* buffer, uint32_t count);
    void* context;
    uint32_t size;
};

// Where the decoded lists and their strings live: allocate returns zeroed
// memory of the given size, or null when the heap is exhausted.
struct PackageHeap {
    void* (*allocate)(void* context, size_t size);
    void* context;
};

// Decodes the 44 trailer bytes. False when the signature is not "InstBuild"
// (compared as a zero-terminated text, ignoring letter case).
bool DecodeTrailer(const uint8_t (&bytes)[kTrailerSize], PackageTrailer& out);

// Reads and checks the trailer of the package.
bool ReadPackageTrailer(const PackageSource& source, PackageTrailer& out);

// Reads one settings block into info. Fails when the block, one of its texts
// or arrays lies outside the package or the block, a count is negative, a
// text is longer than 511 bytes, or memory runs out. The counts are stored
// only when everything succeeded.
bool ReadSettingsBlock(const PackageSource& source, const PackageHeap& heap, uint32_t offset, uint32_t length,
                       SetupInfo& info);

// Trailer and both blocks into settings, which must be zeroed: what the
// installer's settings loader does after copying the package.
bool ReadPackageSettings(const PackageSource& source, const PackageHeap& heap, PackageSettings& settings);

// True when the cabinet stream the trailer names lies inside the package. An
// empty stream always fits.
bool CabinetFitsPackage(const PackageTrailer& trailer, uint32_t packageSize);

// Scrambling is its own inverse, so these both scramble and unscramble.
void ScrambleText(uint8_t* bytes, size_t count);
// streamPosition is the position of bytes[0] in the cabinet stream.
void ScrambleCabinet(uint8_t* bytes, size_t count, uint32_t streamPosition);
