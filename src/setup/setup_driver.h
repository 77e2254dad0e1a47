#pragma once
// The setup driver: one run of the engine, from the options to the last
// launch command. It owns the run's state and hands each subsystem what it
// needs (see RunContext); nothing below it reads the driver's state.
#include <windows.h>

// Installs or uninstalls as the argument entries say. Returns the process exit
// code: the run's outcome in a silent run, else 0.
int RunSetup(HINSTANCE instance, HINSTANCE previousInstance, const char* commandLine, int showCommand, int count,
             char** entries);
