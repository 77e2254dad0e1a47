#pragma once
// Signing through a command of the product maker's choice ("CMD {}"): it is
// run on the engine before the stub carries it, since the engine is written
// to disk and runs on its own, and on the finished setup.exe.
#include <filesystem>
#include <string>
#include <vector>

namespace mkpackage {

// True when the command has the "{}" that stands for the file to sign.
bool IsSignCommand(const std::string& command);

// The command with every "{}" replaced by the file's path, quoted for the
// system's command interpreter.
std::string SignCommandFor(const std::string& command, const std::filesystem::path& file);

// Runs the command on the file (signed in place). False, with the error
// told, when it cannot be run or ends with a non-zero status.
bool RunSignCommand(const std::string& command, const std::filesystem::path& file, std::string& error);

// A copy of the stub whose engine has been signed: the engine is written to
// scratch, signed there, read back and put into the copy; scratch is
// removed again.
bool SignStubEngine(const std::vector<uint8_t>& stub, const std::string& command, const std::filesystem::path& scratch,
                    std::vector<uint8_t>& signedStub, std::string& error);

}  // namespace mkpackage
