#pragma once
// The argument vector: read from the command line or from the argument file
// beside the installer, and the options the driver recognises in it.
#include <cstddef>

#include "text/path_size.h"

constexpr int kMaxArguments = 256;
constexpr size_t kArgumentLineSize = 1024;  // one read yields at most 1023 bytes
constexpr size_t kSourcePathSize = 1024;    // the "-srcInstaller" value

// The options, each named once for the reading and for the log.
inline constexpr char kSilentOption[] = "-Silent";
inline constexpr char kLogOption[] = "-Log";
inline constexpr char kJustExecOption[] = "-JustExec";
inline constexpr char kOkIfNotAdminOption[] = "-OKisnotAdmin";
inline constexpr char kJustDecompOption[] = "-JustDecomp";
inline constexpr char kSetDirOption[] = "-SetDir";
inline constexpr char kForceAdminOption[] = "-ForceAdmin";
inline constexpr char kForceUserOption[] = "-ForceUser";
inline constexpr char kSrcInstallerOption[] = "-srcInstaller";

// Fills entries (heap copies that live until the process ends) from the
// argument file, one entry per line piece; count receives how many.
void ReadArgumentFile(int* count, char** entries, int capacity, const char* fileName);

// 1 when an entry behind entry 0 equals name byte for byte.
int HasOption(const char* name, int count, char* const* entries);

// 1 when the option is present; value (valueSize bytes) receives the entry
// that follows it, or stays empty when there is none or it would not fit.
int GetOptionValue(const char* name, int count, char* const* entries, char* value, size_t valueSize);

// Splits argument 0 at its last backslash into the folder (with the backslash)
// and the file name; without a backslash both receive the whole text. A part
// that does not fit its 512-byte buffer is left empty.
void SplitOwnPath(const char* argument0, char* ownFolder, char* ownFileName);

// 1 (install) unless the file name is "unquilbex.exe" in any ASCII case or
// "-u" is given.
int ChooseInstallMode(const char* ownFileName, int count, char* const* entries);

// What the value of an option that takes one is like.
enum class OptionValue {
    Absent,   // the option is not given
    Given,    // a value that fits valueSize bytes
    Missing,  // the option is the last entry, or its value is empty
    TooLong,  // the value would not fit valueSize bytes
};

OptionValue InspectOptionValue(const char* name, int count, char* const* entries, size_t valueSize);

// The first option whose value is missing or too long ("-Log", "-SetDir",
// "-srcInstaller", in this order), or null. A silent run refuses such a
// command line instead of guessing: it would install elsewhere than asked.
const char* FindBadOptionValue(int count, char* const* entries);

// The options of a run, in the order the driver evaluates them.
struct RunOptions {
    int justExec;
    int okIfNotAdmin;
    int justDecomp;
    int forceAdmin;
    int forceUser;
    int isInstall;
    char setDir[kPathSize];
    char srcInstaller[kSourcePathSize];
    int silent;             // "-Silent": no window, no box, the outcome as exit code
    char log[kPathSize];    // "-Log FILE", empty when not given or unusable
    const char* badOption;  // FindBadOptionValue's answer
};

// Evaluates every option. A silent run with a bad option value stops at
// "-Silent" and "-Log": nothing else is evaluated and no folder is made.
void EvaluateOptions(int count, char* const* entries, const char* ownFileName, const char* userName,
                     void (*createFolder)(const char* path), RunOptions& options);
