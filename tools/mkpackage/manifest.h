#pragma once
// The product manifest: a JSON file with the settings of both languages, the
// content folder, the splash pictures and the compression. Reading it checks
// every limit of the package format, so that a manifest that reads without
// errors always gives a package the installer accepts.
#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/mkpackage/package_writer.h"
#include "tools/mkpackage/text_conversion.h"

namespace mkpackage {

// Errors and warnings, each naming the manifest field or file it concerns. A
// shared setting is checked for both languages; its error is kept once.
struct Diagnostics {
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
    void Error(const std::string& where, const std::string& what) { Add(errors, where + ": " + what); }
    void Warning(const std::string& where, const std::string& what) { Add(warnings, where + ": " + what); }

private:
    static void Add(std::vector<std::string>& list, const std::string& message)
    {
        if (std::find(list.begin(), list.end(), message) == list.end())
            list.push_back(message);
    }
};

enum class FileNameEncoding { kAscii, kShiftJis, kWindows1252 };

struct SplashFiles {
    std::filesystem::path picture;
    std::filesystem::path mask;
};

// What setup.exe tells about itself besides the package (UTF-8 texts).
struct SetupDetails {
    std::string publisher;                               // empty: none
    std::optional<std::array<uint16_t, 4>> fileVersion;  // "fileVersion": "1.2.3.4"
    std::optional<std::filesystem::path> icon;           // resolved against the manifest's folder
    std::string englishName, englishVersion;             // productName and productVersion as written
    std::string japaneseName, japaneseVersion;
};

struct Manifest {
    std::filesystem::path content;      // resolved against the manifest's folder
    std::optional<SplashFiles> splash;  // resolved likewise
    uint16_t compressionType = 1;       // cabinet folder compression (MSZIP)
    FileNameEncoding fileNameEncoding = FileNameEncoding::kAscii;
    SettingsBlock japanese;  // texts in Shift-JIS
    SettingsBlock english;   // texts in Windows-1252
    SetupDetails setup;
};

// Paths from and to the UTF-8 texts of the manifest and of messages.
std::filesystem::path PathFromUtf8(const std::string& utf8);
std::string PathText(const std::filesystem::path& path);

// The path's text in double quotes, for messages.
std::string Quote(const std::filesystem::path& path);

// The text with ASCII letters in lower case; nothing else changes.
std::string LowerAscii(std::string text);

// The whole content of a file.
bool ReadWholeFile(const std::filesystem::path& file, std::vector<uint8_t>& bytes);

// What makes a UTF-8 text unusable as one file name (and as a registry key
// name), or an empty text when it is usable.
std::string FileNameProblem(const std::string& name);

// Windows version names of the "osMask" lists and the mask bits they stand for.
struct OsName {
    const char* name;
    uint32_t mask;
    const char* meaning;
};
extern const OsName kOsNames[];
extern const size_t kOsNameCount;

// Compression names of "compression" and of the --compression option; false
// for an unknown name.
bool CompressionTypeByName(const std::string& name, uint16_t& type);

// The compression of a cabinet folder type as the summary names it, such as
// "quantum (2 MiB window, level 4)".
std::string CompressionDescription(uint16_t type);

// Parses manifest text. Relative paths are taken from baseFolder. False when
// diagnostics holds errors; out is complete only then.
bool ParseManifest(const std::string& text, const std::filesystem::path& baseFolder, Manifest& out,
                   Diagnostics& diagnostics);

// Reads and parses the manifest file.
bool ReadManifest(const std::filesystem::path& file, Manifest& out, Diagnostics& diagnostics);

}  // namespace mkpackage
