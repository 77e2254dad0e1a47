#pragma once
// Command lines for the host tests' shell: words quoted whatever bytes they
// hold, and a run that gives back its exit status and its output.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// The text as one word of a command line.
inline std::string ShellQuoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs the command line; its exit status (128 plus the signal's number when
// a signal ended it), its standard output and error together in output.
inline int RunShell(const std::string& command, std::string& output)
{
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("host_test_output_" + std::to_string(getpid()));
    const int status = std::system((command + " > " + ShellQuoted(file.string()) + " 2>&1").c_str());
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    in.close();
    std::filesystem::remove(file);
    output = text.str();
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
