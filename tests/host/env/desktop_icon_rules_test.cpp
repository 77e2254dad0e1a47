#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "env/desktop_icon_rules.h"

namespace {

struct ContainsCase {
    const char* name;
    const char* text;
    bool contained;
};

const ContainsCase kContainsCases[] = {
    {"Viewer", "Viewer", true},
    {"viewer", "Sample VIEWER", true},
    {"Sample", "sample viewer (2)", true},
    {"er (2)", "Sample Viewer (2)", true},  // at the very end
    {"Viewer", "Viewe", false},             // text shorter than the name
    {"Viewer", "Vi ewer", false},
    {"", "anything", false},  // an empty name is in no text
    {"", "", false},
    {nullptr, "anything", false},
    {"a", "", false},
    {"\x83\x41", "x\x83\x61", true},  // ASCII case folding applies to every byte
    {"\xE9", "\xC9", false},          // only ASCII letters fold
    {"[", "{", false},
};

TEST(ContainsNoCase, Cases)
{
    for (const ContainsCase& c : kContainsCases)
        EXPECT_EQ(ContainsNoCase(c.name, c.text), c.contained) << (c.name ? c.name : "(null)") << " in " << c.text;
}

// A list view's texts, counted by how often the search asked for the count.
struct FakeItems {
    std::vector<std::string> texts;
    std::vector<bool> unreadable;
    int countQueries = 0;
    int shrinkAfter = -1;  // from this query on, the last item is gone
};

int CountOf(void* context)
{
    auto& items = *static_cast<FakeItems*>(context);
    ++items.countQueries;
    if (items.shrinkAfter >= 0 && items.countQueries > items.shrinkAfter && !items.texts.empty())
        items.texts.pop_back();
    return static_cast<int>(items.texts.size());
}

bool TextOf(void* context, int index, char (&out)[kDesktopItemTextSize])
{
    auto& items = *static_cast<FakeItems*>(context);
    if (index < static_cast<int>(items.unreadable.size()) && items.unreadable[index])
        return false;
    const std::string& text = items.texts.at(static_cast<size_t>(index));
    if (text.size() >= sizeof out)
        return false;
    memcpy(out, text.c_str(), text.size() + 1);
    return true;
}

int Find(FakeItems& items, const char* name)
{
    const DesktopItemSource source = {CountOf, TextOf, &items};
    return FindMatchingItem(source, name);
}

struct MatchCase {
    const char* label;
    std::vector<std::string> texts;
    const char* name;
    int index;
};

const MatchCase kMatchCases[] = {
    {"exact", {"Recycle Bin", "Sample", "Other"}, "Sample", 1},
    {"exact in another case", {"Recycle Bin", "SAMPLE"}, "sample", 1},
    {"exact wins over an earlier containing text", {"Sample (2)", "Sample", "Sample (3)"}, "Sample", 1},
    {"exact wins over a later containing text", {"x", "sample", "My Sample"}, "Sample", 1},
    {"first exact of two", {"Sample", "sample"}, "Sample", 0},
    {"last containing text", {"Sample (2)", "x", "Sample (3)", "y"}, "Sample", 2},
    {"first item as the only containing text", {"Sample - Shortcut", "a", "b"}, "Sample", 0},
    {"containing text in any case", {"a", "MY SAMPLE"}, "Sample", 1},
    {"nothing", {"Recycle Bin", "Samp le"}, "Sample", -1},
    {"empty list", {}, "Sample", -1},
    {"empty name, empty text", {"Sample", "", "x"}, "", 1},
    {"empty name, no empty text", {"Sample", "x"}, "", -1},
    {"null name", {"Sample", ""}, nullptr, -1},
};

TEST(FindMatchingItem, Rules)
{
    for (const MatchCase& c : kMatchCases) {
        FakeItems items{c.texts};
        EXPECT_EQ(Find(items, c.name), c.index) << c.label;
    }
}

TEST(FindMatchingItem, UnreadableItemsMatchNothing)
{
    FakeItems items{{"Sample", "Sample (2)", std::string(kDesktopItemTextSize, 'S')}, {true, false, false}};
    EXPECT_EQ(Find(items, "Sample"), 1);
    items.unreadable = {true, true};
    EXPECT_EQ(Find(items, "Sample"), -1);
}

TEST(FindMatchingItem, AsksForTheCountBeforeEveryItem)
{
    FakeItems items{{"a", "b", "c", "Sample"}};
    EXPECT_EQ(Find(items, "none"), -1);
    EXPECT_EQ(items.countQueries, 5);

    // The item that was there when the search began is gone by the time it
    // would be read: it is neither read nor chosen.
    FakeItems shrinking{{"a", "b", "Sample"}};
    shrinking.shrinkAfter = 2;
    EXPECT_EQ(Find(shrinking, "Sample"), -1);
}

TEST(AimPoint, TwentyPixelsIntoTheIcon)
{
    const struct {
        DesktopPoint item, aim;
    } cases[] = {{{0, 0}, {20, 20}}, {{5, 100}, {25, 120}}, {{-30, -5}, {-10, 15}}, {{1004, 748}, {1024, 768}}};
    for (const auto& c : cases) {
        const DesktopPoint aim = AimPointOf(c.item);
        EXPECT_EQ(aim.x, c.aim.x);
        EXPECT_EQ(aim.y, c.aim.y);
    }
}

TEST(AbsoluteMouseCoordinate, OnA1024By768Screen)
{
    const struct {
        int32_t position, size, coordinate;
    } cases[] = {
        {0, 1024, 0},
        {20, 1024, 1279},
        {512, 1024, 32767},
        {1023, 1024, 65471},
        {1024, 1024, 65535},
        {0, 768, 0},
        {20, 768, 1706},
        {384, 768, 32767},
        {767, 768, 65449},
        {-20, 1024, -1279},  // truncated towards zero
        {100, 0, 0},
        {100, -5, 0},            // a screen without size
        {40000, 1024, 2559960},  // no overflow for far positions
    };
    for (const auto& c : cases)
        EXPECT_EQ(AbsoluteMouseCoordinate(c.position, c.size), c.coordinate) << c.position << " of " << c.size;
}

TEST(PackItemPosition, XLowYHigh)
{
    EXPECT_EQ(PackItemPosition({0, 0}), 0u);
    EXPECT_EQ(PackItemPosition({0x12, 0x34}), 0x00340012u);
    EXPECT_EQ(PackItemPosition({1023, 767}), 0x02FF03FFu);
    EXPECT_EQ(PackItemPosition({-1, 2}), 0x0002FFFFu);
}

TEST(ShellItemRecordLayout, FollowsTheShellsProcess)
{
    const struct {
        bool engine64, engineWow64, shellWow64;
        ItemRecordLayout layout;
    } cases[] = {
        {false, false, false, ItemRecordLayout::Bits32},  // 32-bit system
        {false, true, false, ItemRecordLayout::Bits64},   // 32-bit engine, 64-bit shell
        {false, true, true, ItemRecordLayout::Bits32},    // 32-bit engine, 32-bit shell on 64-bit Windows
        {true, false, false, ItemRecordLayout::Bits64},   // 64-bit engine, 64-bit shell
        {true, false, true, ItemRecordLayout::Bits32},    // 64-bit engine, 32-bit shell
    };
    for (const auto& c : cases)
        EXPECT_EQ(ShellItemRecordLayout(c.engine64, c.engineWow64, c.shellWow64), c.layout)
            << c.engine64 << c.engineWow64 << c.shellWow64;
}

std::vector<uint8_t> Request(ItemRecordLayout layout, int32_t index, uint64_t address, int32_t capacity)
{
    uint8_t record[kMaxItemRecordBytes];
    memset(record, 0xCC, sizeof record);
    const size_t size = BuildTextRequest(layout, index, address, capacity, record);
    EXPECT_EQ(size, ItemRecordSize(layout));
    return std::vector<uint8_t>(record, record + size);
}

TEST(BuildTextRequest, ThirtyTwoBitLayoutByteByByte)
{
    const std::vector<uint8_t> expected = {
        0x01, 0,    0,    0,                 // mask: text
        0x07, 0x01, 0,    0,                 // item 263
        0,    0,    0,    0,                 // sub-item
        0,    0,    0,    0,    0, 0, 0, 0,  // state, state mask
        0x28, 0x30, 0x5B, 0x02,              // text pointer 0x025B3028
        0x00, 0x04, 0,    0,                 // capacity 1024
        0,    0,    0,    0,    0, 0, 0, 0,  // image, parameter
        0,    0,    0,    0,                 // indent
    };
    EXPECT_EQ(ItemRecordSize(ItemRecordLayout::Bits32), 40u);
    EXPECT_EQ(Request(ItemRecordLayout::Bits32, 263, 0x025B3028, 1024), expected);
}

TEST(BuildTextRequest, SixtyFourBitLayoutByteByByte)
{
    const std::vector<uint8_t> expected = {
        0x01, 0,    0,    0,                             // mask: text
        0x02, 0,    0,    0,                             // item 2
        0,    0,    0,    0,                             // sub-item
        0,    0,    0,    0,    0,    0,    0,    0,     // state, state mask
        0,    0,    0,    0,                             // alignment of the pointer
        0x38, 0x00, 0x3A, 0x00, 0x00, 0x00, 0x00, 0x00,  // text pointer 0x3A0038, all eight bytes
        0x00, 0x04, 0,    0,                             // capacity 1024
        0,    0,    0,    0,                             // image
        0,    0,    0,    0,    0,    0,    0,    0,     // parameter
        0,    0,    0,    0,    0,    0,    0,    0,     // indent, alignment
    };
    EXPECT_EQ(ItemRecordSize(ItemRecordLayout::Bits64), 56u);
    EXPECT_EQ(Request(ItemRecordLayout::Bits64, 2, 0x3A0038, 1024), expected);
    const std::vector<uint8_t> high = Request(ItemRecordLayout::Bits64, 0, 0x00007FF8'12345678ull, 1024);
    EXPECT_EQ(std::vector<uint8_t>(high.begin() + 24, high.begin() + 32),
              (std::vector<uint8_t>{0x78, 0x56, 0x34, 0x12, 0xF8, 0x7F, 0, 0}));
}

TEST(BuildTextRequest, AddressBeyondThirtyTwoBitsIsRefused)
{
    uint8_t record[kMaxItemRecordBytes];
    EXPECT_EQ(BuildTextRequest(ItemRecordLayout::Bits32, 0, 0x1'00000000ull, 1024, record), 0u);
    EXPECT_EQ(BuildTextRequest(ItemRecordLayout::Bits32, 0, 0xFFFFFFFFull, 1024, record), 40u);
}

}  // namespace
