// The file operations under Wine: whole reads and writes in pieces, seeks,
// and the shared-reading fallback of OpenForReading.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "system/file_ops.h"
#include "tests/e2e/harness/scenario.h"
#include "tests/host/common/random_bytes.h"

namespace {

TEST(FileOps, MoveWholeCountsInPieces)
{
    std::string path = FreshFolder("file-ops") + "\\data.bin";
    std::vector<uint8_t> data = RandomBytes(200003, 11);
    {
        FileHandle file(CreateForWriting(path.c_str()));
        ASSERT_TRUE(file.valid());
        DWORD moved = 0;
        ASSERT_EQ(1, WriteFully(file.get(), data.data(), static_cast<DWORD>(data.size()), &moved));
        EXPECT_EQ(data.size(), moved);
    }
    {
        FileHandle file(OpenForReading(path.c_str()));
        ASSERT_TRUE(file.valid());
        std::vector<uint8_t> read(data.size());
        DWORD moved = 0;
        ASSERT_EQ(1, SeekTo(file.get(), 70000));
        ASSERT_EQ(1, ReadFully(file.get(), read.data(), 100000, &moved));
        EXPECT_EQ(100000u, moved);
        EXPECT_TRUE(std::equal(read.begin(), read.begin() + 100000, data.begin() + 70000));

        // A read past the end moves what there is and fails.
        ASSERT_EQ(1, SeekTo(file.get(), 150000));
        EXPECT_EQ(0, ReadFully(file.get(), read.data(), 100000, &moved));
        EXPECT_EQ(data.size() - 150000, moved);
        EXPECT_EQ(0, SeekTo(file.get(), 0x80000000u));
    }
    // While another handle reads and lets others read, opening falls back to
    // shared reading; while one writes, it fails.
    FileHandle shared(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(shared.valid());
    EXPECT_TRUE(FileHandle(OpenForReading(path.c_str())).valid());
    FileHandle writer(
        CreateFileA((path + "2").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(writer.valid());
    EXPECT_FALSE(FileHandle(OpenForReading((path + "2").c_str())).valid());
}

}  // namespace
