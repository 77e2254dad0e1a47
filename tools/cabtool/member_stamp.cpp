#include "tools/cabtool/member_stamp.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace {

#ifdef _WIN32
constexpr uint16_t kKeptAttributes = 0x27;  // read-only, hidden, system, archive
#else
constexpr uint16_t kReadOnly = 0x01;
#endif

}  // namespace

bool DosStampToLocalTime(uint16_t date, uint16_t time, std::tm& local)
{
    const int day = date & 31, month = date >> 5 & 15, hour = time >> 11, minute = time >> 5 & 63,
              second = (time & 31) * 2;
    if (day == 0 || month == 0 || month > 12 || hour > 23 || minute > 59 || second > 59)
        return false;
    local = {};
    local.tm_year = 80 + (date >> 9);
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;  // the system knows whether summer time held then
    return true;
}

#ifdef _WIN32

// A read-only file cannot be opened for writing, and a hidden or system one
// cannot be created anew by a call that does not ask for these bits.
void MakeReplaceable(const std::string& path)
{
    constexpr DWORD kInTheWay = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        (attributes & kInTheWay) != 0)
        SetFileAttributesA(path.c_str(), attributes & ~kInTheWay);
}

void RestoreMemberStamp(const std::string& path, uint16_t date, uint16_t time, uint16_t attributes)
{
    std::tm unused;
    FILETIME local, stamp;
    if (DosStampToLocalTime(date, time, unused) && DosDateTimeToFileTime(date, time, &local) &&
        LocalFileTimeToFileTime(&local, &stamp)) {
        HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            SetFileTime(file, nullptr, nullptr, &stamp);
            CloseHandle(file);
        }
    }
    const DWORD kept = attributes & kKeptAttributes;
    SetFileAttributesA(path.c_str(), kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL);
}

#else

void MakeReplaceable(const std::string& path)
{
    struct stat status;
    if (stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && (status.st_mode & S_IWUSR) == 0)
        chmod(path.c_str(), (status.st_mode & 07777) | S_IWUSR);
}

void RestoreMemberStamp(const std::string& path, uint16_t date, uint16_t time, uint16_t attributes)
{
    std::tm local;
    if (DosStampToLocalTime(date, time, local)) {
        const std::time_t seconds = std::mktime(&local);
        if (seconds != std::time_t(-1)) {
            const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
            utimensat(AT_FDCWD, path.c_str(), times, 0);
        }
    }
    struct stat status;
    if ((attributes & kReadOnly) != 0 && stat(path.c_str(), &status) == 0)
        chmod(path.c_str(), status.st_mode & 07777 & ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH));
}

#endif
