#pragma once
// Runs the decoder over cabinets in memory (memfs) with a scripted handler
// and records what it was told and what it wrote.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "package/cab/cab_decoder.h"

struct CabEvent {
    CabNotificationType type;
    std::string text1;
    int32_t size = 0;
    uint16_t attributes = 0;
    uint16_t cabinetIndex = 0;
    int32_t lastError = 0;
};

struct HandlerScript {
    bool skipAll = false;                          // answer CopyMember with 0
    std::set<std::string> only;                    // non-empty: write only these members
    int abortOn = -1;                              // notification type answered with -1
    intptr_t closeAnswer = 1;                      // answer to CloseFileInfo
    std::map<std::string, std::string> nextNames;  // NextCabinet: stored name -> name to open
    bool decrypt = false;                          // pass a decryption hook that records its calls
    int abortDecryptKind = -1;                     // ... and answers -1 for this kind
};

struct DecryptCall {
    CabDecryptKind kind;
    std::vector<uint8_t> reserve;
    uint16_t folderIndex = 0;
    uint32_t dataSize = 0;
};

struct CopyOutcome {
    int result = 0;
    CabErrorRecord errors = {};
    std::vector<CabEvent> events;
    std::map<std::string, std::vector<uint8_t>> written;  // members closed with CloseFileInfo
    std::vector<DecryptCall> decryptCalls;
    int openHandles = 0;      // after the decoder was destroyed
    int liveAllocations = 0;  // likewise
};

// Copies folder + cabinet (already in memfs) with a fresh decoder; written
// members land in memfs under "out/".
CopyOutcome RunCopy(const std::string& cabinet, const std::string& folder = "", const HandlerScript& script = {});

std::vector<uint8_t> ReadFileBytes(const std::string& path);
