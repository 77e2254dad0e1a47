// cabtool: lists, tests, extracts and creates cabinets with the engine's own
// reader and the cabinet writer of the build tools.
#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "package/cab/cab_decoder.h"
#include "package/extract_member_names.h"
#include "text/little_endian.h"
#include "text/text_scan.h"
#include "tools/cabtool/cab_file_io.h"
#include "tools/cabtool/member_name.h"
#include "tools/cabtool/member_stamp.h"
#include "tools/cabwriter/cab_writer.h"
#include "tools/quantum/quantum_compressor.h"

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
#define CABTOOL_NAME_OPTIONS ""
#else
#define CABTOOL_NAME_OPTIONS "[--codepage=N] "
#endif

constexpr char kUsage[] = "usage: cabtool list " CABTOOL_NAME_OPTIONS "FILE\n"
                          "       cabtool test " CABTOOL_NAME_OPTIONS "FILE\n"
                          "       cabtool extract " CABTOOL_NAME_OPTIONS "FILE DIR [MEMBER...]\n"
                          "       cabtool create [--store|--mszip|--quantum=W] [--no-checksums] OUT.cab FILE...\n"
                          "                (W: Quantum window bits, 10 to 21)\n"
                          "\n"
                          "extract writes nothing unless every member to write has a name the installer\n"
                          "accepts and decodes, and every MEMBER named is in the cabinet. create stores\n"
                          "files only, not folders, under the relative names given.\n"
#ifndef _WIN32
                          "--codepage=N: the Windows code page member names are read in (default 1252,\n"
                          "932 for Shift-JIS); names are shown and written in UTF-8.\n"
#endif
    ;

// Check walks the cabinet set before anything is extracted: every member to
// write must have a name the installer accepts and must decode, so that a
// refused name or a damaged cabinet leaves the destination alone.
enum class Mode { List, Test, Check, Extract };

struct Run {
    Mode mode = Mode::List;
    std::string destination;
    std::set<std::string> wanted;      // keys of the named members; empty: every member
    std::set<std::string> seen;        // keys of the members met in the check
    std::vector<std::string> refused;  // "'name': why", from the check
    bool firstCabinet = true;
    std::string member;  // the member being written, as shown
    std::string memberPath;
    bool memberOpen = false;
    std::string refusal;  // why the handler aborted
    uint64_t members = 0;
    uint64_t bytes = 0;
};

void PrintMember(const CabNotification& n)
{
    printf("%10u  %04d-%02d-%02d %02d:%02d:%02d  %s\n", unsigned(n.size), 1980 + (n.date >> 9), (n.date >> 5) & 15,
           n.date & 31, n.time >> 11, (n.time >> 5) & 63, (n.time & 31) * 2, DecodeMemberName(n.text1).shown.c_str());
}

struct CabinetId {
    bool ok = false;
    uint16_t setId = 0;
    uint16_t index = 0;
    bool hasNext = false;
};

CabinetId ReadCabinetId(const fs::path& path)
{
    uint8_t raw[36];
    std::ifstream in(path, std::ios::binary);
    CabinetId id;
    if (!in.read(reinterpret_cast<char*>(raw), sizeof raw) || memcmp(raw, "MSCF", 4) != 0) {
        return id;
    }
    id.ok = true;
    id.hasNext = (raw[30] & 0x02) != 0;
    id.setId = ReadLittleEndian16(raw + 32);
    id.index = ReadLittleEndian16(raw + 34);
    return id;
}

// The cabinet of the set beside the others: the named file when it carries
// the expected set id and index, else any file of the folder that does. The
// name is a file name only, never a path.
fs::path FindCabinet(const fs::path& folder, const std::string& name, uint16_t setId, uint16_t index)
{
    const fs::path dir = folder.empty() ? fs::path(".") : folder;
    auto matches = [&](const fs::path& p) {
        const CabinetId id = ReadCabinetId(p);
        return id.ok && id.setId == setId && id.index == index;
    };
    std::error_code ec;
    if (!name.empty() && fs::is_regular_file(dir / name, ec) && matches(dir / name)) {
        return dir / name;
    }
    std::vector<fs::path> candidates;
    for (const fs::directory_entry& e : fs::directory_iterator(dir, ec)) {
        if (e.is_regular_file(ec)) {
            candidates.push_back(e.path());
        }
    }
    std::sort(candidates.begin(), candidates.end());
    for (const fs::path& p : candidates) {
        if (matches(p)) {
            return p;
        }
    }
    return {};
}

