#pragma once
// Decisions of the desktop icon activation that need no system: which icon
// of the desktop's list view carries a name, where the double-click aims,
// the absolute mouse coordinates of a click, and the item record written
// into the shell's process in the layout of that process.
#include <cstddef>
#include <cstdint>

// An item's text is read into this many bytes, its terminator included.
constexpr size_t kDesktopItemTextSize = 1024;

// True when name (not empty) occurs in text, ASCII letter case ignored,
// compared byte by byte from every offset of text.
bool ContainsNoCase(const char* name, const char* text);

// What the desktop's list view tells about its items.
struct DesktopItemSource {
    int (*count)(void* context);
    // The item's text into out, terminated; false when it cannot be read
    // whole (such an item matches nothing).
    bool (*text)(void* context, int index, char (&out)[kDesktopItemTextSize]);
    void* context;
};

// The item that carries name: the first whose text equals it (ASCII letter
// case ignored), else the last whose text contains it; -1 when none. The
// item count is asked again before every item, since the shell may add or
// remove icons meanwhile.
int FindMatchingItem(const DesktopItemSource& items, const char* name);

struct DesktopPoint {
    int32_t x, y;
};

// The double-click lands 20 pixels right and below the item's position,
// inside its icon.
DesktopPoint AimPointOf(DesktopPoint itemPosition);

// A screen position as an absolute mouse coordinate (0 to 65535 across the
// screen); 0 for a screen without size.
int32_t AbsoluteMouseCoordinate(int32_t position, int32_t screenSize);

// The item position as LVM_SETITEMPOSITION takes it: x in the low 16 bits,
// y in the high 16 bits.
uint32_t PackItemPosition(DesktopPoint position);

// The list-view item record (mask, item, sub-item, state, state mask, text
// pointer, text capacity, image, parameter, indent) as a 32-bit or a 64-bit
// process reads it.
enum class ItemRecordLayout { Bits32, Bits64 };

// The shell reads records in its own layout: a 64-bit one on a 64-bit
// system unless the shell runs under WOW64. engine64Bit: this program is a
// 64-bit build; engineWow64, shellWow64: the answers of IsWow64Process
// (false where the system cannot tell).
ItemRecordLayout ShellItemRecordLayout(bool engine64Bit, bool engineWow64, bool shellWow64);

constexpr size_t kItemRecordBytes32 = 40;
constexpr size_t kItemRecordBytes64 = 56;
constexpr size_t kMaxItemRecordBytes = kItemRecordBytes64;

size_t ItemRecordSize(ItemRecordLayout layout);

// A record asking for the text of item index, to be stored at textAddress
// (an address in the shell's process) with room for capacity bytes, into
// out; returns the record's size. 0 when the address does not fit the
// layout's text pointer: a cut address would point anywhere.
size_t BuildTextRequest(ItemRecordLayout layout, int32_t index, uint64_t textAddress, int32_t capacity,
                        uint8_t (&out)[kMaxItemRecordBytes]);
