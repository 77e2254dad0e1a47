#include "tests/host/cab/oracle.h"

#include "tests/host/common/scratch_files.h"
#include "tests/host/common/shell_command.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

bool HaveCabextract()
{
    return fs::exists(ENGINE_CABEXTRACT);
}
bool HaveGcab()
{
    return fs::exists(ENGINE_GCAB);
}

std::string ScratchFolder(const std::string& name)
{
    return EmptyScratchFolder("cab-test-scratch", name).string();
}

int RunCommand(const std::string& command)
{
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

FileTree ReadTree(const std::string& folder)
{
    FileTree tree;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(folder)) {
        if (e.is_regular_file()) {
            std::ifstream in(e.path(), std::ios::binary);
            tree[fs::relative(e.path(), folder).generic_string()] = {std::istreambuf_iterator<char>(in),
                                                                     std::istreambuf_iterator<char>()};
        }
    }
    return tree;
}

FileTree CabextractTree(const std::string& cabinet, int* status)
{
    const fs::path path(cabinet);
    const std::string folder =
        ScratchFolder("cabextract-" + path.parent_path().filename().string() + "-" + path.stem().string());
    const int rc = RunCommand(std::string(ENGINE_CABEXTRACT) + " -q -d " + ShellQuoted(folder) + " " +
                              ShellQuoted(cabinet) + " >/dev/null 2>&1");
    if (status != nullptr) {
        *status = rc;
    }
    return ReadTree(folder);
}

FileTree Slashed(const std::map<std::string, std::vector<uint8_t>>& written)
{
    FileTree tree;
    for (const auto& [name, bytes] : written) {
        std::string slashed = name;
        for (char& c : slashed) {
            if (c == '\\') {
                c = '/';
            }
        }
        tree[slashed] = bytes;
    }
    return tree;
}
