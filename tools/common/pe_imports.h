#pragma once
// What a Windows program file needs from the system: the functions it imports
// from each DLL, and the header fields that decide which systems load it.
#include <cstdint>
#include <string>
#include <vector>

namespace pe {

struct Import {
    std::string dll;       // as the image names it
    std::string function;  // "#N" for an import by ordinal N
};

struct LoaderFacts {
    bool is64 = false;
    uint16_t subsystem = 0;  // 2: Windows GUI
    uint16_t majorSubsystemVersion = 0;
    uint16_t minorSubsystemVersion = 0;
    bool hasTlsDirectory = false;  // thread-local data and its callbacks
};

// Every import of the image, in the order of its import directory. False
// (error set) when the file is no PE image or its imports are damaged.
bool ReadImports(const std::vector<uint8_t>& image, std::vector<Import>& imports, std::string& error);

bool ReadLoaderFacts(const std::vector<uint8_t>& image, LoaderFacts& facts, std::string& error);

}  // namespace pe
