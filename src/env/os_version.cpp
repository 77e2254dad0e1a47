#include "env/os_version.h"

#include <windows.h>

#include "env/os_version_table.h"

namespace {

constexpr DWORD kExtendedRecordSize = 156;   // OSVERSIONINFOEXA
constexpr DWORD kPlainRecordSize = 148;      // OSVERSIONINFOA
constexpr BYTE kWorkstationProductType = 1;  // VER_NT_WORKSTATION
constexpr int kServerR2Metric = 89;          // SM_SERVERR2

static_assert(sizeof(OSVERSIONINFOEXA) == kExtendedRecordSize);
static_assert(sizeof(OSVERSIONINFOA) == kPlainRecordSize);

using NativeSystemInfoFunction = void(WINAPI*)(SYSTEM_INFO*);

bool AskServerR2(void*)
{
    return GetSystemMetrics(kServerR2Metric) != 0;
}

bool Ask64Bit(void* extendedQueryOk)
{
    return IsSystem64Bit(*static_cast<int*>(extendedQueryOk)) != 0;
}

}  // namespace

int QueryOsVersionCode()
{
    OSVERSIONINFOEXA info = {};
    info.dwOSVersionInfoSize = kExtendedRecordSize;
    int extendedQueryOk = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)) ? 1 : 0;
    if (!extendedQueryOk) {
        // The plain record has no product type; the systems that answer only
        // this query are older than the rows that would ask for it, which
        // then take the workstation's value.
        info = {};
        info.dwOSVersionInfoSize = kPlainRecordSize;
        if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)))
            return kUnknownOsVersion;
        info.wProductType = kWorkstationProductType;
    }
    const OsVersionReport report = {info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion,
                                    info.wProductType == kWorkstationProductType};
    const OsVersionProbes probes = {AskServerR2, Ask64Bit, &extendedQueryOk};
    return OsVersionCodeOf(report, probes);
}

int IsSystem64Bit(int extendedQueryOk)
{
    if (!extendedQueryOk)
        return 0;
    SYSTEM_INFO system = {};
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto native = kernel != nullptr ? reinterpret_cast<NativeSystemInfoFunction>(
                                          reinterpret_cast<void*>(GetProcAddress(kernel, "GetNativeSystemInfo")))
                                    : nullptr;
    if (native != nullptr)
        native(&system);
    else
        GetSystemInfo(&system);
    return IsArchitecture64Bit(system.wProcessorArchitecture) ? 1 : 0;
}

uint32_t RunningOsMask()
{
    return RunningOsMaskOf(QueryOsVersionCode());
}
