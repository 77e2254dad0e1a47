#pragma once
// What a cabinet keeps of a member besides its bytes: its date and time (a
// DOS stamp in local time) and its read-only, hidden, system and archive
// bits. Extract gives the written file as much of it as the host can hold.
#include <cstdint>
#include <ctime>
#include <string>

// The stamp as local calendar time; false for a stamp that names no day
// (month or day 0, month over 12, hours over 23, minutes or seconds over 59).
bool DosStampToLocalTime(uint16_t date, uint16_t time, std::tm& local);

// Makes an existing file replaceable again (on Windows: not read-only,
// hidden or system), so that extract can replace a member that an earlier
// extraction gave these bits.
void MakeReplaceable(const std::string& path);

// Gives the written file the member's stamp as its modification time and
// its attributes: on Windows the four bits, elsewhere read-only as the
// absence of every write permission (hidden, system and archive have no
// place there).
void RestoreMemberStamp(const std::string& path, uint16_t date, uint16_t time, uint16_t attributes);
