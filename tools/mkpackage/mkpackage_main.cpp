// mkpackage: builds a product's setup.exe from a manifest and a content folder.
#include <chrono>
#include <cstdio>
#include <optional>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "tools/mkpackage/manifest.h"
#include "tools/mkpackage/product_builder.h"
#include "tools/mkpackage/setup_resources.h"
#include "tools/mkpackage/signing.h"

namespace {

namespace fs = std::filesystem;
using namespace mkpackage;

constexpr int kExitErrors = 1;
constexpr int kExitUsage = 2;
constexpr char kVersion[] = "1.0.0";
constexpr uint64_t kProgressThreshold = 8u << 20;  // inputs from 8 MiB on show their progress

const char kUsage[] = "Usage: mkpackage [options] MANIFEST\n"
                      "\n"
                      "Builds a product's setup.exe from MANIFEST (JSON, described in README.md\n"
                      "under \"Packaging a product\") and the content folder it names: the product's\n"
                      "files go into a cabinet, the settings of both languages and the cabinet into\n"
                      "the package, and the package into a copy of setup-stub.exe as its resource\n"
                      "RCDATA 104. Nothing is written when the manifest or the content has errors.\n"
                      "\n"
                      "Options:\n"
                      "  -o, --output FILE      the setup.exe to write (default: setup.exe)\n"
                      "  -s, --stub FILE        the front end that receives the package (default:\n"
                      "                         setup-stub.exe beside mkpackage)\n"
                      "  -p, --package FILE     also write the bare package (the resource's bytes)\n"
                      "      --package-only     write only the package given with --package, no\n"
                      "                         setup.exe and no stub needed\n"
                      "  -c, --compression NAME none, mszip or quantum; overrides the manifest\n"
                      "      --content FOLDER   the product's files; overrides the manifest\n"
                      "      --sign-command CMD run CMD on the engine before the stub carries it\n"
                      "                         and on the finished setup.exe; {} in CMD stands\n"
                      "                         for the file, which CMD signs in place\n"
                      "  -q, --quiet            print errors and warnings only\n"
                      "  -h, --help             show this text\n"
                      "      --version          show mkpackage's version\n"
                      "\n"
                      "Windows version names for \"osMask\" (any letter case):\n";

struct Options {
    fs::path manifest;
    fs::path output = "setup.exe";
    fs::path stub;
    fs::path package;
    bool packageOnly = false;
    std::optional<uint16_t> compressionType;
    fs::path content;
    bool quiet = false;
    std::string signCommand;
};

void PrintUsage(FILE* out)
{
    fputs(kUsage, out);
    for (size_t i = 0; i < kOsNameCount; ++i)
        fprintf(out, "  %-12s 0x%05X  %s\n", kOsNames[i].name, static_cast<unsigned>(kOsNames[i].mask),
                kOsNames[i].meaning);
}

// The folder of this program, where the stub is looked for by default.
fs::path OwnFolder(const char* argument0)
{
#ifdef _WIN32
    wchar_t path[32768];
    DWORD length = GetModuleFileNameW(nullptr, path, 32768);
    if (length > 0 && length < 32768)
        return fs::path(path).parent_path();
#else
    std::error_code error;
    fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error)
        return self.parent_path();
#endif
    return fs::path(argument0).parent_path();
}

