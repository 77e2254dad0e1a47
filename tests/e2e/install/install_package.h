#pragma once
// Packages for the install scenarios: the settings of both languages, a
// cabinet written with the cabinet writer (or given as raw bytes, for names
// no writer would write), packed with mkpackage's library into a copy of the
// engine.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/e2e/harness/scenario.h"
#include "tools/cabwriter/cab_writer.h"
#include "tools/mkpackage/package_writer.h"

// インストール試験
constexpr char kJapaneseProductName[] = "\x83"
                                        "C\x83\x93\x83X\x83g\x81[\x83\x8B\x8E\x8E\x8C\xB1";

struct ProductSpec {
    std::string englishName = "Install Test";
    std::string japaneseName = kJapaneseProductName;
    std::string installFolder;  // the default folder of both blocks
    int32_t justExec = 0;
    uint32_t osMask = 0xFFFFF;  // both blocks
    // The same in both blocks; texts as bytes of the block's code page.
    std::vector<mkpackage::ShortcutRecord> shortcuts;
    std::vector<mkpackage::CheckRecord> checks;          // both blocks, unless japaneseChecks is given
    std::vector<mkpackage::CheckRecord> japaneseChecks;  // the Japanese block's, when not empty
    std::vector<mkpackage::CommandRecord> installCommands;
    std::vector<mkpackage::CommandRecord> launchCommands;
    std::vector<cabwriter::Member> members;                   // product files and "$bmp", "$mask"
    std::vector<uint8_t> rawCabinet;                          // when not empty, the cabinet instead of members
    std::vector<mkpackage::CommandRecord> uninstallCommands;  // the same in both blocks
};

// Writes setup.exe, a copy of the carrier (the engine, or a setup stub that
// carries the engine) with the package, into folder and returns its path
// (empty on failure, with the test failed).
std::string BuildSetup(const std::string& folder, const ProductSpec& product,
                       const std::string& carrier = EnginePath());

// A member with bytes made from its name (repeated or cut to size when given).
cabwriter::Member MemberOf(const std::string& name, uint16_t attributes = 0x20, int64_t size = -1);

// A cabinet of one stored folder holding the members (name, bytes) as they
// are, whatever their names; no checksums.
std::vector<uint8_t> RawStoredCabinet(const std::vector<std::pair<std::string, std::string>>& members);
