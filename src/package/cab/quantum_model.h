#pragma once
// The adaptive frequency model of the Quantum format. Entry i holds a symbol
// and the cumulative frequency of entries i to n-1; the entries from n on hold
// 0, so entry 0 holds the total and the cumulative column can be searched in
// whole groups of 8. Decoder and encoder update it the same way.
#include <cstdint>

constexpr int kQuantumModelMaxSymbols = 64;

struct QuantumModel {
    int symbolCount;
    int searchGroups;  // groups of 8 entries after the first that FindQuantumEntry counts
    int rescalesLeft;  // full rescales happen when this runs down to 0
    uint16_t cumulative[kQuantumModelMaxSymbols + 8];  // never above 3808
    uint8_t symbols[kQuantumModelMaxSymbols + 1];
};

// Symbols 0 to symbolCount-1 in order, symbol i with frequency 1.
void InitQuantumModel(QuantumModel& model, int symbolCount);

// Halves the frequencies once the total has passed 3800.
void RescaleQuantumModel(QuantumModel& model);

// Counts one more use of the symbol in entry `entry`.
inline void UpdateQuantumModel(QuantumModel& model, int entry) {
    for (int i = 0; i <= entry; ++i) model.cumulative[i] = uint16_t(model.cumulative[i] + 8);
    if (model.cumulative[0] > 3800) RescaleQuantumModel(model);
}

// The entry whose share of the total contains target (below the total): the
// number of entries after the first whose cumulative frequency is above
// target. Counted over whole groups of 8 entries (the padding holds 0), so
// that the count needs no branches.
inline int FindQuantumEntry(const QuantumModel& model, uint32_t target) {
    const int16_t limit = int16_t(target > 0x7FFF ? 0x7FFF : target);
    int entry = 0;
    for (int group = 0; group < model.searchGroups; ++group) {
        const int16_t* cumulative = reinterpret_cast<const int16_t*>(model.cumulative) + 1 + 8 * group;
        int16_t above = 0;
        for (int k = 0; k < 8; ++k) above = int16_t(above + (cumulative[k] > limit));
        entry += above;
    }
    return entry;
}