// 0 when the options are complete, else the exit code.
int ParseOptions(int argc, char** argv, Options& options)
{
    auto value = [&](int& i) -> const char* {
        if (i + 1 >= argc) {
            fprintf(stderr, "mkpackage: %s needs a value\n", argv[i]);
            return nullptr;
        }
        return argv[++i];
    };
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const char* v = nullptr;
        if (arg == "-h" || arg == "--help") {
            PrintUsage(stdout);
            exit(0);
        } else if (arg == "-o" || arg == "--output") {
            if (!(v = value(i)))
                return kExitUsage;
            options.output = PathFromUtf8(v);
        } else if (arg == "-s" || arg == "--stub") {
            if (!(v = value(i)))
                return kExitUsage;
            options.stub = PathFromUtf8(v);
        } else if (arg == "-p" || arg == "--package") {
            if (!(v = value(i)))
                return kExitUsage;
            options.package = PathFromUtf8(v);
        } else if (arg == "--package-only") {
            options.packageOnly = true;
        } else if (arg == "-c" || arg == "--compression") {
            uint16_t type = 0;
            if (!(v = value(i)))
                return kExitUsage;
            if (!CompressionTypeByName(v, type)) {
                fprintf(stderr, "mkpackage: %s must be none, mszip or quantum (see mkpackage --help)\n", arg.c_str());
                return kExitUsage;
            }
            options.compressionType = type;
        } else if (arg == "--content") {
            if (!(v = value(i)))
                return kExitUsage;
            options.content = PathFromUtf8(v);
        } else if (arg == "--version") {
            printf("mkpackage %s\n", kVersion);
            exit(0);
        } else if (arg == "--sign-command") {
            if (!(v = value(i)))
                return kExitUsage;
            if (!IsSignCommand(v)) {
                fprintf(stderr, "mkpackage: --sign-command needs {} where the file to sign goes\n");
                return kExitUsage;
            }
            options.signCommand = v;
        } else if (arg == "-q" || arg == "--quiet") {
            options.quiet = true;
        } else if (!arg.empty() && arg[0] == '-') {
            fprintf(stderr, "mkpackage: unknown option %s (see mkpackage --help)\n", arg.c_str());
            return kExitUsage;
        } else if (options.manifest.empty()) {
            options.manifest = PathFromUtf8(arg);
        } else {
            fprintf(stderr, "mkpackage: only one manifest, please (see mkpackage --help)\n");
            return kExitUsage;
        }
    }
    if (options.manifest.empty()) {
        fprintf(stderr, "mkpackage: no manifest given (see mkpackage --help)\n");
        return kExitUsage;
    }
    if (options.packageOnly && options.package.empty()) {
        fprintf(stderr, "mkpackage: --package-only needs --package FILE\n");
        return kExitUsage;
    }
    if (options.packageOnly && !options.signCommand.empty()) {
        fprintf(stderr, "mkpackage: --sign-command signs setup.exe, which --package-only does not write\n");
        return kExitUsage;
    }
    if (options.stub.empty())
        options.stub = OwnFolder(argv[0]) / "setup-stub.exe";
    return 0;
}

// True when both paths name the same file, also through links; for a path
// that does not exist yet, when both spell the same place.
bool SameFile(const fs::path& a, const fs::path& b)
{
    std::error_code error;
    if (fs::exists(a, error) && fs::exists(b, error))
        return fs::equivalent(a, b, error);
    return fs::weakly_canonical(a, error) == fs::weakly_canonical(b, error);
}

// An output may overwrite no file the package is made from, nor the other output.
void CheckOutputsAreNoInputs(const Options& options, const Manifest& manifest, Diagnostics& d)
{
    std::vector<std::pair<std::string, fs::path>> inputs = {{"the manifest", options.manifest}};
    if (!options.packageOnly)
        inputs.push_back({"the stub", options.stub});
    if (manifest.splash) {
        inputs.push_back({"the splash picture", manifest.splash->picture});
        inputs.push_back({"the splash mask", manifest.splash->mask});
    }
    if (manifest.setup.icon)
        inputs.push_back({"the icon", *manifest.setup.icon});
    Diagnostics contentDiagnostics;  // the build reports them
    std::vector<ContentFile> files;
    ScanContent(manifest.content, manifest.fileNameEncoding, files, contentDiagnostics);
    for (const ContentFile& file : files)
        inputs.push_back({"a content file", file.path});

    std::vector<std::pair<std::string, fs::path>> outputs;
    if (!options.packageOnly)
        outputs.push_back({"--output", options.output});
    if (!options.package.empty())
        outputs.push_back({"--package", options.package});
    for (const auto& [option, output] : outputs) {
        for (const auto& [what, input] : inputs) {
            if (SameFile(output, input))
                d.Error(option, "\"" + PathText(output) + "\" is " + what + "; it would be overwritten");
        }
    }
    if (outputs.size() == 2 && SameFile(outputs[0].second, outputs[1].second))
        d.Error("--package", "\"" + PathText(options.package) + "\" is also the --output file");
}

