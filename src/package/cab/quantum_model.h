#pragma once
// The adaptive frequency model of the Quantum format. Entry i holds a symbol
// and the cumulative frequency of entries i to n-1; entry n holds 0, so entry
// 0 holds the total. Decoder and encoder update it the same way.
#include <cstdint>

constexpr int kQuantumModelMaxSymbols = 64;
constexpr int kQuantumModelMaxTotal = 3800;  // a model's total when a symbol is decoded

struct QuantumModel {
    int symbolCount;
    int rescalesLeft;  // full rescales happen when this runs down to 0
    uint16_t cumulative[kQuantumModelMaxSymbols + 1];
    uint8_t symbols[kQuantumModelMaxSymbols + 1];
};

// Symbols 0 to symbolCount-1 in order, symbol i with frequency 1.
void InitQuantumModel(QuantumModel& model, int symbolCount);

// Halves the frequencies once the total has passed kQuantumModelMaxTotal.
void RescaleQuantumModel(QuantumModel& model);

// Counts one more use of the symbol in entry `entry`.
inline void UpdateQuantumModel(QuantumModel& model, int entry)
{
    for (int i = 0; i <= entry; ++i)
        model.cumulative[i] = uint16_t(model.cumulative[i] + 8);
    if (model.cumulative[0] > kQuantumModelMaxTotal)
        RescaleQuantumModel(model);
}
