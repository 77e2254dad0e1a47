#pragma once
// From a read manifest to the package and to a ready setup.exe: the content
// folder becomes the cabinet's product members, the splash pictures its
// members "$bmp" and "$mask", and the package goes into a copy of the stub as
// resource RCDATA 104.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tools/mkpackage/manifest.h"

namespace mkpackage {

constexpr size_t kMaxMemberNameLength = 255;

// One file of the content folder and the member name it gets.
struct ContentFile {
    std::filesystem::path path;
    std::string memberName;  // '\' between folders, in the manifest's file name encoding
    uint64_t size = 0;
};

// Lists the content folder's files in a stable order (by member name,
// ignoring ASCII letter case). Names that Windows or the cabinet cannot hold,
// names the installer keeps for itself and names that differ only in letter
// case are errors.
bool ScanContent(const std::filesystem::path& folder, FileNameEncoding encoding, std::vector<ContentFile>& files,
                 Diagnostics& diagnostics);

// Checks that a splash bitmap is one the installer can draw: an uncompressed,
// bottom-up BMP file whose pixels start right behind a 40-byte header and its
// colour table. width and height receive its size.
bool CheckSplashBitmap(const std::filesystem::path& file, const std::string& where, int32_t& width, int32_t& height,
                       Diagnostics& diagnostics);

struct BuildSummary {
    size_t files = 0;           // product members
    uint64_t bytes = 0;         // their size, the package's totalInstallBytes
    uint64_t memberBytes = 0;   // every member's size, splash pictures included
    uint64_t cabinetBytes = 0;  // the whole cabinet
    uint64_t packageBytes = 0;
};

// Told how far the work is: a phase name and bytes done of the phase's total;
// 0 bytes done starts a phase that may report no further.
using Progress = std::function<void(const char* phase, uint64_t done, uint64_t total)>;

// Builds the package bytes from the manifest and its files.
bool BuildPackage(const Manifest& manifest, std::vector<uint8_t>& package, BuildSummary& summary,
                  Diagnostics& diagnostics, const Progress& progress = {});

// Builds the package into a file, holding only a block of it at a time: the
// cabinet is written to scratch first, which is removed again.
bool BuildPackage(const Manifest& manifest, const std::filesystem::path& package, const std::filesystem::path& scratch,
                  BuildSummary& summary, Diagnostics& diagnostics, const Progress& progress = {});

// A copy of the stub program with the package as its resource RCDATA 104,
// read back to make sure the resource holds exactly the package.
bool EmbedPackage(const std::vector<uint8_t>& stub, const std::vector<uint8_t>& package, std::vector<uint8_t>& setup,
                  std::string& error);

}  // namespace mkpackage
