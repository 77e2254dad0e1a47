#pragma once
// Runs the environment probe under a name of its own, with Wine reporting
// the given Windows version to it, and returns what it wrote.
#include <string>

// setting: a Wine version name ("win95", ...) or empty for Wine's default.
// arguments: the probe's command ("version", "privileges 1").
std::string RunEnvProbe(const std::string& setting, const std::string& arguments);
