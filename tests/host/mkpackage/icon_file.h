#pragma once
// ICO files for the tests: square 32-bit images of the given sizes, each a
// bitmap (40-byte header, colour pixels, mask) filled with one colour.
#include <cstdint>
#include <string>
#include <vector>

inline void IconPut(std::string& bytes, size_t at, uint32_t value, int width)
{
    for (int i = 0; i < width; ++i)
        bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// One image as an icon resource holds it.
inline std::string IconImage(int size, uint32_t colour)
{
    const size_t pixels = size_t(size) * size * 4, mask = size_t((size + 31) / 32 * 4) * size;
    std::string image(40 + pixels + mask, '\0');
    IconPut(image, 0, 40, 4);
    IconPut(image, 4, static_cast<uint32_t>(size), 4);
    IconPut(image, 8, static_cast<uint32_t>(size * 2), 4);  // colour pixels and mask
    IconPut(image, 12, 1, 2);
    IconPut(image, 14, 32, 2);
    IconPut(image, 20, static_cast<uint32_t>(pixels + mask), 4);
    for (size_t at = 40; at < 40 + pixels; at += 4)
        IconPut(image, at, colour | 0xFF000000u, 4);
    return image;
}

inline std::string IconFile(const std::vector<int>& sizes, uint32_t colour = 0x3366CC)
{
    std::string file(6 + 16 * sizes.size(), '\0');
    IconPut(file, 2, 1, 2);
    IconPut(file, 4, static_cast<uint32_t>(sizes.size()), 2);
    for (size_t i = 0; i < sizes.size(); ++i) {
        std::string image = IconImage(sizes[i], colour);
        size_t entry = 6 + 16 * i;
        file[entry] = static_cast<char>(sizes[i] >= 256 ? 0 : sizes[i]);
        file[entry + 1] = file[entry];
        IconPut(file, entry + 4, 1, 2);
        IconPut(file, entry + 6, 32, 2);
        IconPut(file, entry + 8, static_cast<uint32_t>(image.size()), 4);
        IconPut(file, entry + 12, static_cast<uint32_t>(file.size()), 4);
        file += image;
    }
    return file;
}