bool IsWanted(const Run& run, const LocalMemberName& name)
{
    return run.wanted.empty() || run.wanted.count(name.key) != 0;
}

// The check before extracting: the members to write are decoded, nothing is
// written, and every name the installer would refuse is noted.
intptr_t CheckMember(Run& run, const CabNotification& n)
{
    const LocalMemberName name = DecodeMemberName(n.text1);
    if (!IsWanted(run, name)) {
        return 0;
    }
    run.seen.insert(name.key);
    if (!name.refusal.empty()) {
        run.refused.push_back("member '" + name.shown + "': " + name.refusal);
        return 0;
    }
    run.member = name.shown;
    return kDiscardHandle;
}

intptr_t OpenMember(Run& run, const CabNotification& n)
{
    const LocalMemberName name = DecodeMemberName(n.text1);
    if (run.mode == Mode::Test) {
        run.member = name.shown;
        printf("%10u  %s\n", unsigned(n.size), name.shown.c_str());
        return kDiscardHandle;
    }
    if (!IsWanted(run, name)) {
        return 0;
    }
    run.member = name.shown;
    if (!name.refusal.empty()) {
        run.refusal = name.refusal;
        return -1;
    }
    std::string failed;
    if (!MakeMemberFolders(run.destination, name.local, failed)) {
        run.refusal = "cannot create the folder " + EscapedText(failed);
        return -1;
    }
    const std::string path = JoinLocal(run.destination, name.local);
    MakeReplaceable(path);
    const intptr_t handle =
        CabToolOpen(path.c_str(), kCabOpenWriteOnly | kCabOpenCreate | kCabOpenTruncate | kCabOpenBinary,
                    kCabPermissionRead | kCabPermissionWrite);
    if (handle == -1) {
        run.refusal = "cannot create " + EscapedText(path);
        return -1;
    }
    run.memberPath = path;
    run.memberOpen = true;
    printf("%10u  %s\n", unsigned(n.size), name.shown.c_str());
    return handle;
}

intptr_t Handle(CabNotificationType type, CabNotification* n)
{
    Run& run = *static_cast<Run*>(n->userContext);
    switch (type) {
    case CabNotificationType::PartialFile:
        if (run.mode == Mode::List && run.firstCabinet) {
            printf("%10u  (continued) %s\n", unsigned(n->size), DecodeMemberName(n->text1).shown.c_str());
        }
        return 0;
    case CabNotificationType::CopyMember:
        if (run.mode == Mode::List) {
            PrintMember(*n);
            ++run.members;
            run.bytes += uint32_t(n->size);
            return 0;
        }
        if (run.mode == Mode::Check) {
            return CheckMember(run, *n);
        }
        return OpenMember(run, *n);
    case CabNotificationType::CloseFileInfo:
        CabToolClose(n->fileHandle);
        if (run.mode == Mode::Extract) {
            RestoreMemberStamp(run.memberPath, n->date, n->time, n->attributes);
        }
        run.memberOpen = false;
        run.member.clear();
        ++run.members;
        return 1;
    case CabNotificationType::NextCabinet: {
        // Only the file-name part counts: the set is looked up beside its first cabinet.
        const std::string named = CabinetFileNamePart(n->text1);
        const fs::path found = FindCabinet(n->text3, named, n->setId, n->cabinetIndex);
        const std::string file = found.empty() ? named : found.filename().string();
        if (file.size() < 256) {
            memcpy(n->text1, file.c_str(), file.size() + 1);
        }
        return 0;
    }
    default: return 0;
    }
}

std::string FolderOf(const fs::path& path)
{
    std::string folder = path.parent_path().string();
    if (!folder.empty()) {
        folder += fs::path::preferred_separator;
    }
    return folder;
}

int Fail(const std::string& file, const CabErrorRecord& errors, const Run& run)
{
    fprintf(stderr, "cabtool: %s: %s", file.c_str(), CabErrorName(errors.code));
    if (errors.code == int(CabError::UnsupportedVersion)) {
        fprintf(stderr, " (version %d.%d)", errors.detail >> 8, errors.detail & 0xFF);
    }
    if (!run.member.empty()) {
        fprintf(stderr, " at member '%s'", run.member.c_str());
    }
    if (!run.refusal.empty()) {
        fprintf(stderr, ": %s", run.refusal.c_str());
    }
    fprintf(stderr, "\n");
    return 1;
}

