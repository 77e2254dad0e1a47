#pragma once
// Writes a package: both settings blocks, their scrambled texts, the
// scrambled cabinet and the trailer. Texts are byte strings already in the
// code page of their block.
#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace mkpackage {

struct ShortcutRecord {
    std::string linkName;
    std::string target;
};

struct CheckRecord {
    int32_t kind = 0;
    std::string subject;
    std::string message;
};

struct CommandRecord {
    std::string commandLine;
    int32_t wait = 0;
};

// One language's settings as the block stores them.
struct SettingsBlock {
    std::string productName;
    std::string productVersion;
    std::string splashNote;
    std::string installFolder;
    std::string reservedText;
    int32_t osMask = 0;
    int32_t reservedValue = 0;
    int32_t justExec = 0;
    int32_t okIfNotAdmin = 0;
    std::vector<ShortcutRecord> shortcuts;
    std::vector<CheckRecord> checks;
    std::vector<CommandRecord> installCommands;
    std::vector<CommandRecord> uninstallCommands;
    std::vector<CommandRecord> launchCommands;
};

struct PackageContents {
    SettingsBlock japanese;
    SettingsBlock english;
    uint32_t totalInstallBytes = 0;
    std::vector<uint8_t> cabinet;  // the cabinet file, unscrambled
};

// The package bytes. Fails (false, error set) when a text is longer than the
// format allows or the package would reach the 2 GiB offset limit.
bool WritePackage(const PackageContents& contents, std::vector<uint8_t>& package, std::string& error);

// The same package written to a stream, its cabinet (cabinetSize bytes,
// contents.cabinet unused) read from another and scrambled a chunk at a time.
bool WritePackage(const PackageContents& contents, std::istream& cabinet, uint64_t cabinetSize, std::ostream& package,
                  std::string& error);

// Packages are read and written in chunks of this size.
constexpr size_t kStreamChunk = 64 * 1024;

}  // namespace mkpackage