bool IsTerminal(FILE* stream)
{
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

// One line on the terminal, rewritten in place while the work goes on.
class ProgressLine {
public:
    explicit ProgressLine(bool enabled) : enabled_(enabled && IsTerminal(stderr)) {}
    ~ProgressLine() { Finish(); }

    void Show(const char* phase, uint64_t done, uint64_t total)
    {
        if (!enabled_ || total < kProgressThreshold)
            return;
        int percent = static_cast<int>(done * 100 / total);
        if (percent == lastPercent_ && phase == lastPhase_)
            return;
        lastPercent_ = percent;
        lastPhase_ = phase;
        if (done == 0)
            fprintf(stderr, "\rmkpackage: %-11s %.1f MiB ...       ", phase, total / 1048576.0);
        else
            fprintf(stderr, "\rmkpackage: %-11s %3d %% of %.1f MiB", phase, percent, total / 1048576.0);
        fflush(stderr);
        shown_ = true;
    }

    void Finish()
    {
        if (shown_)
            fputs("\n", stderr);
        shown_ = false;
    }

private:
    bool enabled_;
    bool shown_ = false;
    int lastPercent_ = -1;
    std::string lastPhase_;
};

// A program written on Linux is marked executable where it may be read.
void MarkExecutable(const fs::path& path)
{
#ifndef _WIN32
    std::error_code error;
    fs::perms perms = fs::status(path, error).permissions();
    fs::perms add = fs::perms::none;
    if ((perms & fs::perms::owner_read) != fs::perms::none)
        add |= fs::perms::owner_exec;
    if ((perms & fs::perms::group_read) != fs::perms::none)
        add |= fs::perms::group_exec;
    if ((perms & fs::perms::others_read) != fs::perms::none)
        add |= fs::perms::others_exec;
    fs::permissions(path, add, fs::perm_options::add, error);
#else
    (void)path;
#endif
}

// The finished setup.exe, signed when a sign command is given: it must still
// carry the package as written (its first headBytes hold its headers and
// resource directory, as before signing).
bool SignSetup(const std::string& command, const fs::path& file, size_t headBytes, const fs::path& package)
{
    std::string error;
    if (!RunSignCommand(command, file, error)) {
        fprintf(stderr, "mkpackage: error: --sign-command: %s\n", error.c_str());
        return false;
    }
    if (!CarriesPackage(file, headBytes, package)) {
        fprintf(stderr, "mkpackage: error: --sign-command: the signed setup.exe no longer carries the package\n");
        return false;
    }
    return true;
}

// The temporary file an output is written to before it is renamed.
fs::path TemporaryFor(const fs::path& path, const std::string& role)
{
    fs::path temporary = path;
    temporary += ".mkpackage-" + role + path.extension().string();
    return temporary;
}

// Creates the folders the outputs go to, where missing; the ones made, the
// innermost last.
std::vector<fs::path> CreateOutputFolders(const Options& options)
{
    std::vector<fs::path> made;
    std::error_code error;
    for (const fs::path& path : {options.packageOnly ? fs::path() : options.output, options.package}) {
        std::vector<fs::path> missing;
        for (fs::path folder = path.parent_path(); !folder.empty() && !fs::exists(folder, error);
             folder = folder.parent_path())
            missing.insert(missing.begin(), folder);
        if (!path.parent_path().empty())
            fs::create_directories(path.parent_path(), error);
        made.insert(made.end(), missing.begin(), missing.end());
    }
    return made;
}

// Writes setup.exe from its layout, the package streamed in from its file,
// and reads the package back from it.
bool WriteSetup(const pe::SplitImage& layout, const fs::path& package, const fs::path& setup)
{
    std::ifstream packageBytes(package, std::ios::binary);
    std::ofstream out(setup, std::ios::binary | std::ios::trunc);
    std::string error;
    bool written = packageBytes && out && pe::WriteSplitImage(layout, packageBytes, out, error);
    out.close();
    if (!written || !out) {
        fprintf(stderr, "mkpackage: %s cannot be written\n", PathText(setup).c_str());
        return false;
    }
    if (!CarriesPackage(setup, layout.head.size(), package)) {
        fprintf(stderr, "mkpackage: error: the package resource of %s does not read back as written\n",
                PathText(setup).c_str());
        return false;
    }
    return true;
}

struct Output {
    fs::path path;
    fs::path temporary;
    bool isSetup;
};

// Moves every output from its temporary file into place; the temporary
// files are removed in any case, so that a failure leaves nothing.
bool RenameOutputs(const std::vector<Output>& outputs, bool ok)
{
    std::error_code error;
    for (size_t i = 0; ok && i < outputs.size(); ++i) {
        fs::rename(outputs[i].temporary, outputs[i].path, error);
        if (error) {
            fprintf(stderr, "mkpackage: %s cannot be written: %s\n", PathText(outputs[i].path).c_str(),
                    error.message().c_str());
            ok = false;
        } else if (outputs[i].isSetup) {
            MarkExecutable(outputs[i].path);
        }
    }
    for (const Output& output : outputs)
        fs::remove(output.temporary, error);
    return ok;
}

void PrintDiagnostics(const Diagnostics& d)
{
    for (const std::string& warning : d.warnings)
        fprintf(stderr, "mkpackage: warning: %s\n", warning.c_str());
    for (const std::string& error : d.errors)
        fprintf(stderr, "mkpackage: error: %s\n", error.c_str());
}

void PrintSummary(const Options& options, const Manifest& manifest, const BuildSummary& summary, uint64_t setupBytes,
                  double seconds)
{
    double ratio = summary.memberBytes == 0 ? 0.0 : 100.0 * summary.cabinetBytes / summary.memberBytes;
    printf("mkpackage: wrote %s\n", PathText(options.packageOnly ? options.package : options.output).c_str());
    printf("  files       %zu\n", summary.files);
    printf("  bytes       %llu (%llu with the splash pictures)\n", static_cast<unsigned long long>(summary.bytes),
           static_cast<unsigned long long>(summary.memberBytes));
    printf("  compressed  %llu (the cabinet)\n", static_cast<unsigned long long>(summary.cabinetBytes));
    printf("  compression %s\n", CompressionDescription(manifest.compressionType).c_str());
    printf("  ratio       %.1f %%\n", ratio);
    printf("  package     %llu bytes, %s\n", static_cast<unsigned long long>(summary.packageBytes),
           options.package.empty() ? "no package file written (--package FILE writes one)"
                                   : ("also written to " + PathText(options.package)).c_str());
    if (!options.packageOnly)
        printf("  setup.exe   %llu bytes\n", static_cast<unsigned long long>(setupBytes));
    printf("  time        %.2f s\n", seconds);
}

}  // namespace

