#include "install/installed_file_list.h"

#include <cstring>

#include "install/registration_rules.h"
#include "text/text_scan.h"

namespace {

constexpr uint32_t kFirstSlotCount = 1024;
constexpr size_t kFirstNamesSize = 16384;

// ASCII capitals to small letters, stepping over double-byte characters,
// whose trail bytes may look like letters. False when the name does not fit.
bool FoldName(const char* name, char (&folded)[kListedNameSize])
{
    const size_t length = strlen(name);
    if (length >= kListedNameSize)
        return false;
    for (size_t i = 0; i < length; ++i) {
        if (i + 1 < length && IsDoubleBytePair(name + i)) {
            folded[i] = name[i];
            folded[i + 1] = name[i + 1];
            ++i;
            continue;
        }
        const char c = name[i];
        folded[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    folded[length] = '\0';
    return true;
}

// FNV-1a over the folded bytes.
uint32_t HashOf(const char* folded)
{
    uint32_t hash = 2166136261u;
    for (; *folded != '\0'; ++folded)
        hash = (hash ^ static_cast<uint8_t>(*folded)) * 16777619u;
    return hash;
}

// The slot that holds folded, or the empty slot where it would go.
uint32_t FindSlot(const InstalledFileList& list, const char* folded)
{
    const uint32_t mask = list.slotCount - 1;
    uint32_t slot = HashOf(folded) & mask;
    while (list.slots[slot] != 0 && strcmp(list.names + list.slots[slot] - 1, folded) != 0)
        slot = (slot + 1) & mask;
    return slot;
}

bool Contains(const InstalledFileList& list, const char* folded)
{
    return list.slotCount != 0 && list.slots[FindSlot(list, folded)] != 0;
}

bool GrowSlots(InstalledFileList& list)
{
    const uint32_t newCount = list.slotCount == 0 ? kFirstSlotCount : list.slotCount * 2;
    if (newCount <= list.slotCount)
        return false;
    auto* newSlots = static_cast<uint32_t*>(list.memory.allocate(list.memory.context, newCount * sizeof(uint32_t)));
    if (newSlots == nullptr)
        return false;
    memset(newSlots, 0, newCount * sizeof(uint32_t));
    uint32_t* oldSlots = list.slots;
    const uint32_t oldCount = list.slotCount;
    list.slots = newSlots;
    list.slotCount = newCount;
    for (uint32_t i = 0; i < oldCount; ++i) {
        if (oldSlots[i] != 0)
            list.slots[FindSlot(list, list.names + oldSlots[i] - 1)] = oldSlots[i];
    }
    if (oldSlots != nullptr)
        list.memory.release(list.memory.context, oldSlots);
    return true;
}

bool MakeRoomForName(InstalledFileList& list, size_t bytes)
{
    if (list.namesSize - list.namesUsed >= bytes)
        return true;
    size_t newSize = list.namesSize == 0 ? kFirstNamesSize : list.namesSize;
    while (newSize - list.namesUsed < bytes)
        newSize *= 2;
    // Offsets are kept in 32 bits, one more than the offset.
    if (newSize >= 0xFFFFFFFFu)
        return false;
    void* block = list.names == nullptr ? list.memory.allocate(list.memory.context, newSize)
                                        : list.memory.resize(list.memory.context, list.names, newSize);
    if (block == nullptr)
        return false;
    list.names = static_cast<char*>(block);
    list.namesSize = newSize;
    return true;
}

// Adds a folded name that is not in the set yet. False when memory ran out.
bool AddName(InstalledFileList& list, const char* folded)
{
    if ((list.nameCount + 1) * 2 > list.slotCount && !GrowSlots(list))
        return false;
    const size_t bytes = strlen(folded) + 1;
    if (!MakeRoomForName(list, bytes))
        return false;
    memcpy(list.names + list.namesUsed, folded, bytes);
    list.slots[FindSlot(list, folded)] = static_cast<uint32_t>(list.namesUsed + 1);
    list.namesUsed += bytes;
    ++list.nameCount;
    return true;
}

void LoseSet(InstalledFileList& list)
{
    FreeInstalledFileList(list);
    list.setLost = true;
}

// Walks the stored values once. Counts them; with found given, tells whether
// one equals folded; with the set kept, adds every listed name to it.
uint32_t WalkStore(InstalledFileList& list, const FileListStore& store, const char* folded, bool* found)
{
    uint32_t index = 0;
    for (;; ++index) {
        char data[kStoredDataSize + 1];
        const ListedValue value = store.read(store.context, index, data, sizeof data);
        if (value == ListedValue::End)
            return index;
        char foldedData[kListedNameSize];
        if (value != ListedValue::Text || !FoldName(data, foldedData))
            continue;
        if (found != nullptr && strcmp(foldedData, folded) == 0) {
            *found = true;
            return index;
        }
        if (!list.setLost && !Contains(list, foldedData) && !AddName(list, foldedData))
            LoseSet(list);
    }
}

bool WriteEntry(const FileListStore& store, uint32_t number, const char* memberName)
{
    char valueName[kFileValueNameSize];
    FormatFileValueName(valueName, number);
    return store.write(store.context, valueName, memberName);
}

}  // namespace

RecordOutcome RecordListedFile(InstalledFileList& list, const FileListStore& store, const char* memberName)
{
    char folded[kListedNameSize];
    if (memberName[0] == '\0' || !FoldName(memberName, folded))
        return RecordOutcome::Failed;
    if (list.setLost) {
        bool found = false;
        const uint32_t count = WalkStore(list, store, folded, &found);
        if (found)
            return RecordOutcome::AlreadyListed;
        return WriteEntry(store, count, memberName) ? RecordOutcome::Appended : RecordOutcome::Failed;
    }
    if (!list.loaded) {
        list.valueCount = WalkStore(list, store, folded, nullptr);
        list.loaded = true;
        if (list.setLost)
            return RecordListedFile(list, store, memberName);
    }
    if (Contains(list, folded))
        return RecordOutcome::AlreadyListed;
    if (!WriteEntry(store, list.valueCount, memberName))
        return RecordOutcome::Failed;
    ++list.valueCount;
    if (!AddName(list, folded))
        LoseSet(list);
    return RecordOutcome::Appended;
}

void FreeInstalledFileList(InstalledFileList& list)
{
    if (list.slots != nullptr)
        list.memory.release(list.memory.context, list.slots);
    if (list.names != nullptr)
        list.memory.release(list.memory.context, list.names);
    list.slots = nullptr;
    list.names = nullptr;
    list.slotCount = list.nameCount = 0;
    list.namesUsed = list.namesSize = 0;
    list.loaded = false;
    list.setLost = false;
    list.valueCount = 0;
}
