#pragma once
// cabextract and gcab, run as outside oracles; paths come from the build.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

using FileTree = std::map<std::string, std::vector<uint8_t>>;  // '/'-separated name -> bytes

bool HaveCabextract();
bool HaveGcab();

// A fresh, empty folder under the build tree.
std::string ScratchFolder(const std::string& name);

// Runs a command line; returns its exit code.
int RunCommand(const std::string& command);

// cabextract's extraction of cabinet into a fresh folder, read back; its exit code in status.
FileTree CabextractTree(const std::string& cabinet, int* status = nullptr);

FileTree ReadTree(const std::string& folder);

// Members written by the decoder (memfs "out/" names with '\' as separators).
FileTree Slashed(const std::map<std::string, std::vector<uint8_t>>& written);
