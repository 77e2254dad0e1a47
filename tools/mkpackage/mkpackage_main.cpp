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

namespace {

namespace fs = std::filesystem;
using namespace mkpackage;

constexpr int kExitErrors = 1;
constexpr int kExitUsage = 2;
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
                      "  -q, --quiet            print errors and warnings only\n"
                      "  -h, --help             show this text\n"
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

// Writes every output to a temporary file beside it first and renames them
// all only when every one was written, so that a failure leaves nothing.
bool WriteOutputs(const std::vector<std::pair<fs::path, const std::vector<uint8_t>*>>& outputs)
{
    std::vector<fs::path> written;
    bool ok = true;
    for (const auto& [path, bytes] : outputs) {
        fs::path temporary = path;
        temporary += ".mkpackage-tmp";
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes->data()), static_cast<std::streamsize>(bytes->size()));
        out.close();
        written.push_back(temporary);
        if (!out) {
            fprintf(stderr, "mkpackage: %s cannot be written\n", PathText(path).c_str());
            ok = false;
            break;
        }
    }
    std::error_code error;
    for (size_t i = 0; ok && i < outputs.size(); ++i) {
        fs::rename(written[i], outputs[i].first, error);
        if (error) {
            fprintf(stderr, "mkpackage: %s cannot be written: %s\n", PathText(outputs[i].first).c_str(),
                    error.message().c_str());
            ok = false;
        }
    }
    for (const fs::path& temporary : written)
        fs::remove(temporary, error);
    return ok;
}

void PrintDiagnostics(const Diagnostics& d)
{
    for (const std::string& warning : d.warnings)
        fprintf(stderr, "mkpackage: warning: %s\n", warning.c_str());
    for (const std::string& error : d.errors)
        fprintf(stderr, "mkpackage: error: %s\n", error.c_str());
}

void PrintSummary(const Options& options, const BuildSummary& summary, uint64_t setupBytes, double seconds)
{
    double ratio = summary.memberBytes == 0 ? 0.0 : 100.0 * summary.cabinetBytes / summary.memberBytes;
    printf("mkpackage: wrote %s\n", PathText(options.packageOnly ? options.package : options.output).c_str());
    printf("  files       %zu\n", summary.files);
    printf("  bytes       %llu (%llu with the splash pictures)\n", static_cast<unsigned long long>(summary.bytes),
           static_cast<unsigned long long>(summary.memberBytes));
    printf("  compressed  %llu (the cabinet)\n", static_cast<unsigned long long>(summary.cabinetBytes));
    printf("  ratio       %.1f %%\n", ratio);
    printf("  package     %llu bytes\n", static_cast<unsigned long long>(summary.packageBytes));
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
    if (!options.packageOnly && !ReadWholeFile(options.stub, stub))
        d.Error("--stub", "\"" + PathText(options.stub) + "\" cannot be read");
    if (!d.errors.empty()) {
        PrintDiagnostics(d);
        return kExitErrors;
    }

    std::vector<uint8_t> package;
    BuildSummary summary;
    bool built;
    {
        ProgressLine line(!options.quiet);
        built = BuildPackage(manifest, package, summary, d,
                             [&](const char* phase, uint64_t done, uint64_t total) { line.Show(phase, done, total); });
    }
    std::vector<uint8_t> setup;
    std::string error;
    if (built && !options.packageOnly && !EmbedPackage(stub, package, setup, error))
        d.Error("--stub", "\"" + PathText(options.stub) + "\": " + error);
    PrintDiagnostics(d);
    if (!d.errors.empty())
        return kExitErrors;

    std::vector<std::pair<fs::path, const std::vector<uint8_t>*>> outputs;
    if (!options.packageOnly)
        outputs.push_back({options.output, &setup});
    if (!options.package.empty())
        outputs.push_back({options.package, &package});
    if (!WriteOutputs(outputs))
        return kExitErrors;
    if (!options.quiet) {
        std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        PrintSummary(options, summary, setup.size(), elapsed.count());
    }
    return 0;
}
