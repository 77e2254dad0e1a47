// The cabinet reader on fixtures laid out byte by byte: header checks,
// checksums, names, the handler's answers, folders, sets and their failures.
#include <gtest/gtest.h>

#include "package/cab/cab_decoder.h"
#include "tests/host/cab/cab_builder.h"
#include "tests/host/cab/cab_harness.h"
#include "tests/host/cab/memory_files.h"

namespace {

using enum CabNotificationType;
using Members = std::vector<std::pair<std::string, std::vector<uint8_t>>>;

CopyOutcome Copy(const RawCabinet& cabinet, const HandlerScript& script = {})
{
    memfs::Reset();
    memfs::Put("test.cab", BuildCabinet(cabinet));
    return RunCopy("test.cab", "", script);
}

std::vector<CabNotificationType> Types(const CopyOutcome& outcome)
{
    std::vector<CabNotificationType> types;
    for (const CabEvent& e : outcome.events) {
        types.push_back(e.type);
    }
    return types;
}

void ExpectFailure(const CopyOutcome& outcome, CabError code)
{
    EXPECT_EQ(outcome.result, 0);
    EXPECT_EQ(outcome.errors.failed, 1);
    EXPECT_STREQ(CabErrorName(outcome.errors.code), CabErrorName(int(code)));
    EXPECT_EQ(outcome.openHandles, 0);
    EXPECT_EQ(outcome.liveAllocations, 0);
}

const Members kTwoMembers = {{"a.txt", Pattern(1000, 1)}, {"dir\\b.bin", Pattern(70000, 2)}};

TEST(CabDecoder, WritesEveryMemberInOrderOfItsEntries)
{
    const CopyOutcome outcome = Copy(StoredCabinet(kTwoMembers, 32768));
    ASSERT_EQ(outcome.result, 1);
    EXPECT_EQ(outcome.written.at("a.txt"), kTwoMembers[0].second);
    EXPECT_EQ(outcome.written.at("dir\\b.bin"), kTwoMembers[1].second);
    EXPECT_EQ(Types(outcome),
              (std::vector<CabNotificationType>{CabinetInfo, CopyMember, CloseFileInfo, CopyMember, CloseFileInfo}));
    EXPECT_EQ(outcome.openHandles, 0);
    EXPECT_EQ(outcome.liveAllocations, 0);
}

// Versions other than 1.3 are refused by both entry points, with the
// version (major << 8 | minor) as detail.
TEST(CabDecoder, RefusesOtherVersionsWithTheVersionAsDetail)
{
    struct Case {
        uint8_t major, minor;
    };
    for (const Case& c : {Case{1, 2}, Case{1, 4}, Case{2, 3}}) {
        RawCabinet cabinet = StoredCabinet(kTwoMembers);
        cabinet.versionMajor = c.major;
        cabinet.versionMinor = c.minor;
        const int version = c.major << 8 | c.minor;

        const CopyOutcome copied = Copy(cabinet);
        ExpectFailure(copied, CabError::UnsupportedVersion);
        EXPECT_EQ(copied.errors.detail, version);
        EXPECT_TRUE(copied.written.empty());

        CabErrorRecord errors = {};
        CabDecoder* decoder = CreateCabDecoder(memfs::Allocate, memfs::Free, memfs::Open, memfs::Read, memfs::Write,
                                               memfs::Close, memfs::Seek, 1, &errors);
        const intptr_t handle = memfs::Open("test.cab", kCabOpenReadOnly | kCabOpenBinary, 0);
        CabinetSummary summary = {};
        EXPECT_EQ(IsCabinetFile(decoder, handle, &summary), 0);
        EXPECT_EQ(errors.code, int(CabError::UnsupportedVersion));
        EXPECT_EQ(errors.detail, version);
        memfs::Close(handle);
        DestroyCabDecoder(decoder);
    }
}

TEST(CabDecoder, IsCabinetFileSummarisesTheHeader)
{
    RawCabinet cabinet = StoredCabinet(kTwoMembers);
    cabinet.setId = 0xBEEF;
    cabinet.index = 3;
    cabinet.reserveFlag = true;
    cabinet.headerReserve = {1, 2, 3};
    cabinet.hasPrevious = true;
    cabinet.previousName = "p.cab";
    cabinet.hasNext = true;
    cabinet.nextName = "n.cab";
    const std::vector<uint8_t> bytes = BuildCabinet(cabinet);
    memfs::Reset();
    memfs::Put("test.cab", bytes);
    memfs::Put("short.cab", std::vector<uint8_t>(bytes.begin(), bytes.begin() + 35));
    memfs::Put("other.bin", std::vector<uint8_t>(64, 'M'));

    CabErrorRecord errors = {};
    CabDecoder* decoder = CreateCabDecoder(memfs::Allocate, memfs::Free, memfs::Open, memfs::Read, memfs::Write,
                                           memfs::Close, memfs::Seek, 1, &errors);
    ASSERT_NE(decoder, nullptr);
    intptr_t handle = memfs::Open("test.cab", kCabOpenReadOnly, 0);
    CabinetSummary s = {};
    EXPECT_EQ(IsCabinetFile(decoder, handle, &s), 1);
    EXPECT_EQ(s.cabinetSize, int32_t(bytes.size()));
    EXPECT_EQ(s.folderCount, 1);
    EXPECT_EQ(s.fileCount, 2);
    EXPECT_EQ(s.setId, 0xBEEF);
    EXPECT_EQ(s.cabinetIndex, 3);
    EXPECT_EQ(s.hasReserve, 1);
    EXPECT_EQ(s.hasPrevious, 1);
    EXPECT_EQ(s.hasNext, 2);
    EXPECT_EQ(memfs::Seek(handle, 0, kCabSeekCurrent), 36) << "the handle stays behind the header";
    memfs::Close(handle);
    for (const char* file : {"short.cab", "other.bin"}) {
        handle = memfs::Open(file, kCabOpenReadOnly, 0);
        EXPECT_EQ(IsCabinetFile(decoder, handle, &s), 0) << file;
        memfs::Close(handle);
    }
    EXPECT_EQ(errors.failed, 0) << "not being a cabinet stores no code";
    EXPECT_EQ(DestroyCabDecoder(decoder), 1);
    EXPECT_EQ(memfs::LiveAllocations(), 0);
}

TEST(CabDecoder, ChecksZeroSkipsWrongFails)
{
    struct Case {
        bool checksum;
        uint32_t flip;
        int result;
    };
    for (const Case& c : {Case{false, 0, 1}, Case{true, 0, 1}, Case{true, 0x100, 0}, Case{true, 1, 0}}) {
        RawCabinet cabinet = StoredCabinet(kTwoMembers, 32768);
        for (RawBlock& b : cabinet.folders[0].blocks) {
            b.checksum = c.checksum;
        }
        cabinet.folders[0].blocks[1].checksumXor = c.flip;
        const CopyOutcome outcome = Copy(cabinet);
        EXPECT_EQ(outcome.result, c.result) << "checksum " << c.checksum << " flip " << c.flip;
        if (c.result == 0) {
            ExpectFailure(outcome, CabError::CorruptCabinet);
            EXPECT_EQ(outcome.written.count("a.txt"), 1u) << "the member before the bad block stays";
        }
    }
}

// The checksum covers the data reserve too (it belongs to the block header).
TEST(CabDecoder, ChecksumCoversTheDataReserve)
{
    RawCabinet cabinet = StoredCabinet(kTwoMembers, 32768);
    cabinet.reserveFlag = true;
    cabinet.dataReserveSize = 5;
    for (RawBlock& b : cabinet.folders[0].blocks) {
        b.reserve = {9, 8, 7, 6, 5};
    }
    std::vector<uint8_t> bytes = BuildCabinet(cabinet);
    memfs::Reset();
    memfs::Put("test.cab", bytes);
    EXPECT_EQ(RunCopy("test.cab").result, 1);
    // The first block's reserve follows its 8 header bytes at the folder's data offset.
    const size_t firstBlock = bytes.size() - 70000 - 1000 - 3 * (8 + 5);
    bytes[firstBlock + 8] ^= 1;
    memfs::Put("test.cab", bytes);
    ExpectFailure(RunCopy("test.cab"), CabError::CorruptCabinet);
}

TEST(CabDecoder, AcceptsNamesOf255BytesRefuses256)
{
    const std::string name255(255, 'n');
    CopyOutcome outcome = Copy(StoredCabinet({{name255, Pattern(10, 3)}}));
    EXPECT_EQ(outcome.result, 1);
    EXPECT_EQ(outcome.written.count(name255), 1u);

    outcome = Copy(StoredCabinet({{name255 + "n", Pattern(10, 3)}}));
    ExpectFailure(outcome, CabError::CorruptCabinet);
    EXPECT_TRUE(outcome.written.empty());
}

TEST(CabDecoder, HandlerAnsweringZeroSkipsEveryMember)
{
    HandlerScript script;
    script.skipAll = true;
    const CopyOutcome outcome = Copy(StoredCabinet(kTwoMembers), script);
    EXPECT_EQ(outcome.result, 1);
    EXPECT_EQ(outcome.errors.failed, 0);
    EXPECT_TRUE(outcome.written.empty());
    EXPECT_EQ(Types(outcome), (std::vector<CabNotificationType>{CabinetInfo, CopyMember, CopyMember}));
}

TEST(CabDecoder, EmptyMemberGetsBothNotificationsAndAnEmptyFile)
{
    const CopyOutcome outcome = Copy(StoredCabinet({{"empty", {}}, {"x", Pattern(5, 4)}, {"also-empty", {}}}));
    ASSERT_EQ(outcome.result, 1);
    EXPECT_EQ(Types(outcome), (std::vector<CabNotificationType>{CabinetInfo, CopyMember, CloseFileInfo, CopyMember,
                                                                CloseFileInfo, CopyMember, CloseFileInfo}));
    EXPECT_TRUE(outcome.written.at("empty").empty());
    EXPECT_TRUE(outcome.written.at("also-empty").empty());
    EXPECT_EQ(outcome.written.at("x"), Pattern(5, 4));
}

// A folder of empty members needs no data blocks at all.
TEST(CabDecoder, FolderWithoutBlocksServesEmptyMembers)
{
    RawCabinet cabinet = StoredCabinet({{"e1", {}}, {"e2", {}}});
    ASSERT_TRUE(cabinet.folders[0].blocks.empty());
    const CopyOutcome outcome = Copy(cabinet);
    EXPECT_EQ(outcome.result, 1);
    EXPECT_EQ(outcome.written.size(), 2u);
}

TEST(CabDecoder, MinusOneFromTheHandlerAborts)
{
    struct Case {
        CabNotificationType type;
        size_t written;  // members on disk when the copy stops
    };
    for (const Case& c : {Case{CabinetInfo, 0}, Case{CopyMember, 0}, Case{CloseFileInfo, 0}}) {
        HandlerScript script;
        script.abortOn = int(c.type);
        const CopyOutcome outcome = Copy(StoredCabinet(kTwoMembers), script);
        ExpectFailure(outcome, CabError::UserAbort);
        EXPECT_EQ(outcome.written.size(), c.written);
        EXPECT_EQ(outcome.events.back().type, c.type);
    }
}

TEST(CabDecoder, TargetFileWhenTheCloseIsRefusedOrAWriteComesUpShort)
{
    HandlerScript refuse;
    refuse.closeAnswer = 0;
    ExpectFailure(Copy(StoredCabinet(kTwoMembers), refuse), CabError::TargetFile);

    memfs::Reset();
    memfs::Put("test.cab", BuildCabinet(StoredCabinet(kTwoMembers)));
    memfs::LimitWrittenBytes(1500);
    const CopyOutcome outcome = RunCopy("test.cab");
    ExpectFailure(outcome, CabError::TargetFile);
    EXPECT_EQ(outcome.written.count("a.txt"), 1u);
    EXPECT_EQ(outcome.events.back().type, CopyMember) << "no close notice for the failed member";
}

TEST(CabDecoder, RunAfterExtractBitBecomesTheCloseNoticesSize)
{
    RawCabinet cabinet = StoredCabinet({{"run.exe", Pattern(3, 5)}, {"plain", Pattern(3, 6)}});
    cabinet.files[0].attributes = 0x40 | 0x21;
    cabinet.files[1].attributes = 0x80 | 0x02;
    const CopyOutcome outcome = Copy(cabinet);
    ASSERT_EQ(outcome.result, 1);
    std::vector<std::pair<int32_t, uint16_t>> closes;
    for (const CabEvent& e : outcome.events) {
        if (e.type == CloseFileInfo) {
            closes.emplace_back(e.size, e.attributes);
        }
    }
    EXPECT_EQ(closes, (std::vector<std::pair<int32_t, uint16_t>>{{1, 0x21}, {0, 0x82}}));
}

RawCabinet TwoFolders(uint16_t secondType)
{
    RawCabinet cabinet = StoredCabinet({{"first", Pattern(100, 7)}});
    RawFolder second = StoredFolder(Pattern(50, 8));
    second.compressionType = secondType;
    cabinet.folders.push_back(second);
    RawFile file;
    file.name = "second";
    file.size = 50;
    file.folderIndex = 1;
    cabinet.files.push_back(file);
    return cabinet;
}

TEST(CabDecoder, UnknownCompressionFailsAtTheFolderAfterEarlierMembers)
{
    for (uint16_t type : {uint16_t(3), uint16_t(0x0F), uint16_t(0x1203)}) {
        const CopyOutcome outcome = Copy(TwoFolders(type));
        ExpectFailure(outcome, CabError::BadCompressionType);
        EXPECT_EQ(outcome.written.count("first"), 1u) << type;
        EXPECT_EQ(outcome.written.count("second"), 0u) << type;
    }
    // A folder that claims type 15 itself, first in its cabinet.
    RawCabinet cabinet = StoredCabinet({{"only", Pattern(10, 9)}});
    cabinet.folders[0].compressionType = 0x0F;
    ExpectFailure(Copy(cabinet), CabError::BadCompressionType);
}

TEST(CabDecoder, QuantumWindowOutsideTenToTwentyOneBitsFails)
{
    for (int bits : {9, 22}) {
        ExpectFailure(Copy(TwoFolders(uint16_t(2 | bits << 8))), CabError::DecompressFail);
    }
}

TEST(CabDecoder, StoredBlockWhoseSizesDifferFails)
{
    RawCabinet cabinet = StoredCabinet({{"a", Pattern(100, 10)}});
    cabinet.folders[0].blocks[0].uncompressedSize = 99;
    cabinet.files[0].size = 99;
    ExpectFailure(Copy(cabinet), CabError::DecompressFail);
}

TEST(CabDecoder, BlockOverTheBlockSizeIsCorrupt)
{
    RawCabinet cabinet = StoredCabinet({{"a", Pattern(100, 10)}});
    cabinet.folders[0].blocks[0].uncompressedSize = 40000;
    ExpectFailure(Copy(cabinet), CabError::CorruptCabinet);
}

// Members of a folder come in increasing order; one whose data lies before
// the block already decoded would need a seek backwards.
TEST(CabDecoder, MemberBeforeTheCurrentBlockIsCorrupt)
{
    RawCabinet cabinet = StoredCabinet({{"late", Pattern(300, 11)}}, 100);
    RawFile early;
    early.name = "early";
    early.size = 10;
    early.offset = 20;
    cabinet.files[0].offset = 150;
    cabinet.files[0].size = 10;
    cabinet.files.push_back(early);
    CopyOutcome outcome = Copy(cabinet);
    ExpectFailure(outcome, CabError::CorruptCabinet);
    EXPECT_EQ(outcome.written.count("late"), 1u);

    // Within the decoded block any order is fine.
    cabinet.files[0].offset = 50;
    outcome = Copy(cabinet);
    EXPECT_EQ(outcome.result, 1);
    const std::vector<uint8_t> data = Pattern(300, 11);
    EXPECT_EQ(outcome.written.at("early"), std::vector<uint8_t>(data.begin() + 20, data.begin() + 30));
}

TEST(CabDecoder, MemberPastTheFoldersEndIsCorrupt)
{
    RawCabinet cabinet = StoredCabinet({{"a", Pattern(100, 12)}});
    cabinet.files[0].size = 101;
    ExpectFailure(Copy(cabinet), CabError::CorruptCabinet);
    cabinet.files[0].size = 10;
    cabinet.files[0].offset = 0xFFFFFFF8u;  // offset + size passes 4 GiB
    ExpectFailure(Copy(cabinet), CabError::CorruptCabinet);
}

TEST(CabDecoder, AllocationFailuresAreReportedAndLeaveNothingBehind)
{
    const std::vector<uint8_t> bytes = BuildCabinet(StoredCabinet(kTwoMembers));
    int failures = 0;
    int allowed = 0;
    for (;; ++allowed) {
        memfs::Reset();
        memfs::Put("test.cab", bytes);
        memfs::FailAllocationsAfter(allowed);
        const CopyOutcome outcome = RunCopy("test.cab");
        if (outcome.result == 1) {
            break;
        }
        EXPECT_EQ(outcome.errors.code, int(CabError::AllocFail)) << allowed;
        EXPECT_EQ(outcome.liveAllocations, 0) << allowed;
        EXPECT_EQ(outcome.openHandles, 0) << allowed;
        ++failures;
    }
    // The decoder, three reserve buffers and the two block buffers.
    EXPECT_EQ(failures, 6);
}

TEST(CabDecoder, DecryptionHookSeesEveryReserveAreaAndCanAbort)
{
    RawCabinet cabinet = StoredCabinet(kTwoMembers, 32768);
    cabinet.reserveFlag = true;
    cabinet.headerReserve = {0xA1, 0xA2};
    cabinet.folderReserveSize = 3;
    cabinet.dataReserveSize = 1;
    cabinet.folders[0].reserve = {0xF1, 0xF2, 0xF3};
    for (size_t i = 0; i < cabinet.folders[0].blocks.size(); ++i) {
        cabinet.folders[0].blocks[i].reserve = {uint8_t(0xD0 + i)};
    }
    HandlerScript script;
    script.decrypt = true;
    CopyOutcome outcome = Copy(cabinet, script);
    ASSERT_EQ(outcome.result, 1);
    ASSERT_EQ(outcome.decryptCalls.size(), 5u);
    EXPECT_EQ(outcome.decryptCalls[0].kind, DecryptCabinetOpened);
    EXPECT_EQ(outcome.decryptCalls[0].reserve, (std::vector<uint8_t>{0xA1, 0xA2}));
    EXPECT_EQ(outcome.decryptCalls[1].kind, DecryptFolderEntry);
    EXPECT_EQ(outcome.decryptCalls[1].reserve, (std::vector<uint8_t>{0xF1, 0xF2, 0xF3}));
    for (size_t i = 2; i < 5; ++i) {
        EXPECT_EQ(outcome.decryptCalls[i].kind, DecryptDataBlock);
        EXPECT_EQ(outcome.decryptCalls[i].reserve, (std::vector<uint8_t>{uint8_t(0xD0 + i - 2)}));
    }
    EXPECT_EQ(outcome.written.at("dir\\b.bin"), kTwoMembers[1].second);

    script.abortDecryptKind = DecryptDataBlock;
    ExpectFailure(Copy(cabinet, script), CabError::UserAbort);
}

// A three-cabinet set: one stored block of 300 bytes split over all three
// (the first two parts have uncompressed size 0), members A, B and C in it,
// and the last cabinet's own member D in a folder of its own.
struct SetOptions {
    std::string secondName = "set2.cab";  // as named inside the first cabinet
    uint16_t secondSetId = 0x1234;
    uint8_t secondDataReserve = 0;
};

std::vector<uint8_t> SetData()
{
    return Pattern(300, 20);
}
const std::vector<std::pair<uint32_t, uint32_t>> kSetMembers = {{0, 100}, {100, 150}, {250, 50}};

void PutSet(const SetOptions& options = {})
{
    memfs::Reset();
    const std::vector<uint8_t> data = SetData();
    const std::vector<std::pair<size_t, size_t>> parts = {{0, 120}, {120, 200}, {200, 300}};
    const uint16_t folderIndices[3] = {0xFFFE, 0xFFFF, 0xFFFD};
    for (uint16_t i = 0; i < 3; ++i) {
        RawCabinet c;
        c.index = i;
        c.setId = i == 1 ? options.secondSetId : 0x1234;
        if (i == 1 && options.secondDataReserve != 0) {
            c.reserveFlag = true;
            c.dataReserveSize = options.secondDataReserve;
        }
        c.hasPrevious = i > 0;
        c.previousName = "set" + std::to_string(i) + ".cab";
        c.previousDisk = "disk " + std::to_string(i);
        c.hasNext = i < 2;
        c.nextName = i == 0 ? options.secondName : "set" + std::to_string(i + 2) + ".cab";
        c.nextDisk = "disk " + std::to_string(i + 2);
        RawBlock part;
        part.data.assign(data.begin() + long(parts[i].first), data.begin() + long(parts[i].second));
        part.uncompressedSize = i == 2 ? 300 : 0;
        RawFolder folder;
        folder.blocks.push_back(part);
        c.folders.push_back(folder);
        const char* names[3] = {"A", "B", "C"};
        for (int m = 0; m < 3; ++m) {
            RawFile f;
            f.name = names[m];
            f.offset = kSetMembers[m].first;
            f.size = kSetMembers[m].second;
            f.folderIndex = folderIndices[i];
            c.files.push_back(f);
        }
        if (i == 2) {
            c.folders.push_back(StoredFolder(Pattern(40, 21)));
            RawFile d;
            d.name = "D";
            d.size = 40;
            d.folderIndex = 1;
            c.files.push_back(d);
        }
        memfs::Put("set" + std::to_string(i + 1) + ".cab", BuildCabinet(c));
    }
}

std::vector<uint8_t> SetMember(int m)
{
    const std::vector<uint8_t> data = SetData();
    return {data.begin() + kSetMembers[m].first, data.begin() + kSetMembers[m].first + kSetMembers[m].second};
}

std::vector<int32_t> NextCabinetErrors(const CopyOutcome& outcome)
{
    std::vector<int32_t> errors;
    for (const CabEvent& e : outcome.events) {
        if (e.type == NextCabinet) {
            errors.push_back(e.lastError);
        }
    }
    return errors;
}

TEST(CabSet, FirstCabinetsCopyFollowsTheSetForContinuedMembers)
{
    PutSet();
    const CopyOutcome outcome = RunCopy("set1.cab");
    ASSERT_EQ(outcome.result, 1) << CabErrorName(outcome.errors.code);
    EXPECT_EQ(outcome.written.at("A"), SetMember(0));
    EXPECT_EQ(outcome.written.at("B"), SetMember(1));
    EXPECT_EQ(outcome.written.at("C"), SetMember(2));
    EXPECT_EQ(outcome.written.count("D"), 0u) << "the last cabinet's own member is left to its copy";
    EXPECT_EQ(NextCabinetErrors(outcome), (std::vector<int32_t>{0, 0}));
    EXPECT_EQ(outcome.openHandles, 0);
    EXPECT_EQ(outcome.liveAllocations, 0);
}

// Skipped members that continue are passed over in every later cabinet, not
// only the first one the data moves into.
TEST(CabSet, SkippedContinuingMembersArePassedOverInEveryCabinet)
{
    for (const std::set<std::string>& only :
         {std::set<std::string>{"B"}, std::set<std::string>{"C"}, std::set<std::string>{"A", "C"}}) {
        PutSet();
        HandlerScript script;
        script.only = only;
        const CopyOutcome outcome = RunCopy("set1.cab", "", script);
        ASSERT_EQ(outcome.result, 1) << CabErrorName(outcome.errors.code);
        EXPECT_EQ(outcome.written.size(), only.size());
        for (int m = 0; m < 3; ++m) {
            const std::string name(1, char('A' + m));
            if (only.count(name)) {
                EXPECT_EQ(outcome.written.at(name), SetMember(m)) << name;
            }
        }
    }
}

TEST(CabSet, LaterCabinetReportsContinuedMembersAsPartial)
{
    PutSet();
    const CopyOutcome outcome = RunCopy("set3.cab");
    ASSERT_EQ(outcome.result, 1);
    EXPECT_EQ(Types(outcome), (std::vector<CabNotificationType>{CabinetInfo, PartialFile, PartialFile, PartialFile,
                                                                CopyMember, CloseFileInfo}));
    EXPECT_EQ(outcome.written.size(), 1u);
    EXPECT_EQ(outcome.written.at("D"), Pattern(40, 21));
}

TEST(CabSet, MissingNextCabinetIsRetriedThreeTimesThenFails)
{
    PutSet({"gone.cab"});
    const CopyOutcome outcome = RunCopy("set1.cab");
    ExpectFailure(outcome, CabError::CabinetNotFound);
    const int notFound = int(CabError::CabinetNotFound);
    EXPECT_EQ(NextCabinetErrors(outcome), (std::vector<int32_t>{0, notFound, notFound}));
    EXPECT_TRUE(outcome.written.empty());
}

TEST(CabSet, HandlerCanNameTheNextCabinet)
{
    PutSet({"gone.cab"});
    HandlerScript script;
    script.nextNames["gone.cab"] = "set2.cab";
    const CopyOutcome outcome = RunCopy("set1.cab", "", script);
    EXPECT_EQ(outcome.result, 1);
    EXPECT_EQ(outcome.written.size(), 3u);
}

TEST(CabSet, NextCabinetOfAnotherSetOrReserveFails)
{
    PutSet({"set2.cab", 0x4321});
    CopyOutcome outcome = RunCopy("set1.cab");
    ExpectFailure(outcome, CabError::WrongCabinet);
    const int wrong = int(CabError::WrongCabinet);
    EXPECT_EQ(NextCabinetErrors(outcome), (std::vector<int32_t>{0, wrong, wrong}));

    PutSet({"set2.cab", 0x1234, 4});
    ExpectFailure(RunCopy("set1.cab"), CabError::ReserveMismatch);
}

TEST(CabSet, AbortAtNextCabinetStopsAtOnce)
{
    PutSet();
    HandlerScript script;
    script.abortOn = int(NextCabinet);
    const CopyOutcome outcome = RunCopy("set1.cab", "", script);
    ExpectFailure(outcome, CabError::UserAbort);
    EXPECT_EQ(NextCabinetErrors(outcome).size(), 1u);
}

TEST(CabSet, ClaimingANextCabinetWithoutANameIsCorrupt)
{
    PutSet({""});
    const CopyOutcome outcome = RunCopy("set1.cab");
    ExpectFailure(outcome, CabError::CorruptCabinet);
    EXPECT_TRUE(NextCabinetErrors(outcome).empty());
}

TEST(CabSet, DataRunningOutWithoutANextCabinetIsCorrupt)
{
    RawCabinet cabinet = StoredCabinet({{"a", Pattern(100, 22)}});
    cabinet.folders[0].blocks[0].uncompressedSize = 0;  // "continues" in a cabinet it never names
    cabinet.files[0].folderIndex = 0xFFFE;
    ExpectFailure(Copy(cabinet), CabError::CorruptCabinet);
}

}  // namespace
