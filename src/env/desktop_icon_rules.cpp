#include "env/desktop_icon_rules.h"

#include <cstring>

#include "text/bounded_text.h"
#include "text/little_endian.h"

namespace {

constexpr int32_t kAimOffset = 20;
constexpr int64_t kMouseRange = 65535;
constexpr uint32_t kTextMask = 1;  // LVIF_TEXT

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualBytesNoCase(const char* a, const char* b, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

// Where each field of the record lies, and how wide the pointer-sized ones are.
struct RecordFields {
    size_t size, mask, item, subItem, text, pointerBytes, capacity;
};
constexpr RecordFields kRecordFields32 = {kItemRecordBytes32, 0, 4, 8, 20, 4, 24};
constexpr RecordFields kRecordFields64 = {kItemRecordBytes64, 0, 4, 8, 24, 8, 32};

const RecordFields& FieldsOf(ItemRecordLayout layout)
{
    return layout == ItemRecordLayout::Bits64 ? kRecordFields64 : kRecordFields32;
}

}  // namespace

bool ContainsNoCase(const char* name, const char* text)
{
    if (name == nullptr || name[0] == '\0' || text == nullptr)
        return false;
    const size_t nameLength = strlen(name);
    const size_t textLength = strlen(text);
    for (size_t at = 0; at + nameLength <= textLength; ++at) {
        if (EqualBytesNoCase(text + at, name, nameLength))
            return true;
    }
    return false;
}

int FindMatchingItem(const DesktopItemSource& items, const char* name)
{
    if (name == nullptr)
        return -1;
    int candidate = -1;
    char text[kDesktopItemTextSize];
    for (int i = 0; i < items.count(items.context); ++i) {
        if (!items.text(items.context, i, text))
            continue;
        if (EqualsIgnoringAsciiCase(text, name))
            return i;
        if (ContainsNoCase(name, text))
            candidate = i;
    }
    return candidate;
}

DesktopPoint AimPointOf(DesktopPoint itemPosition)
{
    return {itemPosition.x + kAimOffset, itemPosition.y + kAimOffset};
}

int32_t AbsoluteMouseCoordinate(int32_t position, int32_t screenSize)
{
    if (screenSize <= 0)
        return 0;
    return static_cast<int32_t>(static_cast<int64_t>(position) * kMouseRange / screenSize);
}

uint32_t PackItemPosition(DesktopPoint position)
{
    return (static_cast<uint32_t>(position.x) & 0xFFFF) | ((static_cast<uint32_t>(position.y) & 0xFFFF) << 16);
}

ItemRecordLayout ShellItemRecordLayout(bool engine64Bit, bool engineWow64, bool shellWow64)
{
    const bool system64Bit = engine64Bit || engineWow64;
    return system64Bit && !shellWow64 ? ItemRecordLayout::Bits64 : ItemRecordLayout::Bits32;
}

size_t ItemRecordSize(ItemRecordLayout layout)
{
    return FieldsOf(layout).size;
}

size_t BuildTextRequest(ItemRecordLayout layout, int32_t index, uint64_t textAddress, int32_t capacity,
                        uint8_t (&out)[kMaxItemRecordBytes])
{
    const RecordFields& fields = FieldsOf(layout);
    memset(out, 0, sizeof out);
    if (fields.pointerBytes < 8 && (textAddress >> (8 * fields.pointerBytes)) != 0)
        return 0;
    WriteLittleEndian32(out + fields.mask, kTextMask);
    WriteLittleEndian32(out + fields.item, static_cast<uint32_t>(index));
    WriteLittleEndian32(out + fields.subItem, 0);
    WriteLittleEndian(out + fields.text, textAddress, fields.pointerBytes);
    WriteLittleEndian32(out + fields.capacity, static_cast<uint32_t>(capacity));
    return fields.size;
}