int main(int argc, char** argv)
{
    auto start = std::chrono::steady_clock::now();
    Options options;
    if (int status = ParseOptions(argc, argv, options); status != 0)
        return status;

    Diagnostics d;
    Manifest manifest;
    ReadManifest(options.manifest, manifest, d);
    if (!options.content.empty())
        manifest.content = options.content;
    if (options.compressionType)
        manifest.compressionType = *options.compressionType;
    if (d.errors.empty())
        CheckOutputsAreNoInputs(options, manifest, d);
    std::vector<uint8_t> stub;
    SetupIdentity identity;
    if (!options.packageOnly && !ReadWholeFile(options.stub, stub))
        d.Error("--stub", "\"" + PathText(options.stub) + "\" cannot be read");
    if (d.errors.empty() && !options.packageOnly)
        IdentityFromManifest(manifest, identity, d);
    std::string error;
    if (d.errors.empty() && !options.signCommand.empty()) {
        std::vector<uint8_t> signedStub;
        fs::path scratch = options.output;
        scratch += ".mkpackage-engine.exe";
        std::error_code folderError;
        if (!options.output.parent_path().empty())
            fs::create_directories(options.output.parent_path(), folderError);
        if (SignStubEngine(stub, options.signCommand, scratch, signedStub, error))
            stub = std::move(signedStub);
        else
            d.Error("--sign-command", error);
    }
    if (!d.errors.empty()) {
        PrintDiagnostics(d);
        return kExitErrors;
    }

    // The package is built into a file and streamed into setup.exe from it,
    // so that no copy of it is held.
    const std::vector<fs::path> madeFolders = CreateOutputFolders(options);
    const fs::path first = options.packageOnly ? options.package : options.output;
    std::vector<Output> outputs;
    if (!options.packageOnly)
        outputs.push_back({options.output, TemporaryFor(options.output, "tmp"), true});
    outputs.push_back(
        {options.package,
         options.package.empty() ? TemporaryFor(options.output, "package") : TemporaryFor(options.package, "tmp"),
         false});
    const fs::path packageFile = outputs.back().temporary;
    BuildSummary summary;
    bool built;
    {
        ProgressLine line(!options.quiet);
        built = BuildPackage(manifest, packageFile, TemporaryFor(first, "cabinet"), summary, d,
                             [&](const char* phase, uint64_t done, uint64_t total) { line.Show(phase, done, total); });
    }
    pe::SplitImage layout;
    if (built && !options.packageOnly &&
        !BuildSetup(stub, static_cast<uint32_t>(summary.packageBytes), identity, layout, error))
        d.Error("--stub", "\"" + PathText(options.stub) + "\": " + error);
    PrintDiagnostics(d);
    bool ok = d.errors.empty();
    if (ok && !options.packageOnly) {
        ok = WriteSetup(layout, packageFile, outputs.front().temporary) &&
             (options.signCommand.empty() ||
              SignSetup(options.signCommand, outputs.front().temporary, layout.head.size(), packageFile));
    }
    std::error_code ignored;
    if (options.package.empty()) {  // the package file was scratch only
        outputs.pop_back();
        fs::remove(packageFile, ignored);
    }
    if (!RenameOutputs(outputs, ok)) {
        for (auto folder = madeFolders.rbegin(); folder != madeFolders.rend(); ++folder)
            fs::remove(*folder, ignored);  // only while empty
        return kExitErrors;
    }
    uint64_t setupBytes = options.packageOnly ? 0 : fs::file_size(options.output, ignored);
    if (!options.quiet) {
        std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        PrintSummary(options, manifest, summary, setupBytes, elapsed.count());
    }
    return 0;
}
