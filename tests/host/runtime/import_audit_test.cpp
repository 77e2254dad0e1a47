// The shipped Windows programs must load on every Windows from 95 on: they may
// import only functions that Windows 95's own DLLs export (the list beside
// this file, reviewed by hand), they link no C runtime DLL, and their headers
// ask for nothing a 95 loader does not know.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tools/common/pe_imports.h"

namespace {

const std::string kDistFolder = ENGINE_DIST_DIR;
const char* const kShippedPrograms[] = {"installer.exe", "setup-stub.exe"};

std::vector<uint8_t> ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return text;
}

// "DLL function" per line; '#' starts a comment. DLL names compare without case.
std::set<std::string> AllowedImports()
{
    std::ifstream in(std::string(ENGINE_SOURCE_DIR) + "/tests/host/runtime/windows95_imports.txt");
    std::set<std::string> allowed;
    std::string line;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream fields(line);
        std::string dll, function;
        if (fields >> dll >> function)
            allowed.insert(Upper(dll) + " " + function);
    }
    return allowed;
}

class ShippedProgram : public testing::TestWithParam<const char*> {
protected:
    std::vector<uint8_t> Image()
    {
        const std::string path = kDistFolder + "/" + GetParam();
        std::vector<uint8_t> image = ReadWholeFile(path);
        EXPECT_FALSE(image.empty()) << path << " is missing: build the Windows tree (make) first";
        return image;
    }

    // The program's instructions, one line each, as objdump prints them.
    std::vector<std::string> Disassembly()
    {
        const std::string path = kDistFolder + "/" + GetParam();
        EXPECT_FALSE(ReadWholeFile(path).empty()) << path << " is missing";
        const std::string command = "i686-w64-mingw32-objdump -d --no-show-raw-insn '" + path + "'";
        std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
        std::vector<std::string> lines;
        char line[1024];
        while (pipe != nullptr && fgets(line, sizeof line, pipe.get()) != nullptr) {
            if (strstr(line, ":\t") != nullptr)
                lines.emplace_back(line);
        }
        return lines;
    }
};

TEST_P(ShippedProgram, ImportsOnlyWhatWindows95Exports)
{
    const std::set<std::string> allowed = AllowedImports();
    ASSERT_GT(allowed.size(), 100u);
    std::vector<pe::Import> imports;
    std::string error;
    const std::vector<uint8_t> image = Image();
    ASSERT_TRUE(pe::ReadImports(image, imports, error)) << error;
    ASSERT_FALSE(imports.empty());
    for (const pe::Import& import : imports)
        EXPECT_TRUE(allowed.count(Upper(import.dll) + " " + import.function))
            << GetParam() << " imports " << import.dll << " " << import.function << ", which is not on the list";
}

TEST_P(ShippedProgram, HeadersSuitWindows95)
{
    pe::LoaderFacts facts;
    std::string error;
    ASSERT_TRUE(pe::ReadLoaderFacts(Image(), facts, error)) << error;
    EXPECT_FALSE(facts.is64);
    EXPECT_EQ(facts.subsystem, 2) << "a Windows GUI program";
    EXPECT_EQ(facts.majorSubsystemVersion, 4);
    EXPECT_EQ(facts.minorSubsystemVersion, 0);
    EXPECT_FALSE(facts.hasTlsDirectory) << "thread-local data needs a loader newer than 95's for DLL-less callbacks";
}

// No instruction may use the SSE registers: the first Pentium and its
// contemporaries have none.
TEST_P(ShippedProgram, NeedsNoSse)
{
    const std::vector<std::string> instructions = Disassembly();
    ASSERT_GT(instructions.size(), 1000u) << "the disassembly was read";
    for (const std::string& instruction : instructions)
        EXPECT_EQ(instruction.find("%xmm"), std::string::npos) << instruction;
}

// A frame larger than the stack's guard page could skip it, and the thread
// would fault instead of growing its stack: every frame above 3.5 KiB (room
// left for the arguments pushed below it) must be allocated through the stack
// probe (size in EAX, then a call), never by subtracting a constant from ESP.
TEST_P(ShippedProgram, EveryLargeFrameProbesTheStack)
{
    const std::regex constantFrame(R"(\bsub\s+\$0x([0-9a-f]+),%esp)");
    size_t frames = 0;
    for (const std::string& instruction : Disassembly()) {
        std::smatch match;
        if (!std::regex_search(instruction, match, constantFrame))
            continue;
        ++frames;
        EXPECT_LE(std::stoul(match[1].str(), nullptr, 16), 3584u) << instruction;
    }
    EXPECT_GT(frames, 0u) << "the disassembly was read";
}

// The engine stays within 64 KiB, and the stub adds at most 16 KiB to the
// engine it carries.
TEST(ShippedSizes, EngineAndStubStayWithinTheirBudgets)
{
    const size_t engine = ReadWholeFile(kDistFolder + "/installer.exe").size();
    const size_t setup = ReadWholeFile(kDistFolder + "/setup-stub.exe").size();
    ASSERT_GT(engine, 0u) << "installer.exe is missing";
    ASSERT_GT(setup, engine) << "setup-stub.exe is missing or carries no engine";
    EXPECT_LE(engine, 65536u);
    EXPECT_LE(setup - engine, 16384u);
}

std::string ProgramName(const testing::TestParamInfo<const char*>& info)
{
    std::string name;
    for (const char* p = info.param; *p != '.'; ++p)
        name.push_back(*p == '-' ? '_' : *p);
    return name;
}

INSTANTIATE_TEST_SUITE_P(Shipped, ShippedProgram, testing::ValuesIn(kShippedPrograms), ProgramName);

}  // namespace
