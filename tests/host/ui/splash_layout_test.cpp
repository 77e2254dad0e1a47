#include <gtest/gtest.h>

#include <string>

#include "text/text_scan.h"
#include "ui/splash_layout.h"

namespace {

class CodePage {
public:
    explicit CodePage(unsigned codePage) { UseCodePage(codePage); }
    ~CodePage() { UseCodePage(932); }
};

TEST(GradientRowColour, FirstAndLastRowsAreExact)
{
    for (int height : {2, 3, 600, 768, 1200}) {
        EXPECT_EQ(GradientRowColour(kGradientTop, kGradientBottom, 0, height), (SplashColour{64, 64, 255}));
        EXPECT_EQ(GradientRowColour(kGradientTop, kGradientBottom, height - 1, height), (SplashColour{64, 255, 255}));
    }
}

TEST(GradientRowColour, RowsBetweenRoundToNearest)
{
    // Row 383 of 768: 64 + 383 / 767 * 191 = 159.376, plus one half, cut: 159.
    EXPECT_EQ(GradientRowColour(kGradientTop, kGradientBottom, 383, 768), (SplashColour{64, 159, 255}));
    // Row 1 of 3 lies exactly half-way: 64 + 95.5 + 0.5 = 160.
    EXPECT_EQ(GradientRowColour(kGradientTop, kGradientBottom, 1, 3), (SplashColour{64, 160, 255}));
    // Falling channels work the same way: 255 - 0.5 * 255 + 0.5 = 128.
    EXPECT_EQ(GradientRowColour({255, 0, 10}, {0, 255, 10}, 1, 3), (SplashColour{128, 128, 10}));
    int previousGreen = -1;
    for (int row = 0; row < 768; ++row) {
        const SplashColour colour = GradientRowColour(kGradientTop, kGradientBottom, row, 768);
        EXPECT_EQ(colour.red, 64);
        EXPECT_EQ(colour.blue, 255);
        EXPECT_GE(colour.green, previousGreen);
        previousGreen = colour.green;
    }
}

TEST(GradientRowColour, OneRowHighIsTheTopColour)
{
    EXPECT_EQ(GradientRowColour(kGradientTop, kGradientBottom, 0, 1), kGradientTop);
}

struct TextCase {
    const char* what;
    int x, y, width, height;
    size_t name, version, note;  // byte lengths
    SplashTextLayout layout;
};

const TextCase kTextCases[] = {
    {"Sample Product / Version 1.0 on 1024 x 768",
     0,
     0,
     1024,
     768,
     14,
     11,
     0,
     {true, 73, {256, 64}, true, 24, {446, 157}, {512, 201}}},
    {"empty name: nothing, even with version and note", 0, 0, 1024, 768, 0, 11, 5, {}},
    {"name alone", 0, 0, 1024, 768, 14, 0, 0, {true, 73, {256, 64}, false, 0, {}, {}}},
    {"note takes the version's place when the version is empty",
     0,
     0,
     1024,
     768,
     14,
     0,
     8,
     {true, 73, {256, 64}, true, 24, {512, 157}, {464, 157}}},
    {"version and note", 0, 0, 1024, 768, 14, 11, 20, {true, 73, {256, 64}, true, 24, {446, 157}, {392, 201}}},
    {"a short name is limited by a sixth of the height",
     0,
     0,
     1024,
     300,
     2,
     0,
     0,
     {true, 50, {256, 25}, false, 0, {}, {}}},
    {"odd width: halved before it is doubled", 0, 0, 1023, 768, 14, 0, 0, {true, 73, {255, 64}, false, 0, {}, {}}},
    // half = (100 / 3) / 2 = 16; 30 x 16 > 300, so the height becomes (300 / 30) x 2,
    // but the centring keeps the nominal width and the line starts left of the window.
    {"small lines too wide for the window",
     0,
     0,
     300,
     768,
     3,
     30,
     10,
     {true, 100, {75, 64}, true, 20, {-90, 184}, {70, 224}}},
    {"the rectangle's origin moves everything",
     10,
     20,
     1024,
     768,
     14,
     11,
     0,
     {true, 73, {266, 84}, true, 24, {456, 177}, {522, 221}}},
    {"a name longer than the width gives height 0", 0, 0, 100, 768, 120, 0, 0, {true, 0, {25, 64}, false, 0, {}, {}}},
};

void ExpectLayout(const SplashTextLayout& actual, const SplashTextLayout& expected)
{
    EXPECT_EQ(actual.drawsName, expected.drawsName);
    if (!expected.drawsName)
        return;
    EXPECT_EQ(actual.nameHeight, expected.nameHeight);
    EXPECT_EQ(actual.name, expected.name);
    EXPECT_EQ(actual.drawsSmallLines, expected.drawsSmallLines);
    if (!expected.drawsSmallLines)
        return;
    EXPECT_EQ(actual.smallHeight, expected.smallHeight);
    EXPECT_EQ(actual.version, expected.version);
    EXPECT_EQ(actual.note, expected.note);
}

TEST(LayOutSplashTexts, Cases)
{
    for (const TextCase& c : kTextCases) {
        SCOPED_TRACE(c.what);
        ExpectLayout(LayOutSplashTexts(c.x, c.y, c.width, c.height, c.name, c.version, c.note), c.layout);
    }
}

struct PictureCase {
    const char* what;
    int width, height, pictureWidth, pictureHeight;
    SplashPoint place;
};

const PictureCase kPictureCases[] = {
    {"400 x 300 on 1024 x 768", 1024, 768, 400, 300, {312, 64}},
    {"800 high on 768: centred, but never above the top", 1024, 768, 400, 800, {312, 0}},
    {"just fits below a twelfth of the height", 1024, 768, 400, 704, {312, 64}},
    {"one row more: centred vertically", 1024, 768, 400, 705, {312, 31}},
    {"wider than the window: left edge", 1024, 768, 1100, 300, {0, 64}},
    {"exactly the window", 640, 480, 640, 480, {0, 0}},
};

TEST(PlaceSplashPicture, Cases)
{
    for (const PictureCase& c : kPictureCases)
        EXPECT_EQ(PlaceSplashPicture(0, 0, c.width, c.height, c.pictureWidth, c.pictureHeight), c.place) << c.what;
    EXPECT_EQ(PlaceSplashPicture(5, 7, 1024, 768, 400, 300), (SplashPoint{317, 71}));
}

// "サンプル" and "ＭＳ ゴシック" in Shift-JIS.
const char kJapaneseName[] = "\x83\x54\x83\x93\x83\x76\x83\x8B";
const char kGothic[] = "\x82\x6C\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4E";

struct DoubleByteCase {
    unsigned codePage;
    const char* text;
    int contains;
};

const DoubleByteCase kDoubleByteCases[] = {
    {932, "", 0},
    {932, "Sample Product", 0},
    {932, kJapaneseName, 1},
    {932, "Product \x83\x54", 1},
    {932, "ab\x83", 0},  // a lead byte at the end has no partner
    {932, "\x83 b", 0},  // a space is no trail byte
    {932,
     "\x83"
     "a",
     1},  // 'a' is one
    {1252, kJapaneseName, 0},
};

TEST(ContainsDoubleByteChar, Cases)
{
    for (const DoubleByteCase& c : kDoubleByteCases) {
        CodePage codePage(c.codePage);
        EXPECT_EQ(ContainsDoubleByteChar(c.text), c.contains) << c.codePage << " " << c.text;
    }
}

struct FaceCase {
    bool japaneseUi;
    const char* text;
    std::string face;
};

const FaceCase kFaceCases[] = {
    {true, "Sample Product", "Times New Roman"}, {true, kJapaneseName, kGothic},
    {true, "Version 1.0", "Times New Roman"},  // chosen per line
    {false, "Sample Product", "MS Sans Serif"},  {false, kJapaneseName, "MS Sans Serif"},
};

TEST(SplashFaceFor, Cases)
{
    for (const FaceCase& c : kFaceCases)
        EXPECT_EQ(SplashFaceFor(c.japaneseUi, c.text), c.face) << c.japaneseUi << " " << c.text;
    EXPECT_STREQ(kFallbackSplashFace, "MS Sans Serif");
}

}  // namespace
