#pragma once
// Where the splash window draws: gradient row colours, the lines of text and
// the picture, all computed from the client rectangle and the texts' byte
// lengths. Divisions truncate toward zero.
#include <cstddef>
#include <cstdint>

struct SplashColour {
    uint8_t red, green, blue;
    bool operator==(const SplashColour&) const = default;
};

constexpr SplashColour kGradientTop = {64, 64, 255};
constexpr SplashColour kGradientBottom = {64, 255, 255};
constexpr SplashColour kNameColour = {255, 0, 0};
constexpr SplashColour kNameShadow = {255, 255, 0};
constexpr SplashColour kSmallTextColour = {0, 0, 0};
constexpr SplashColour kSmallTextShadow = {192, 192, 192};

constexpr int kNameShadowOffset = 3;
constexpr int kSmallTextShadowOffset = 2;

// Colour of row `row` of a gradient `height` rows high: the top row has the
// top colour, the last row the bottom colour. A gradient one row high is
// painted in the top colour.
SplashColour GradientRowColour(SplashColour top, SplashColour bottom, int row, int height);

struct SplashPoint {
    int x, y;
    bool operator==(const SplashPoint&) const = default;
};

// The product texts: a large name, and below it the version and the note in
// a smaller size, each centred by its nominal character width.
struct SplashTextLayout {
    bool drawsName;  // false for an empty name: nothing is drawn then
    int nameHeight;
    SplashPoint name;
    bool drawsSmallLines;  // false when version and note are both empty
    int smallHeight;
    SplashPoint version;
    SplashPoint note;  // directly below the version, or in its place when it is empty
};

SplashTextLayout LayOutSplashTexts(int x, int y, int width, int height, size_t nameLength, size_t versionLength,
                                   size_t noteLength);

// Top-left corner of a picture drawn unscaled: centred horizontally, a
// twelfth of the height from the top, or centred vertically (never above the
// top) when it would reach below the bottom.
SplashPoint PlaceSplashPicture(int x, int y, int width, int height, int pictureWidth, int pictureHeight);

// 1 when some pair of neighbouring bytes of text is a double-byte character
// of the current code page.
int ContainsDoubleByteChar(const char* text);

// Font face of one line: in the Japanese interface "ＭＳ ゴシック" for a line
// with double-byte characters and "Times New Roman" for one without; in the
// English interface "MS Sans Serif".
const char* SplashFaceFor(bool japaneseUi, const char* text);

// The face tried when the chosen one cannot be made.
inline constexpr char kFallbackSplashFace[] = "MS Sans Serif";
