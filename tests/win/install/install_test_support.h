#pragma once
// Helpers of the Windows tests of the install step: cabinets written with the
// cabinet writer, a fresh folder per test, and what the file system reports.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/e2e/harness/scenario.h"
#include "tools/cabwriter/cab_writer.h"

inline std::vector<uint8_t> BytesOf(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

constexpr size_t kNaturalSize = static_cast<size_t>(-1);

// A member with bytes made from its name, so that every file's content
// differs; with a size, the bytes are repeated or cut to it.
inline cabwriter::Member MemberOf(const std::string& name, uint16_t attributes = 0x20, size_t size = kNaturalSize)
{
    cabwriter::Member member;
    member.name = name;
    std::string data = "content of " + name + "\n";
    if (size != kNaturalSize) {
        while (data.size() < size)
            data += data;
        data.resize(size);
    }
    member.data = BytesOf(data);
    member.attributes = attributes;
    member.date = (21 << 9) | (2 << 5) | 3;  // 2001-02-03
    member.time = (4 << 11) | (5 << 5) | 3;  // 04:05:06
    return member;
}

inline std::string ContentOf(const cabwriter::Member& member)
{
    return std::string(member.data.begin(), member.data.end());
}

// Writes the members as a cabinet at path.
inline void WriteCabinet(const std::string& path, const std::vector<cabwriter::Member>& members,
                         uint16_t compressionType = cabwriter::kTypeMszip)
{
    cabwriter::Options options;
    options.compressionType = compressionType;
    cabwriter::CabWriter writer(options);
    for (const cabwriter::Member& member : members)
        writer.AddMember(member);
    std::vector<uint8_t> cabinet;
    std::string error;
    ASSERT_TRUE(writer.Write(cabinet, &error)) << error;
    ASSERT_TRUE(WriteFileBytes(path, std::string(cabinet.begin(), cabinet.end())));
}

// The running test's name, fit for a folder name.
inline std::string TestName()
{
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : name) {
        if (c == '/')
            c = '-';
    }
    return name;
}

inline DWORD AttributesOf(const std::string& path)
{
    return GetFileAttributesA(path.c_str());
}

inline ULONGLONG Ticks(const FILETIME& time)
{
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

inline ULONGLONG NowTicks()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return Ticks(now);
}

inline bool ReadFileTimes(const std::string& path, FILETIME& creation, FILETIME& lastWrite)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return false;
    creation = data.ftCreationTime;
    lastWrite = data.ftLastWriteTime;
    return true;
}
