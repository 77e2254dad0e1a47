#include "tests/host/cab/cab_harness.h"

#include <cstring>
#include <fstream>
#include <iterator>

#include "tests/host/cab/memory_files.h"

namespace {

struct Run {
    const HandlerScript* script;
    CopyOutcome* outcome;
    std::map<intptr_t, std::string> openMembers;
};

intptr_t Handle(CabNotificationType type, CabNotification* n)
{
    Run& run = *static_cast<Run*>(n->userContext);
    const HandlerScript& script = *run.script;
    CabEvent event{type, n->text1 != nullptr ? n->text1 : "", n->size, n->attributes, n->cabinetIndex, n->lastError};
    run.outcome->events.push_back(event);
    if (int(type) == script.abortOn) {
        return -1;
    }
    switch (type) {
    case CabNotificationType::CopyMember: {
        if (script.skipAll || (!script.only.empty() && !script.only.count(n->text1))) {
            return 0;
        }
        const intptr_t handle = memfs::Open(("out/" + std::string(n->text1)).c_str(),
                                            kCabOpenWriteOnly | kCabOpenCreate | kCabOpenTruncate, 0);
        run.openMembers[handle] = n->text1;
        return handle;
    }
    case CabNotificationType::CloseFileInfo:
        memfs::Close(n->fileHandle);
        run.outcome->written[run.openMembers[n->fileHandle]] = memfs::Get("out/" + run.openMembers[n->fileHandle]);
        return script.closeAnswer;
    case CabNotificationType::NextCabinet: {
        auto it = script.nextNames.find(n->text1);
        if (it != script.nextNames.end()) {
            strcpy(n->text1, it->second.c_str());
        }
        return 0;
    }
    default: return 0;
    }
}

intptr_t Decrypt(CabDecryptRecord* record)
{
    Run& run = *static_cast<Run*>(record->userContext);
    DecryptCall call{record->kind, std::vector<uint8_t>(record->reserve, record->reserve + record->reserveSize),
                     record->folderIndex, record->dataSize};
    run.outcome->decryptCalls.push_back(call);
    return int(record->kind) == run.script->abortDecryptKind ? -1 : 0;
}

}  // namespace

CopyOutcome RunCopy(const std::string& cabinet, const std::string& folder, const HandlerScript& script)
{
    CopyOutcome outcome;
    Run run{&script, &outcome, {}};
    CabDecoder* decoder = CreateCabDecoder(memfs::Allocate, memfs::Free, memfs::Open, memfs::Read, memfs::Write,
                                           memfs::Close, memfs::Seek, kCabProcessor386, &outcome.errors);
    if (decoder == nullptr) {
        return outcome;
    }
    outcome.result =
        CopyCabinet(decoder, cabinet.c_str(), folder.c_str(), 0, Handle, script.decrypt ? Decrypt : nullptr, &run);
    DestroyCabDecoder(decoder);
    outcome.openHandles = memfs::OpenHandles();
    outcome.liveAllocations = memfs::LiveAllocations();
    return outcome;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
