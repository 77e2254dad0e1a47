#pragma once
// Inputs for the Quantum tests: deterministic, each showing one kind of data.
#include <cstdint>
#include <string>
#include <vector>

namespace quantum_test {

struct Input {
    std::string name;
    std::vector<uint8_t> bytes;
};

inline std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed)
{
    std::vector<uint8_t> out(size);
    uint32_t x = seed;
    for (uint8_t& b : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = uint8_t(x >> 24);
    }
    return out;
}

inline std::vector<uint8_t> TextBytes(size_t size)
{
    static const char* const kWords[] = {"setup ",   "cabinet ", "folder ", "window ", "the ",     "of ",
                                         "Quantum ", "data\r\n", "block ",  "and ",    "install ", "%d "};
    std::vector<uint8_t> out;
    uint32_t x = 12345;
    while (out.size() < size) {
        x = x * 1103515245 + 12345;
        const char* word = kWords[(x >> 16) % 12];
        while (*word && out.size() < size)
            out.push_back(uint8_t(*word++));
    }
    return out;
}

// Machine-code-like data: short repeated structures with varying fields.
inline std::vector<uint8_t> BinaryBytes(size_t size)
{
    std::vector<uint8_t> out(size);
    uint32_t x = 99;
    for (size_t i = 0; i < size; ++i) {
        x = x * 69069 + 1;
        const uint32_t kind = (x >> 28) & 3;
        out[i] = kind == 0 ? uint8_t(x >> 20) : kind == 1 ? uint8_t(i >> 4) : kind == 2 ? 0 : out[i / 2];
    }
    return out;
}

inline std::vector<uint8_t> RunBytes(size_t size)
{
    std::vector<uint8_t> out(size, 'a');
    for (size_t i = size / 3; i < size; ++i)
        out[i] = 0;
    return out;
}

// The kinds of data every round trip covers.
inline std::vector<Input> StandardInputs()
{
    std::vector<Input> inputs;
    inputs.push_back({"empty", {}});
    inputs.push_back({"one_byte", {0x5A}});
    inputs.push_back({"text", TextBytes(200000)});
    inputs.push_back({"binary", BinaryBytes(150000)});
    inputs.push_back({"incompressible", RandomBytes(100000, 7)});
    inputs.push_back({"runs", RunBytes(3 * 32768 + 5)});
    std::vector<uint8_t> mixed = TextBytes(40000);
    const std::vector<uint8_t> noise = RandomBytes(30000, 3);
    mixed.insert(mixed.end(), noise.begin(), noise.end());
    mixed.insert(mixed.end(), mixed.begin(), mixed.begin() + 50000);  // far repeats
    inputs.push_back({"mixed", mixed});
    return inputs;
}

}  // namespace quantum_test
