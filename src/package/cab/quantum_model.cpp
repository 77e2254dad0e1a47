#include "package/cab/quantum_model.h"

namespace {

constexpr int kInitialRescales = 4;
constexpr int kRescalesAfterSort = 50;

// Halves the cumulative frequencies, keeping each above its successor so
// that no symbol drops to frequency 0.
void HalveCumulative(QuantumModel& model)
{
    for (int i = model.symbolCount - 1; i >= 0; --i) {
        model.cumulative[i] = uint16_t(model.cumulative[i] >> 1);
        if (model.cumulative[i] <= model.cumulative[i + 1]) {
            model.cumulative[i] = uint16_t(model.cumulative[i + 1] + 1);
        }
    }
}

// Halves every frequency on its own (rounded up), sorts the entries by
// descending frequency and rebuilds the cumulative frequencies. The exchange
// sort and its handling of equal frequencies are part of the format.
void HalveAndSort(QuantumModel& model)
{
    const int n = model.symbolCount;
    uint16_t frequency[kQuantumModelMaxSymbols];
    for (int i = 0; i < n; ++i) {
        frequency[i] = uint16_t((model.cumulative[i] - model.cumulative[i + 1] + 1) >> 1);
    }
    for (int i = 0; i < n - 1; ++i) {
        for (int j = i + 1; j < n; ++j) {
            if (frequency[i] < frequency[j]) {
                const uint16_t f = frequency[i];
                frequency[i] = frequency[j];
                frequency[j] = f;
                const uint8_t s = model.symbols[i];
                model.symbols[i] = model.symbols[j];
                model.symbols[j] = s;
            }
        }
    }
    for (int i = n - 1; i >= 0; --i) {
        model.cumulative[i] = uint16_t(model.cumulative[i + 1] + frequency[i]);
    }
}

}  // namespace

void RescaleQuantumModel(QuantumModel& model)
{
    if (--model.rescalesLeft > 0) {
        HalveCumulative(model);
        return;
    }
    model.rescalesLeft = kRescalesAfterSort;
    HalveAndSort(model);
}

void InitQuantumModel(QuantumModel& model, int symbolCount)
{
    model.symbolCount = symbolCount;
    model.rescalesLeft = kInitialRescales;
    for (int i = 0; i <= kQuantumModelMaxSymbols; ++i) {
        model.symbols[i] = uint8_t(i < symbolCount ? i : 0);
        model.cumulative[i] = uint16_t(i < symbolCount ? symbolCount - i : 0);
    }
}
