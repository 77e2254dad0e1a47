#pragma once
// What cabtool makes of a member's name. The engine's own rules decide which
// names may be written (package/extract_member_names.h); this file adds how a
// name is shown and what it is called on this system.
//
// On Linux the name bytes are read in a Windows code page (1252 unless
// chosen otherwise) and become UTF-8, with '/' between folders. On Windows
// they stay the bytes they are, in the system's ANSI code page, as the
// engine creates them.
#include <string>

// The code page names are read in. False when this system cannot convert it.
bool UseNameCodePage(unsigned codePage);

// The code page of names on this system's command line: the ANSI code page
// on Windows; UTF-8 on Linux, in which no byte of a character is a separator.
unsigned ArgumentCodePage();

struct LocalMemberName {
    std::string shown;    // for messages and listings, control bytes escaped
    std::string key;      // what a MEMBER argument is compared with: '\' between folders
    std::string local;    // the path below the destination, this system's separators
    std::string refusal;  // why the name may not be written; empty when it may
};

LocalMemberName DecodeMemberName(const char* raw);

// A MEMBER argument in the form of LocalMemberName::key.
std::string MemberKey(std::string argument);

// Control bytes (and on Linux the C1 controls) as \xNN, so that no name
// can drive the terminal.
std::string EscapedText(const std::string& text);

// The file-name part of a next cabinet's name: what follows its last '\',
// '/' or ':'. Trail bytes of double-byte characters are no separators.
std::string CabinetFileNamePart(const char* name);

// Makes the folders of a member's local path below the destination.
bool MakeMemberFolders(const std::string& destination, const std::string& local, std::string& failed);

// destination and local joined with this system's separator.
std::string JoinLocal(const std::string& destination, const std::string& local);
