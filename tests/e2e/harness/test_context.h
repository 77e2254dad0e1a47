#pragma once
// What the Wine tests ask about the running test and the system's folders.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

// The running test's name, fit for a folder name: the "/" of a
// parameterised test's name becomes "-".
inline std::string TestName()
{
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '-');
    return name;
}

// A Programs folder (CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS) as the shell reports it.
inline std::string ProgramsFolder(int csidl)
{
    char path[MAX_PATH] = "";
    EXPECT_TRUE(SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE)) << csidl;
    return path;
}
