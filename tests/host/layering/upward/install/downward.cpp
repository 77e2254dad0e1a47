// Includes that keep to the layering: install may use package and text.
#include "install/downward.h"
#include "package/package_settings.h"
#include "text/upward.h"
#include <windows.h>
