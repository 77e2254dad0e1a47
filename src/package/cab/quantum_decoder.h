#pragma once
// The Quantum decoder: an adaptive arithmetic decoder over 16-bit registers
// that reads literals and matches into a window of 2^w bytes. The window and
// the models carry over from block to block of a folder; the arithmetic
// decoder starts afresh at every block.
#include <cstddef>
#include <cstdint>

#include "package/cab/quantum_model.h"
#include "package/cab/quantum_tables.h"

struct QuantumDecoder {
    uint8_t* window;  // 2^windowBits bytes, owned by the caller
    uint32_t windowMask;
    uint32_t windowPosition;
    uint32_t history;  // bytes of this folder in the window, at most its size
    int windowBits;
    QuantumModel selector;
    QuantumModel literals[kQuantumLiteralModels];
    QuantumModel positions[kQuantumPositionModels];
    QuantumModel lengths;
    // ceil(2^40 / t) for every model total t, so that the decoder divides by
    // a total with a multiplication.
    uint64_t reciprocals[kQuantumModelMaxTotal + 1];
};

// True for the window sizes the format allows (10 to 21 bits).
bool IsQuantumWindowBits(int windowBits);

// Points the decoder at a window of 2^windowBits bytes and resets it.
void InitQuantumDecoder(QuantumDecoder& decoder, uint8_t* window, int windowBits);

// Start of a new folder: window position 0, empty history, initial models.
void ResetQuantumDecoder(QuantumDecoder& decoder);

// Decodes one data block of inCount bytes to exactly outCount bytes into out
// (and the window). Returns false when the block's bits run out, a
// match reaches before the folder's start or past the block's end.
bool DecodeQuantumBlock(QuantumDecoder& decoder, const uint8_t* in, size_t inCount, uint8_t* out, size_t outCount);
