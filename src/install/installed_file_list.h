#pragma once
// The list of installed files that the uninstaller removes: one value per
// file, named "file00000", "file00001", ... in the order the files were
// installed, each holding the member name. A name already listed in another
// letter case is not listed again. A re-install keeps the earlier entries and
// appends the new names behind them.
//
// Looking a name up in the stored list would cost a pass over the whole list
// per file. Instead the list is read once, at the first file of a run, and its
// names (letter case folded) are kept in a hash set for the rest of the run:
// every further file costs one look-up and at most one write. Should memory
// run out, each file is looked up in the stored list itself, with the same
// outcome.
#include <cstddef>
#include <cstdint>

constexpr size_t kListedNameSize = 512;   // member names: 511 bytes and a terminator
constexpr size_t kStoredDataSize = 2048;  // what is read of one stored value's data

// What the store holds at an index of its values.
enum class ListedValue {
    Text,   // a value; its data went to the caller's buffer (kStoredDataSize + 1 bytes), zero-terminated
    Other,  // a value whose data is longer than kStoredDataSize: counted, never equal to a name
    End,    // no value at this index or beyond
};

// The stored list (the registry key, or a fake one in tests).
struct FileListStore {
    ListedValue (*read)(void* context, uint32_t index, char* data, size_t size);
    bool (*write)(void* context, const char* valueName, const char* data);
    void* context;
};

// Growable memory for the name set (the process heap; malloc in tests).
struct NameSetMemory {
    void* (*allocate)(void* context, size_t size);
    void* (*resize)(void* context, void* block, size_t size);  // null on failure, block kept
    void (*release)(void* context, void* block);
    void* context;
};

// The run's copy of the stored list: zero-initialise with the memory set.
struct InstalledFileList {
    NameSetMemory memory;
    bool loaded;          // the store has been read once
    bool setLost;         // memory ran out: every file is looked up in the store
    uint32_t valueCount;  // values the store holds: the number of the next one
    uint32_t* slots;      // open addressing: 0 empty, else offset into names + 1
    uint32_t slotCount;   // a power of two, at least twice nameCount
    uint32_t nameCount;
    char* names;  // the folded names, each zero-terminated
    size_t namesUsed;
    size_t namesSize;
};

enum class RecordOutcome { Appended, AlreadyListed, Failed };

// Lists memberName unless it is listed already (ASCII letter case ignored;
// trail bytes of double-byte characters are no letters). Failed when the name
// is empty or too long, or the store refused the write.
RecordOutcome RecordListedFile(InstalledFileList& list, const FileListStore& store, const char* memberName);

// Gives back the set's memory; the list starts over from the store.
void FreeInstalledFileList(InstalledFileList& list);
