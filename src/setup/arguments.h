#pragma once
// The argument vector: read from the command line or from the argument file
// beside the installer, and the options the driver recognises in it.
#include <cstddef>

constexpr int kMaxArguments = 256;
constexpr size_t kArgumentLineSize = 1024;  // one read yields at most 1023 bytes
constexpr size_t kPathSize = 512;           // paths: 511 bytes and a terminator
constexpr size_t kSourcePathSize = 1024;    // the "-srcInstaller" value

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

// Replaces every "temp" or "tmp" folder component behind the first level by
// "tteemmpp" and the user name, and has createFolder make each folder from
// the first replaced one down to the whole path. A result that would not fit
// size bytes leaves the path unchanged and creates nothing. Returns 1 when a
// component was rewritten.
int RewriteTempComponents(char* path, size_t size, const char* userName, void (*createFolder)(const char* path));

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
};

void EvaluateOptions(int count, char* const* entries, const char* ownFileName, const char* userName,
                     void (*createFolder)(const char* path), RunOptions& options);
