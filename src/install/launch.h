#pragma once
// Running the package's commands.
#include "package/package_settings.h"

// Starts one command line (waiting for it when wait is non-zero). 1 on success.
int LaunchCommand(const char* commandLine, int wait, SetupInfo& info, int reserved, int forceAdmin);
