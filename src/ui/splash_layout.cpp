#include "ui/splash_layout.h"

#include <cstring>

#include "text/text_scan.h"

namespace {

constexpr int kLineGap = 20;  // between the name and the version, and the version and the note
// "ＭＳ ゴシック" in Shift-JIS.
constexpr char kGothicFace[] = "\x82\x6C\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4E";
constexpr char kJapaneseLatinFace[] = "Times New Roman";

uint8_t Blend(uint8_t top, uint8_t bottom, double t)
{
    const int value = static_cast<int>(top + t * (bottom - top) + 0.5);
    return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

int Larger(int a, int b)
{
    return a > b ? a : b;
}

int Smaller(int a, int b)
{
    return a < b ? a : b;
}

}  // namespace

SplashColour GradientRowColour(SplashColour top, SplashColour bottom, int row, int height)
{
    if (height <= 1)
        return top;
    const double t = static_cast<double>(row) / (height - 1);
    return {Blend(top.red, bottom.red, t), Blend(top.green, bottom.green, t), Blend(top.blue, bottom.blue, t)};
}

SplashTextLayout LayOutSplashTexts(int x, int y, int width, int height, size_t nameLength, size_t versionLength,
                                   size_t noteLength)
{
    SplashTextLayout layout = {};
    if (nameLength == 0)
        return layout;
    const int nameBytes = static_cast<int>(nameLength);
    const int versionBytes = static_cast<int>(versionLength);
    const int noteBytes = static_cast<int>(noteLength);
    layout.drawsName = true;
    layout.nameHeight = Smaller(2 * (width / 2) / nameBytes, height / 6);
    layout.name = {x + width / 4, y + height / 12};

    const int longest = Larger(versionBytes, noteBytes);
    if (longest == 0)
        return layout;
    layout.drawsSmallLines = true;
    // Half the small height is the nominal character width used for centring,
    // also when the height itself is reduced to fit the width.
    const int half = (layout.nameHeight / 3) / 2;
    layout.smallHeight = half * longest > width ? (width / longest) * 2 : layout.nameHeight / 3;
    const int versionY = layout.name.y + layout.nameHeight + kLineGap;
    layout.version = {x + (width - versionBytes * half) / 2, versionY};
    const int noteY = versionBytes > 0 ? versionY + layout.smallHeight + kLineGap : versionY;
    layout.note = {x + (width - noteBytes * half) / 2, noteY};
    return layout;
}

SplashPoint PlaceSplashPicture(int x, int y, int width, int height, int pictureWidth, int pictureHeight)
{
    const int left = x + Larger((width - pictureWidth) / 2, 0);
    int top = y + height / 12;
    if (top + pictureHeight > y + height)
        top = y + Larger((height - pictureHeight) / 2, 0);
    return {left, top};
}

int ContainsDoubleByteChar(const char* text)
{
    const size_t length = strlen(text);
    for (size_t i = 0; i + 1 < length; ++i) {
        if (IsDoubleBytePair(text + i))
            return 1;
    }
    return 0;
}

const char* SplashFaceFor(bool japaneseUi, const char* text)
{
    if (!japaneseUi)
        return kFallbackSplashFace;
    return ContainsDoubleByteChar(text) ? kGothicFace : kJapaneseLatinFace;
}