// Walks the cabinet, then the later cabinets of its set for their own
// members. 0 when the whole set was read, else the exit code.
int WalkCabinetSet(Run& run, const fs::path& file)
{
    run.firstCabinet = true;
    run.members = 0;
    CabErrorRecord errors = {};
    CabDecoder* decoder = CreateCabDecoder(CabToolAllocate, CabToolFree, CabToolOpen, CabToolRead, CabToolWrite,
                                           CabToolClose, CabToolSeek, kCabProcessor386, &errors);
    if (decoder == nullptr) {
        return Fail(file.string(), errors, run);
    }
    const intptr_t handle = CabToolOpen(file.string().c_str(), kCabOpenReadOnly | kCabOpenBinary, 0);
    CabinetSummary summary = {};
    const int isCabinet = handle != -1 && IsCabinetFile(decoder, handle, &summary);
    if (handle != -1) {
        CabToolClose(handle);
    }
    if (!isCabinet) {
        if (!errors.failed) {
            errors = {int(handle == -1 ? CabError::CabinetNotFound : CabError::NotACabinet), 0, 1};
        }
        DestroyCabDecoder(decoder);
        return Fail(file.string(), errors, run);
    }
    fs::path current = file;
    for (;;) {
        const std::string folder = FolderOf(current);
        const std::string name = current.filename().string();
        if (!CopyCabinet(decoder, name.c_str(), folder.c_str(), 0, Handle, nullptr, &run)) {
            if (run.memberOpen) {
                std::error_code ec;
                fs::remove(fs::path(run.memberPath), ec);
            }
            DestroyCabDecoder(decoder);
            return Fail(current.string(), errors, run);
        }
        run.firstCabinet = false;
        const CabinetId id = ReadCabinetId(current);
        if (!id.hasNext || id.index == 0xFFFF) {
            break;
        }
        const fs::path next = FindCabinet(current.parent_path(), "", id.setId, uint16_t(id.index + 1));
        if (next.empty()) {
            break;  // the copy that needed it would have failed
        }
        current = next;
    }
    DestroyCabDecoder(decoder);
    return 0;
}

// Extracts only after the check has passed: a refused name, a named member
// that is missing or a cabinet that does not read to its end writes nothing.
int Extract(Run& run, const fs::path& file)
{
    run.mode = Mode::Check;
    if (int status = WalkCabinetSet(run, file); status != 0) {
        return status;
    }
    int status = 0;
    for (const std::string& refused : run.refused) {
        fprintf(stderr, "cabtool: %s: %s\n", file.string().c_str(), refused.c_str());
        status = 1;
    }
    for (const std::string& key : run.wanted) {
        if (run.seen.count(key) == 0) {
            fprintf(stderr, "cabtool: %s: no member named '%s'\n", file.string().c_str(), EscapedText(key).c_str());
            status = 1;
        }
    }
    if (status != 0) {
        return status;
    }
    std::error_code ec;
    fs::create_directories(fs::path(run.destination), ec);
    run.mode = Mode::Extract;
    return WalkCabinetSet(run, file);
}

// A file to store: its bytes, date, time and read-only attribute. Folders,
// pipes and devices are refused before anything is opened.
bool ReadInputFile(const char* argument, cabwriter::Member& member, std::string& error)
{
    const fs::path path(argument);
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status)) {
        error = ec ? "cannot be read: " + ec.message() : "no such file";
        return false;
    }
    if (fs::is_directory(status)) {
        error = "is a folder; create stores files, so name the files in it";
        return false;
    }
    if (!fs::is_regular_file(status)) {
        error = "is no regular file (a pipe, a device or a socket)";
        return false;
    }
    FILE* in = fopen(argument, "rb");
    if (in == nullptr) {
        error = std::string("cannot be read: ") + strerror(errno);
        return false;
    }
    char buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, in)) > 0) {
        member.data.insert(member.data.end(), buffer, buffer + got);
    }
    const bool failed = ferror(in) != 0;
    const int readError = errno;
    fclose(in);
    if (failed) {
        error = std::string("cannot be read: ") + strerror(readError);
        return false;
    }
    cabwriter::ToDosDateTime(fs::last_write_time(path, ec), member.date, member.time);
    const bool writable = (status.permissions() & fs::perms::owner_write) != fs::perms::none;
    member.attributes = uint16_t(0x20 | (writable ? 0 : 0x01));
    return true;
}

