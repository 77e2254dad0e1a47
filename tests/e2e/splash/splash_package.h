#pragma once
// Packages for the splash and version scenarios, built with mkpackage's
// library and embedded into a copy of the engine, which then serves as the
// "-srcInstaller" file of a run.
#include <cstdint>
#include <string>

struct ProductSpec {
    std::string name = "Sample Product";  // both languages; ASCII
    std::string version = "Version 1.0";
    std::string note;
    uint32_t osMask = 0xFFFFF;  // every bit a system can have
    bool withPicture = false;   // the tests' splash picture and its mask
};

// Builds the package in folder and returns the Windows path of the file that
// carries it; empty (and a test failure) when it cannot be built.
std::string BuildSetup(const std::string& folder, const ProductSpec& product);

// A copy of the engine under fileName in folder.
std::string PlaceEngineCopy(const std::string& folder, const std::string& fileName);
