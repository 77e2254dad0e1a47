#pragma once
// What setup.exe tells Windows about itself besides the package: the
// application manifest (the rights it asks for, DPI awareness, the systems
// it knows), the version resource the shell shows, and the icon. They are
// written into the copy of the stub together with the package.
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/common/pe_resources.h"
#include "tools/mkpackage/manifest.h"

namespace mkpackage {

constexpr uint16_t kApplicationManifestId = 1;  // the manifest Windows reads when it starts a program
constexpr uint16_t kVersionResourceId = 1;

// The texts of one language's version string table, UTF-8.
struct VersionTexts {
    std::string productName;
    std::string productVersion;
    std::string fileDescription;
    std::string publisher;
};

struct SetupIdentity {
    bool requireAdministrator = true;
    VersionTexts english, japanese;
    std::optional<std::array<uint16_t, 4>> fileVersion;  // also the numeric product version
    std::vector<uint8_t> icon;                           // an ICO file; empty: the stub's own icon stays
};

// The identity a manifest gives: administrator rights unless both languages
// have okIfNotAdmin, the version texts of both languages, the icon file's
// bytes. False, with the error told, when the icon cannot be read.
bool IdentityFromManifest(const Manifest& manifest, SetupIdentity& identity, Diagnostics& diagnostics);

// The application manifest: the execution level, DPI awareness and every
// Windows version from Vista on as a supported system.
std::string ApplicationManifest(bool requireAdministrator);

// A VS_VERSIONINFO resource with an English (code page 1252) and a Japanese
// (code page 932) string table; empty texts are left out.
std::vector<uint8_t> VersionResource(const SetupIdentity& identity);

// Replaces the icons of the list by those of an ICO file: its images become
// RT_ICON resources 1, 2, ... and their directory the RT_GROUP_ICON under
// the name of the list's first icon group (1 when there is none). False,
// with the error told, for a file that is no icon.
bool ReplaceIcon(std::vector<pe::Resource>& resources, const std::vector<uint8_t>& ico, std::string& error);

// A copy of the stub with the package as RCDATA 104 and the manifest,
// version resource and icon of the identity, read back to make sure the
// package resource holds exactly the package.
bool BuildSetup(const std::vector<uint8_t>& stub, const std::vector<uint8_t>& package, const SetupIdentity& identity,
                std::vector<uint8_t>& setup, std::string& error);

// The same setup.exe laid out for a package of packageSize bytes that is
// not held: written with pe::WriteSplitImage, the package streamed in.
bool BuildSetup(const std::vector<uint8_t>& stub, uint32_t packageSize, const SetupIdentity& identity,
                pe::SplitImage& setup, std::string& error);

// True when the program carries exactly this package as its RCDATA 104.
bool CarriesPackage(const std::vector<uint8_t>& setup, const std::vector<uint8_t>& package);

// The same for files, compared a chunk at a time: the setup file's first
// headBytes must hold its headers and resource directory.
bool CarriesPackage(const std::filesystem::path& setup, size_t headBytes, const std::filesystem::path& package);

// The engine the stub carries (its RCDATA 201), and a copy of the stub that
// carries another one.
bool ReadStubEngine(const std::vector<uint8_t>& stub, std::vector<uint8_t>& engine, std::string& error);
bool ReplaceStubEngine(const std::vector<uint8_t>& stub, const std::vector<uint8_t>& engine, std::vector<uint8_t>& out,
                       std::string& error);

}  // namespace mkpackage
