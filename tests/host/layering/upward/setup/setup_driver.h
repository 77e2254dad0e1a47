#pragma once
// The driver may include every subsystem below it.
#include "install/run_context.h"
#include "ui/splash_window.h"
