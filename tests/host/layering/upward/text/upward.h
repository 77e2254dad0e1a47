#pragma once
// A core helper that reaches up into the driver: the layering check must refuse it.
#include "setup/setup_driver.h"
#include "text/bounded_text.h"
