#include "tools/mkpackage/signing.h"

#include <cstdlib>
#include <fstream>

#include "tools/common/pe_resources.h"
#include "tools/mkpackage/manifest.h"
#include "tools/mkpackage/setup_resources.h"

namespace mkpackage {
namespace {

constexpr char kPlaceholder[] = "{}";

std::string Quoted(const std::filesystem::path& file)
{
    std::string path = PathText(file);
#ifdef _WIN32
    return "\"" + path + "\"";  // no Windows path holds a double quote
#else
    std::string quoted = "'";
    for (char c : path)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
#endif
}

bool WriteFile(const std::filesystem::path& file, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

}  // namespace

bool IsSignCommand(const std::string& command)
{
    return command.find(kPlaceholder) != std::string::npos;
}

std::string SignCommandFor(const std::string& command, const std::filesystem::path& file)
{
    std::string result;
    size_t at = 0;
    for (size_t found; (found = command.find(kPlaceholder, at)) != std::string::npos; at = found + 2) {
        result.append(command, at, found - at);
        result.append(Quoted(file));
    }
    result.append(command, at, std::string::npos);
    return result;
}

bool RunSignCommand(const std::string& command, const std::filesystem::path& file, std::string& error)
{
    std::string line = SignCommandFor(command, file);
    fflush(nullptr);  // the command's output comes after ours
#ifdef _WIN32
    // cmd /c takes the line apart by its own rules when it begins with a quote.
    int status = std::system(("\"" + line + "\"").c_str());
#else
    int status = std::system(line.c_str());
#endif
    if (status != 0) {
        error = "the sign command \"" + line + "\" failed (status " + std::to_string(status) + ")";
        return false;
    }
    return true;
}

bool SignStubEngine(const std::vector<uint8_t>& stub, const std::string& command, const std::filesystem::path& scratch,
                    std::vector<uint8_t>& signedStub, std::string& error)
{
    std::vector<uint8_t> engine;
    if (!ReadStubEngine(stub, engine, error))
        return false;
    auto signEngine = [&]() {
        std::vector<pe::Resource> check;
        if (!WriteFile(scratch, engine)) {
            error = Quote(scratch) + " cannot be written";
            return false;
        }
        if (!RunSignCommand(command, scratch, error))
            return false;
        if (!ReadWholeFile(scratch, engine) || !pe::ReadResources(engine, check, error)) {
            error = "the signed engine " + Quote(scratch) + " is no longer a program";
            return false;
        }
        return ReplaceStubEngine(stub, engine, signedStub, error);
    };
    bool ok = signEngine();
    std::error_code ignored;
    std::filesystem::remove(scratch, ignored);
    return ok;
}

}  // namespace mkpackage
