#pragma once
// The fixed tables of the Quantum format: the base and extra-bit count of the
// 42 position slots and the 27 length slots, and the sizes of the models.
#include <cstdint>

constexpr int kQuantumMinWindowBits = 10;  // 1 KiB
constexpr int kQuantumMaxWindowBits = 21;  // 2 MiB

constexpr int kQuantumSelectorSymbols = 7;  // 0-3 literal models, 4-6 matches
constexpr int kQuantumLiteralModels = 4;
constexpr int kQuantumLiteralSymbols = 64;
constexpr int kQuantumPositionModels = 3;
constexpr int kQuantumLengthSymbols = 27;
constexpr int kQuantumPositionSlots = 42;

constexpr int kQuantumSelectorMatch3 = 4;  // length 3, first position model
constexpr int kQuantumSelectorMatch4 = 5;  // length 4, second position model
constexpr int kQuantumSelectorMatchN = 6;  // length model, third position model
constexpr int kQuantumMatchNMinLength = 5;

// Position slot s covers positions base[s] to base[s] + 2^extra[s] - 1; the
// match starts position + 1 bytes back.
constexpr uint32_t kQuantumPositionBase[kQuantumPositionSlots] = {
    0,     1,     2,     3,     4,     6,     8,      12,     16,     24,     32,     48,     64,      96,
    128,   192,   256,   384,   512,   768,   1024,   1536,   2048,   3072,   4096,   6144,   8192,    12288,
    16384, 24576, 32768, 49152, 65536, 98304, 131072, 196608, 262144, 393216, 524288, 786432, 1048576, 1572864,
};
constexpr uint8_t kQuantumPositionExtraBits[kQuantumPositionSlots] = {
    0, 0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,  5,  6,  6,  7,  7,  8,  8,  9,
    9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15, 15, 16, 16, 17, 17, 18, 18, 19, 19,
};

// Length slot s of selector 6 gives lengths 5 + base[s] to 5 + base[s] + 2^extra[s] - 1.
constexpr uint8_t kQuantumLengthBase[kQuantumLengthSymbols] = {
    0, 1, 2, 3, 4, 5, 6, 8, 10, 12, 14, 18, 22, 26, 30, 38, 46, 54, 62, 78, 94, 110, 126, 158, 190, 222, 254,
};
constexpr uint8_t kQuantumLengthExtraBits[kQuantumLengthSymbols] = {
    0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0,
};
constexpr int kQuantumMaxMatchLength = kQuantumMatchNMinLength + kQuantumLengthBase[kQuantumLengthSymbols - 1];  // 259

// The first position model covers slots below 4096, the second below 262144,
// the third the whole window; none has more slots than the window (2w).
constexpr uint32_t kQuantumPositionLimit[kQuantumPositionModels] = {4096, 262144, 0xFFFFFFFF};

constexpr int QuantumPositionSlotCount(int windowBits, int model)
{
    const uint64_t window = uint64_t(1) << windowBits;
    const uint64_t limit = kQuantumPositionLimit[model] < window ? kQuantumPositionLimit[model] : window;
    int count = 0;
    while (count < kQuantumPositionSlots && kQuantumPositionBase[count] < limit)
        ++count;
    return count;
}
