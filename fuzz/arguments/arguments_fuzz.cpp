// Fuzz target of the argument file and the command line: the input is the
// content of an argument file and, up to its first zero byte, a command line.
// Both are read in code page 1252 and in Shift-JIS. Whatever comes in,
// reading ends, stays inside its buffers and leaks nothing; every entry is one
// line piece of at most 1023 bytes, at most 256 entries are taken, and the
// evaluated options are terminated texts of their fields.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "runtime/command_line.h"
#include "setup/arguments.h"
#include "text/text_scan.h"

namespace {

// The argument file of this process: a name of its own, written for every
// input and removed once read, so that no run leaves a file behind.
const char* ArgumentFilePath()
{
    static std::string path = [] {
        char name[] = "/tmp/arguments_fuzz_XXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0)
            abort();
        close(fd);
        return std::string(name);
    }();
    return path.c_str();
}

void WriteArgumentFile(const uint8_t* data, size_t size)
{
    FILE* file = fopen(ArgumentFilePath(), "wb");
    if (file == nullptr || fwrite(data, 1, size, file) != size || fclose(file) != 0)
        abort();
}

void CheckTerminated(const char* field, size_t size)
{
    if (memchr(field, '\0', size) == nullptr)
        abort();
}

// Folders the -SetDir rewrite asks for: each one a path that fits.
void CreateFolder(const char* path)
{
    if (strlen(path) >= kPathSize)
        abort();
}

void EvaluateEntries(int count, char* const* entries)
{
    char ownFolder[kPathSize];
    char ownFileName[kPathSize];
    SplitOwnPath(entries[0], ownFolder, ownFileName);
    CheckTerminated(ownFolder, sizeof ownFolder);
    CheckTerminated(ownFileName, sizeof ownFileName);
    RunOptions options{};
    EvaluateOptions(count, entries, ownFileName, "user", CreateFolder, options);
    CheckTerminated(options.setDir, sizeof options.setDir);
    CheckTerminated(options.srcInstaller, sizeof options.srcInstaller);
}

void ReadFile(const uint8_t* data, size_t size)
{
    WriteArgumentFile(data, size);
    char* entries[kMaxArguments];
    int count = -1;
    ReadArgumentFile(&count, entries, kMaxArguments, ArgumentFilePath());
    unlink(ArgumentFilePath());
    if (count < 0 || count > kMaxArguments)
        abort();
    for (int i = 0; i < count; ++i) {
        if (strlen(entries[i]) >= kArgumentLineSize || strchr(entries[i], '\n') != nullptr)
            abort();
    }
    if (count > 0)
        EvaluateEntries(count, entries);
    for (int i = 0; i < count; ++i)
        free(entries[i]);
}

void SplitLine(const uint8_t* data, size_t size)
{
    const std::string line(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
    std::vector<char> storage(line.size() + 2);
    char* entries[kMaxArguments];
    const int found = SplitCommandLine(line.c_str(), storage.data(), entries, kMaxArguments);
    if (found < 1)
        abort();
    const int count = found < kMaxArguments ? found : kMaxArguments;
    for (int i = 0; i < count; ++i) {
        if (entries[i] < storage.data() || entries[i] >= storage.data() + storage.size())
            abort();
        CheckTerminated(entries[i], static_cast<size_t>(storage.data() + storage.size() - entries[i]));
    }
    const char* tail = CommandLineTail(line.c_str());
    if (tail < line.c_str() || tail > line.c_str() + line.size())
        abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (unsigned codePage : {1252u, 932u}) {
        UseCodePage(codePage);
        ReadFile(data, size);
        SplitLine(data, size);
    }
    return 0;
}
