#include "tests/win/ui/splash_test_picture.h"

#include <cmath>

Rgb TestPicturePixel(int x, int y)
{
    const double dx = x - 200.0, dy = y - 150.0, r = std::sqrt(dx * dx + dy * dy);
    if (r > 140)
        return {0, 0, 0};
    if (r > 128)
        return {255, 255, 255};
    const auto shade = static_cast<uint8_t>(255 - r);
    return {shade, static_cast<uint8_t>(120 + (y * 100) / 300), static_cast<uint8_t>(40 + x / 8)};
}

Rgb TestMaskPixel(int x, int y)
{
    return TestPicturePixel(x, y) == Rgb{0, 0, 0} ? Rgb{255, 255, 255} : Rgb{0, 0, 0};
}
