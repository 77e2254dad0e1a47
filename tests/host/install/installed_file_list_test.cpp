#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "install/installed_file_list.h"
#include "install/registration_rules.h"
#include "tests/host/common/shift_jis.h"
#include "text/text_scan.h"

namespace {

// A registry key of values in their order, with counters of what was asked.
struct FakeKey {
    std::vector<std::pair<std::string, std::string>> values;  // name, data
    size_t reads = 0;
    size_t writes = 0;
    bool refuseWrites = false;
};

ListedValue ReadValue(void* context, uint32_t index, char* data, size_t size)
{
    auto& key = *static_cast<FakeKey*>(context);
    ++key.reads;
    if (index >= key.values.size())
        return ListedValue::End;
    const std::string& value = key.values[index].second;
    if (value.size() >= size)
        return ListedValue::Other;
    memcpy(data, value.c_str(), value.size() + 1);
    return ListedValue::Text;
}

bool WriteValue(void* context, const char* name, const char* data)
{
    auto& key = *static_cast<FakeKey*>(context);
    ++key.writes;
    if (key.refuseWrites)
        return false;
    for (auto& value : key.values) {
        if (value.first == name) {
            value.second = data;
            return true;
        }
    }
    key.values.emplace_back(name, data);
    return true;
}

// malloc, with a budget after which every request fails.
struct Budget {
    size_t requestsLeft = SIZE_MAX;
};

void* Allocate(void* context, size_t size)
{
    auto& budget = *static_cast<Budget*>(context);
    if (budget.requestsLeft == 0)
        return nullptr;
    --budget.requestsLeft;
    return malloc(size);
}

void* Resize(void* context, void* block, size_t size)
{
    auto& budget = *static_cast<Budget*>(context);
    if (budget.requestsLeft == 0)
        return nullptr;
    --budget.requestsLeft;
    return realloc(block, size);
}

void Release(void*, void* block)
{
    free(block);
}

class Recorder {
public:
    explicit Recorder(FakeKey& key, size_t allocations = SIZE_MAX) : store_{ReadValue, WriteValue, &key}
    {
        budget_.requestsLeft = allocations;
        list_.memory = {Allocate, Resize, Release, &budget_};
    }
    ~Recorder() { FreeInstalledFileList(list_); }
    RecordOutcome Record(const std::string& name) { return RecordListedFile(list_, store_, name.c_str()); }

private:
    Budget budget_;
    InstalledFileList list_{};
    FileListStore store_;
};

using Values = std::vector<std::pair<std::string, std::string>>;

// What a walk over the whole stored list for every file leaves behind: the
// result the recorder must reproduce.
Values ListedByFullWalk(Values values, const std::vector<std::string>& names)
{
    auto fold = [](std::string text) {
        for (char& c : text)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return text;
    };
    for (const std::string& name : names) {
        bool listed = false;
        for (const auto& value : values)
            listed = listed || fold(value.second) == fold(name);
        if (!listed) {
            char valueName[kFileValueNameSize];
            FormatFileValueName(valueName, static_cast<uint32_t>(values.size()));
            values.emplace_back(valueName, name);
        }
    }
    return values;
}

TEST(InstalledFileList, NamesAreNumberedDenselyFromZero)
{
    UseCodePage(1252);
    FakeKey key;
    Recorder recorder(key);
    EXPECT_EQ(recorder.Record("readme.txt"), RecordOutcome::Appended);
    EXPECT_EQ(recorder.Record("bin\\tool.exe"), RecordOutcome::Appended);
    EXPECT_EQ(recorder.Record("data\\deep\\table.dat"), RecordOutcome::Appended);
    EXPECT_EQ(
        key.values,
        (Values{{"file00000", "readme.txt"}, {"file00001", "bin\\tool.exe"}, {"file00002", "data\\deep\\table.dat"}}));
}

TEST(InstalledFileList, NamesInAnotherLetterCaseAreListedOnce)
{
    UseCodePage(1252);
    FakeKey key;
    Recorder recorder(key);
    const std::vector<std::string> names = {"Readme.TXT", "readme.txt",    "BIN\\Tool.exe",
                                            "README.txt", "bin\\tool.EXE", "other.txt"};
    std::vector<RecordOutcome> outcomes;
    for (const std::string& name : names)
        outcomes.push_back(recorder.Record(name));
    EXPECT_EQ(outcomes, (std::vector<RecordOutcome>{RecordOutcome::Appended, RecordOutcome::AlreadyListed,
                                                    RecordOutcome::Appended, RecordOutcome::AlreadyListed,
                                                    RecordOutcome::AlreadyListed, RecordOutcome::Appended}));
    EXPECT_EQ(key.values, ListedByFullWalk({}, names));
    EXPECT_EQ(key.values[0].second, "Readme.TXT") << "the first spelling is the one listed";
}

TEST(InstalledFileList, ReinstallKeepsEarlierEntriesAndAppendsOnlyNewNames)
{
    UseCodePage(1252);
    const Values earlier = {{"file00000", "readme.txt"}, {"file00001", "bin\\old.dll"}, {"file00002", "BIN\\TOOL.EXE"}};
    FakeKey key{earlier};
    Recorder recorder(key);
    const std::vector<std::string> names = {"readme.txt", "bin\\tool.exe", "bin\\new.dll", "docs\\guide.txt",
                                            "Bin\\New.dll"};
    for (const std::string& name : names)
        recorder.Record(name);
    EXPECT_EQ(key.values, (Values{{"file00000", "readme.txt"},
                                  {"file00001", "bin\\old.dll"},
                                  {"file00002", "BIN\\TOOL.EXE"},
                                  {"file00003", "bin\\new.dll"},
                                  {"file00004", "docs\\guide.txt"}}));
    EXPECT_EQ(key.values, ListedByFullWalk(earlier, names));
}

// The stored list is read once per run, not once per file.
TEST(InstalledFileList, StoredListIsReadOnceWhateverItsLength)
{
    UseCodePage(1252);
    Values earlier;
    for (int i = 0; i < 2000; ++i)
        earlier.emplace_back("file" + std::to_string(i), "old\\file" + std::to_string(i) + ".txt");
    FakeKey key{earlier};
    Recorder recorder(key);
    for (int i = 0; i < 3000; ++i)
        recorder.Record("new\\file" + std::to_string(i) + ".txt");
    EXPECT_EQ(key.reads, earlier.size() + 1);
    EXPECT_EQ(key.writes, 3000u);
    EXPECT_EQ(key.values.size(), 5000u);
}

TEST(InstalledFileList, SixthDigitFromTheHundredThousandthFile)
{
    UseCodePage(1252);
    Values earlier;
    for (int i = 0; i < 99999; ++i) {
        char name[kFileValueNameSize];
        FormatFileValueName(name, static_cast<uint32_t>(i));
        earlier.emplace_back(name, "f" + std::to_string(i));
    }
    FakeKey key{earlier};
    Recorder recorder(key);
    recorder.Record("last-of-five-digits");
    recorder.Record("f17");
    recorder.Record("first-of-six-digits");
    recorder.Record("next");
    ASSERT_EQ(key.values.size(), 100002u);
    EXPECT_EQ(key.values[99999], (std::pair<std::string, std::string>{"file99999", "last-of-five-digits"}));
    EXPECT_EQ(key.values[100000], (std::pair<std::string, std::string>{"file100000", "first-of-six-digits"}));
    EXPECT_EQ(key.values[100001], (std::pair<std::string, std::string>{"file100001", "next"}));
}

// Values that are not the recorder's own still count for the numbering, and
// data too long to be read is no listed name.
TEST(InstalledFileList, ForeignAndOverlongValuesCountButNeverMatch)
{
    UseCodePage(1252);
    const std::string huge(kStoredDataSize + 10, 'h');
    FakeKey key{{{"note", "a.txt"}, {"blob", huge}}};
    Recorder recorder(key);
    EXPECT_EQ(recorder.Record("A.TXT"), RecordOutcome::AlreadyListed);
    EXPECT_EQ(recorder.Record(huge), RecordOutcome::Failed) << "no member name is that long";
    EXPECT_EQ(recorder.Record("b.txt"), RecordOutcome::Appended);
    EXPECT_EQ(key.values.back(), (std::pair<std::string, std::string>{"file00002", "b.txt"}));
}

// Only single-byte letters fold: in Shift-JIS the characters 83 41 and 83 61
// differ only in a trail byte that looks like a letter, and name different
// files.
TEST(InstalledFileList, TrailBytesOfJapaneseNamesAreNoLetters)
{
    UseCodePage(932);
    const std::string a = ToShiftJis("ア.txt");  // 83 41
    const std::string other = "\x83\x61.txt";    // the same bytes with the trail in small letters
    ASSERT_EQ(a.substr(0, 2), "\x83\x41");
    FakeKey key;
    Recorder recorder(key);
    EXPECT_EQ(recorder.Record(a), RecordOutcome::Appended);
    EXPECT_EQ(recorder.Record(other), RecordOutcome::Appended);
    EXPECT_EQ(recorder.Record(ToShiftJis("ア.TXT")), RecordOutcome::AlreadyListed);
    EXPECT_EQ(key.values.size(), 2u);
}

TEST(InstalledFileList, RefusedWriteIsRetriedUnderTheSameNumber)
{
    UseCodePage(1252);
    FakeKey key;
    Recorder recorder(key);
    recorder.Record("a.txt");
    key.refuseWrites = true;
    EXPECT_EQ(recorder.Record("b.txt"), RecordOutcome::Failed);
    key.refuseWrites = false;
    EXPECT_EQ(recorder.Record("c.txt"), RecordOutcome::Appended);
    EXPECT_EQ(recorder.Record("b.txt"), RecordOutcome::Appended);
    EXPECT_EQ(key.values, (Values{{"file00000", "a.txt"}, {"file00001", "c.txt"}, {"file00002", "b.txt"}}));
}

TEST(InstalledFileList, EmptyAndOverlongNamesAreRefused)
{
    UseCodePage(1252);
    FakeKey key;
    Recorder recorder(key);
    EXPECT_EQ(recorder.Record(""), RecordOutcome::Failed);
    EXPECT_EQ(recorder.Record(std::string(kListedNameSize, 'x')), RecordOutcome::Failed);
    EXPECT_EQ(recorder.Record(std::string(kListedNameSize - 1, 'x')), RecordOutcome::Appended);
    EXPECT_EQ(key.values.size(), 1u);
}

// Without memory for the set the list is walked for every file, with the
// same result.
TEST(InstalledFileList, WithoutMemoryTheResultIsTheSame)
{
    UseCodePage(1252);
    const Values earlier = {{"file00000", "keep.txt"}, {"file00001", "Dup.txt"}};
    std::vector<std::string> names;
    for (int i = 0; i < 600; ++i)
        names.push_back("dir\\name" + std::to_string(i % 500) + (i % 3 ? ".txt" : ".TXT"));
    names.push_back("DUP.TXT");
    names.push_back("keep.txt");
    const Values expected = ListedByFullWalk(earlier, names);
    for (size_t allocations : {size_t(0), size_t(1), size_t(2), size_t(5)}) {
        FakeKey key{earlier};
        Recorder recorder(key, allocations);
        for (const std::string& name : names)
            recorder.Record(name);
        EXPECT_EQ(key.values, expected) << allocations << " allocations";
    }
}

}  // namespace
