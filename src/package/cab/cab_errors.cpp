#include "package/cab/cab_types.h"

namespace {

constexpr const char* kErrorNames[] = {
    "None",           "CabinetNotFound", "NotACabinet",        "UnsupportedVersion",
    "CorruptCabinet", "AllocFail",       "BadCompressionType", "DecompressFail",
    "TargetFile",     "ReserveMismatch", "WrongCabinet",       "UserAbort",
};

}  // namespace

const char* CabErrorName(int code)
{
    const unsigned index = unsigned(code);
    return index < sizeof kErrorNames / sizeof kErrorNames[0] ? kErrorNames[index] : "Unknown";
}
