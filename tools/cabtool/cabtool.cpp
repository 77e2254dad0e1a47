// cabtool: lists, tests, extracts and creates cabinets with the engine's own
// reader and the cabinet writer of the build tools.
#include <fcntl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "package/cab/cab_decoder.h"
#include "tools/cabtool/cab_file_io.h"
#include "tools/cabwriter/cab_writer.h"
#include "tools/quantum/quantum_compressor.h"

namespace fs = std::filesystem;

namespace {

constexpr char kUsage[] =
    "usage: cabtool list FILE\n"
    "       cabtool test FILE\n"
    "       cabtool extract FILE DIR [MEMBER...]\n"
    "       cabtool create [--store|--mszip|--quantum=W] [--no-checksums] OUT.cab FILE...\n"
    "                (W: Quantum window bits, 10 to 21)\n";

enum class Mode { List, Test, Extract };

struct Run {
    Mode mode = Mode::List;
    fs::path destination;
    std::set<std::string> wanted;  // empty: every member
    bool firstCabinet = true;
    std::string member;            // the member being written
    fs::path memberPath;
    bool memberOpen = false;
    std::string refusal;           // why the handler aborted
    uint64_t members = 0;
    uint64_t bytes = 0;
};

std::string Slashed(std::string name) {
    for (char& c : name) {
        if (c == '\\') {
            c = '/';
        }
    }
    return name;
}

// The member's path below the destination, or empty when its name would
// leave the destination (absolute, or with a ".." component).
fs::path SafeMemberPath(const fs::path& destination, const std::string& name) {
    const fs::path relative = fs::path(Slashed(name)).relative_path();
    if (relative.empty() || fs::path(Slashed(name)).has_root_directory()) {
        return {};
    }
    for (const fs::path& part : relative) {
        if (part == "..") {
            return {};
        }
    }
    return destination / relative;
}

void PrintMember(const CabNotification& n) {
    printf("%10u  %04d-%02d-%02d %02d:%02d:%02d  %s\n", unsigned(n.size), 1980 + (n.date >> 9),
           (n.date >> 5) & 15, n.date & 31, n.time >> 11, (n.time >> 5) & 63, (n.time & 31) * 2,
           n.text1);
}

struct CabinetId {
    bool ok = false;
    uint16_t setId = 0;
    uint16_t index = 0;
    bool hasNext = false;
};

CabinetId ReadCabinetId(const fs::path& path) {
    uint8_t raw[36];
    std::ifstream in(path, std::ios::binary);
    CabinetId id;
    if (!in.read(reinterpret_cast<char*>(raw), sizeof raw) || memcmp(raw, "MSCF", 4) != 0) {
        return id;
    }
    id.ok = true;
    id.hasNext = (raw[30] & 0x02) != 0;
    id.setId = uint16_t(raw[32] | raw[33] << 8);
    id.index = uint16_t(raw[34] | raw[35] << 8);
    return id;
}

// The cabinet of the set beside the others: the named file when it carries
// the expected set id and index, else any file of the folder that does.
fs::path FindCabinet(const fs::path& folder, const std::string& name, uint16_t setId, uint16_t index) {
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

intptr_t OpenMember(Run& run, const CabNotification& n) {
    const std::string name = n.text1;
    if (run.mode == Mode::Test) {
        run.member = name;
        printf("%10u  %s\n", unsigned(n.size), n.text1);
        return kDiscardHandle;
    }
    if (!run.wanted.empty() && !run.wanted.count(name) && !run.wanted.count(Slashed(name))) {
        return 0;
    }
    run.member = name;
    const fs::path path = SafeMemberPath(run.destination, name);
    if (path.empty()) {
        run.refusal = "unsafe member name";
        return -1;
    }
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    const intptr_t handle = CabToolOpen(path.string().c_str(),
                                        kCabOpenWriteOnly | kCabOpenCreate | kCabOpenTruncate | kCabOpenBinary,
                                        kCabPermissionRead | kCabPermissionWrite);
    if (handle == -1) {
        run.refusal = "cannot create " + path.string();
        return -1;
    }
    run.memberPath = path;
    run.memberOpen = true;
    printf("%10u  %s\n", unsigned(n.size), n.text1);
    return handle;
}

intptr_t Handle(CabNotificationType type, CabNotification* n) {
    Run& run = *static_cast<Run*>(n->userContext);
    switch (type) {
    case PartialFile:
        if (run.mode == Mode::List && run.firstCabinet) {
            printf("%10u  (continued) %s\n", unsigned(n->size), n->text1);
        }
        return 0;
    case CopyFile:
        if (run.mode == Mode::List) {
            PrintMember(*n);
            ++run.members;
            run.bytes += uint32_t(n->size);
            return 0;
        }
        return OpenMember(run, *n);
    case CloseFileInfo:
        CabToolClose(n->fileHandle);
        run.memberOpen = false;
        run.member.clear();
        ++run.members;
        return 1;
    case NextCabinet: {
        const fs::path found = FindCabinet(n->text3, n->text1, n->setId, n->cabinetIndex);
        const std::string file = found.filename().string();
        if (!found.empty() && file.size() < 256) {
            memcpy(n->text1, file.c_str(), file.size() + 1);
        }
        return 0;
    }
    default:
        return 0;
    }
}

std::string FolderOf(const fs::path& path) {
    std::string folder = path.parent_path().string();
    if (!folder.empty()) {
        folder += fs::path::preferred_separator;
    }
    return folder;
}

int Fail(const std::string& file, const CabErrorRecord& errors, const Run& run) {
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

// Copies the cabinet, then the later cabinets of its set for their own members.
int ReadCabinet(Run& run, const fs::path& file) {
    CabErrorRecord errors = {};
    CabDecoder* decoder = CreateCabDecoder(CabToolAllocate, CabToolFree, CabToolOpen, CabToolRead,
                                           CabToolWrite, CabToolClose, CabToolSeek, kCabProcessor386, &errors);
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
                fs::remove(run.memberPath, ec);
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
    if (run.mode != Mode::List) {
        printf("%llu members%s: OK\n", static_cast<unsigned long long>(run.members),
               run.mode == Mode::Test ? " tested" : " extracted");
    }
    return 0;
}

int Create(int argc, char** argv) {
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
    cabwriter::CabWriter writer(options);
    std::string error;
    for (int i = at + 1; i < argc; ++i) {
        std::string stored = argv[i];
        for (char& c : stored) {
            if (c == '/') {
                c = '\\';
            }
        }
        if (!writer.AddFile(stored, argv[i], &error)) {
            fprintf(stderr, "cabtool: %s\n", error.c_str());
            return 1;
        }
    }
    if (!writer.WriteFile(argv[at], &error)) {
        fprintf(stderr, "cabtool: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fputs(kUsage, stderr);
        return 2;
    }
    const std::string command = argv[1];
    if (command == "create") {
        return Create(argc, argv);
    }
    Run run;
    if (command == "list" && argc == 3) {
        run.mode = Mode::List;
    } else if (command == "test" && argc == 3) {
        run.mode = Mode::Test;
    } else if (command == "extract" && argc >= 4) {
        run.mode = Mode::Extract;
        run.destination = argv[3];
        for (int i = 4; i < argc; ++i) {
            run.wanted.insert(argv[i]);
        }
    } else {
        fputs(kUsage, stderr);
        return 2;
    }
    return ReadCabinet(run, argv[2]);
}