int Create(int argc, char** argv)
{
    cabwriter::Options options;
    int at = 2;
    for (; at < argc && argv[at][0] == '-' && argv[at][1] == '-'; ++at) {
        const std::string option = argv[at];
        if (option == "--store") {
            options.compressionType = cabwriter::kTypeStored;
        } else if (option == "--mszip") {
            options.compressionType = cabwriter::kTypeMszip;
        } else if (option.rfind("--quantum=", 0) == 0) {
            const int windowBits = atoi(option.c_str() + strlen("--quantum="));
            if (windowBits < 10 || windowBits > 21) {
                fputs(kUsage, stderr);
                return 2;
            }
            quantum::RegisterQuantumCompressor();
            options.compressionType = cabwriter::QuantumType(windowBits);
        } else if (option == "--no-checksums") {
            options.checksums = false;
        } else {
            fputs(kUsage, stderr);
            return 2;
        }
    }
    if (argc - at < 2) {
        fputs(kUsage, stderr);
        return 2;
    }
    UseCodePage(ArgumentCodePage());
    cabwriter::CabWriter writer(options);
    std::string error;
    for (int i = at + 1; i < argc; ++i) {
        cabwriter::Member member;
        member.name = MemberKey(argv[i]);
        if (!IsSafeMemberName(member.name.c_str())) {
            fprintf(stderr,
                    "cabtool: %s: the installer would refuse this member name; name files by relative "
                    "paths without '.' or '..' parts\n",
                    EscapedText(argv[i]).c_str());
            return 1;
        }
        if (!ReadInputFile(argv[i], member, error)) {
            fprintf(stderr, "cabtool: %s: %s\n", EscapedText(argv[i]).c_str(), error.c_str());
            return 1;
        }
        writer.AddMember(std::move(member));
    }
    if (!writer.WriteFile(argv[at], &error)) {
        fprintf(stderr, "cabtool: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

// The options of list, test and extract, before FILE: false on a bad one.
bool ReadNameOptions(int argc, char** argv, int& at)
{
#ifdef _WIN32
    UseNameCodePage(ArgumentCodePage());  // names are the system's own bytes: no options
    return at >= argc || strncmp(argv[at], "--", 2) != 0;
#else
    UseNameCodePage(1252);
    for (; at < argc && strncmp(argv[at], "--", 2) == 0; ++at) {
        const char* value = argv[at] + strlen("--codepage=");
        char* end = nullptr;
        const unsigned long codePage = strtoul(value, &end, 10);
        if (strncmp(argv[at], "--codepage=", strlen("--codepage=")) != 0 || end == value || *end != '\0' ||
            codePage == 0 || codePage > 65535 || !UseNameCodePage(unsigned(codePage))) {
            return false;
        }
    }
    return true;
#endif
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fputs(kUsage, stderr);
        return 2;
    }
    const std::string command = argv[1];
    if (command == "create") {
        return Create(argc, argv);
    }
    int at = 2;
    if (!ReadNameOptions(argc, argv, at)) {
        fputs(kUsage, stderr);
        return 2;
    }
    const int left = argc - at;
    Run run;
    if (command == "list" && left == 1) {
        run.mode = Mode::List;
    } else if (command == "test" && left == 1) {
        run.mode = Mode::Test;
    } else if (command == "extract" && left >= 2) {
        run.destination = argv[at + 1];
        for (int i = at + 2; i < argc; ++i) {
            run.wanted.insert(MemberKey(argv[i]));
        }
        const int status = Extract(run, argv[at]);
        if (status == 0) {
            printf("%llu members extracted: OK\n", static_cast<unsigned long long>(run.members));
        }
        return status;
    } else {
        fputs(kUsage, stderr);
        return 2;
    }
    const int status = WalkCabinetSet(run, argv[at]);
    if (status == 0 && run.mode == Mode::Test) {
        printf("%llu members tested: OK\n", static_cast<unsigned long long>(run.members));
    }
    return status;
}
