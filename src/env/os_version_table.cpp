#include "env/os_version_table.h"

namespace {

constexpr uint8_t kAny = 0xFF;  // as a range's upper end: no upper end

// A further condition of a row, beyond platform and version.
enum class Condition : uint8_t { kNone, kServerR2, kWorkstation64, kWorkstation32, kServer };

// One row of the version table: the first row that matches names the system.
// Every bound and code fits a byte.
struct VersionRow {
    uint8_t platformId;
    uint8_t majorLow, majorHigh;
    uint8_t minorLow, minorHigh;
    Condition condition;
    uint8_t code;
};

constexpr VersionRow kVersionRows[] = {
    {kPlatformWindows, 0, 3, 0, kAny, Condition::kNone, 16},     // 9x before 4.0
    {kPlatformWindows, 4, 4, 0, 9, Condition::kNone, 17},        // Windows 95
    {kPlatformWindows, 4, 4, 10, 89, Condition::kNone, 18},      // Windows 98
    {kPlatformWindows, 4, 4, 90, kAny, Condition::kNone, 19},    // Windows Me
    {kPlatformWindows, 5, kAny, 0, kAny, Condition::kNone, 20},  // 9x after 4.x
    {kPlatformNt, 0, 2, 0, kAny, Condition::kNone, 32},          // NT before 3.x
    {kPlatformNt, 3, 3, 0, kAny, Condition::kNone, 33},          // NT 3.x
    {kPlatformNt, 4, 4, 0, kAny, Condition::kNone, 34},          // NT 4.0
    {kPlatformNt, 5, 5, 0, 0, Condition::kNone, 35},             // Windows 2000
    {kPlatformNt, 5, 5, 1, 1, Condition::kNone, 36},             // Windows XP
    {kPlatformNt, 5, 5, 2, 2, Condition::kServerR2, 38},         // Server 2003 R2
    {kPlatformNt, 5, 5, 2, 2, Condition::kWorkstation64, 39},    // XP x64
    {kPlatformNt, 5, 5, 2, 2, Condition::kNone, 37},             // Server 2003
    {kPlatformNt, 5, 5, 3, kAny, Condition::kNone, 46},          // later 5.x
    {kPlatformNt, 6, 6, 0, 0, Condition::kWorkstation32, 40},    // Vista
    {kPlatformNt, 6, 6, 0, 0, Condition::kWorkstation64, 41},    // Vista 64-bit
    {kPlatformNt, 6, 6, 0, 0, Condition::kServer, 42},           // Server 2008
    {kPlatformNt, 6, 6, 1, 1, Condition::kServer, 43},           // Server 2008 R2
    {kPlatformNt, 6, 6, 1, 1, Condition::kWorkstation32, 44},    // Windows 7
    {kPlatformNt, 6, 6, 1, 1, Condition::kWorkstation64, 45},    // Windows 7 64-bit
    {kPlatformNt, 6, 6, 2, kAny, Condition::kNone, 47},          // Windows 8 and later
    {kPlatformNt, 7, kAny, 0, kAny, Condition::kNone, 47},
};

// Windows version code -> mask of the running system.
constexpr struct {
    int code;
    uint32_t mask;
} kRunningMasks[] = {
    {17, kOsMaskWin95},
    {18, kOsMaskWin98},
    {19, kOsMaskWinMe},
    {16, kOsMaskWin95 | kOsMaskWin98 | kOsMaskWinMe},  // 9x before 4.0 passes for every 4.x
    {20, kOsMask9xLater | kOsMaskWinMe},
    {33, kOsMaskNt3},
    {34, kOsMaskNt4},
    {35, kOsMaskWin2000},
    {36, kOsMaskWinXp32},
    {37, kOsMaskWin2003},
    {39, kOsMaskWinXpX64},
    {38, kOsMaskWin2003R2},
    {40, kOsMaskVista32},
    {41, kOsMaskVistaX64},
    {42, kOsMaskWin2008},
    {43, kOsMaskWin2008R2},
    {44, kOsMaskWin7_32},
    {45, kOsMaskWin7X64},
};

// PROCESSOR_ARCHITECTURE_IA64, _ALPHA64, _AMD64 and _IA32_ON_WIN64; 8, MSIL,
// is no 64-bit system.
constexpr uint32_t k64BitArchitectures[] = {6, 7, 9, 10};

// The probes of one classification, each asked once at most.
class ProbeAnswers {
public:
    explicit ProbeAnswers(const OsVersionProbes& probes) : probes_(probes) {}

    bool ServerR2() { return Ask(probes_.isServerR2, serverR2_); }
    bool Is64Bit() { return Ask(probes_.is64Bit, is64Bit_); }

private:
    enum class Known { kNotAsked, kNo, kYes };

    bool Ask(bool (*probe)(void*), Known& known)
    {
        if (known == Known::kNotAsked)
            known = probe(probes_.context) ? Known::kYes : Known::kNo;
        return known == Known::kYes;
    }

    const OsVersionProbes& probes_;
    Known serverR2_ = Known::kNotAsked;
    Known is64Bit_ = Known::kNotAsked;
};

bool InRange(uint32_t value, uint8_t low, uint8_t high)
{
    return value >= low && (high == kAny || value <= high);
}

// The workstation test comes before the 64-bit test, which is the dearest.
bool Holds(Condition condition, bool workstation, ProbeAnswers& answers)
{
    switch (condition) {
    case Condition::kNone: return true;
    case Condition::kServerR2: return answers.ServerR2();
    case Condition::kWorkstation64: return workstation && answers.Is64Bit();
    case Condition::kWorkstation32: return workstation && !answers.Is64Bit();
    case Condition::kServer: return !workstation;
    }
    return false;
}

constexpr char kRefusalJapanese[] = "\x82\xB1\x82\xCCOS\x82\xD6\x82\xCC\x83"
                                    "C\x83\x93\x83X\x83g\x81[\x83\x8B\x82\xC9\x82\xCD\x91\xCE\x89\x9E"
                                    "\x82\xA2\x82\xBD\x82\xB5\x82\xC4\x82\xA8\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x81"
                                    "B";

}  // namespace

int OsVersionCodeOf(const OsVersionReport& report, const OsVersionProbes& probes)
{
    ProbeAnswers answers(probes);
    for (const VersionRow& row : kVersionRows) {
        if (row.platformId == report.platformId && InRange(report.majorVersion, row.majorLow, row.majorHigh) &&
            InRange(report.minorVersion, row.minorLow, row.minorHigh) &&
            Holds(row.condition, report.workstation, answers))
            return row.code;
    }
    return kUnknownOsVersion;
}

uint32_t RunningOsMaskOf(int osVersionCode)
{
    for (const auto& entry : kRunningMasks) {
        if (entry.code == osVersionCode)
            return entry.mask;
    }
    return kUnknownSystemMask;
}

bool IsArchitecture64Bit(uint32_t architecture)
{
    for (uint32_t known : k64BitArchitectures) {
        if (known == architecture)
            return true;
    }
    return false;
}

const char* OsRefusalText(bool japanese)
{
    return japanese ? kRefusalJapanese : "It can't be installed in this OS.";
}
