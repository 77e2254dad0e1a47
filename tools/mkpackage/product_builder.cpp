#include "tools/mkpackage/product_builder.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <optional>

#include "package/package_format.h"
#include "tools/cabwriter/cab_writer.h"
#include "tools/common/pe_resources.h"
#include "tools/quantum/quantum_compressor.h"

namespace mkpackage {
namespace {

namespace fs = std::filesystem;

// A cabinet folder counts its data blocks in 16 bits, each at most 32 KiB.
constexpr uint64_t kMaxFolderBytes = 65535ull * 32768;

// One folder or file name of the content, in the cabinet's encoding.
bool MemberComponent(const std::string& utf8, FileNameEncoding encoding, std::string& out, std::string& problem)
{
    problem = FileNameProblem(utf8);
    if (!problem.empty())
        return false;
    switch (encoding) {
    case FileNameEncoding::kAscii:
        if (std::any_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<uint8_t>(c) >= 0x80; })) {
            problem = "is not ASCII; set \"fileNameEncoding\" to store such names";
            return false;
        }
        out = utf8;
        return true;
    case FileNameEncoding::kShiftJis: return ConvertFromUtf8(utf8, CodePage::kShiftJis, out, problem);
    case FileNameEncoding::kWindows1252: return ConvertFromUtf8(utf8, CodePage::kWindows1252, out, problem);
    }
    return false;
}

bool MemberName(const fs::path& relative, FileNameEncoding encoding, std::string& name, std::string& problem)
{
    name.clear();
    for (const fs::path& component : relative) {
        std::string converted;
        if (!MemberComponent(PathText(component), encoding, converted, problem))
            return false;
        name += (name.empty() ? "" : "\\") + converted;
    }
    if (name.size() > kMaxMemberNameLength) {
        problem = "gives a member name of " + std::to_string(name.size()) + " bytes; a cabinet holds at most " +
                  std::to_string(kMaxMemberNameLength);
        return false;
    }
    bool reserved = std::any_of(std::begin(kInstallerMembers), std::end(kInstallerMembers),
                                [&](const char* r) { return LowerAscii(name) == r; });
    if (reserved) {
        problem = "is a name the installer keeps for itself ($, $bmp and $mask)";
        return false;
    }
    return true;
}

// Colour-table entries as the installer counts them when it draws.
uint32_t DrawnColourCount(uint32_t used, uint32_t important, uint16_t bitCount)
{
    uint32_t count = used != 0 ? used : important != 0 ? important : bitCount <= 8 ? 1u << bitCount : 0;
    return count > 256 ? 0 : count;
}

// Shortcut targets and required files that name no content file are worth a
// warning: an install command may make them, but more often it is a typo.
void WarnAboutMissingTargets(const SettingsBlock& block, const std::string& language,
                             const std::vector<ContentFile>& files, Diagnostics& d)
{
    auto isMember = [&](const std::string& path) {
        return std::any_of(files.begin(), files.end(),
                           [&](const ContentFile& f) { return LowerAscii(f.memberName) == LowerAscii(path); });
    };
    for (size_t i = 0; i < block.shortcuts.size(); ++i) {
        if (!isMember(block.shortcuts[i].target))
            d.Warning(language + ".shortcuts[" + std::to_string(i) + "].target", "names no file of the content folder");
    }
    for (size_t i = 0; i < block.checks.size(); ++i) {
        const std::string& subject = block.checks[i].subject;
        bool relative = subject.find(':') == std::string::npos && subject.rfind("\\", 0) != 0;
        if (block.checks[i].kind == 0 && relative && !isMember(subject))
            d.Warning(language + ".checks[" + std::to_string(i) + "].requiredFile",
                      "names no file of the content folder");
    }
}

// Walks the content folder. A symbolic link, to a file or to a folder, is
// followed when its target lies inside the content folder and refused
// otherwise; a link to a folder that holds it is a loop. Files and folders
// share one list of names, so that two differing only in letter case are
// found whichever kinds they are.
struct ContentScan {
    fs::path root;
    fs::path canonicalRoot;
    FileNameEncoding encoding;
    std::vector<ContentFile>& files;
    Diagnostics& d;
    std::map<std::string, std::string> seen;  // lower-case member name -> its first spelling
    std::vector<fs::path> walking;            // canonical folders being walked, outermost first

    static bool IsInside(const fs::path& folder, const fs::path& path)
    {
        auto inner = path.begin();
        for (auto outer = folder.begin(); outer != folder.end(); ++outer, ++inner) {
            if (inner == path.end() || *outer != *inner)
                return false;
        }
        return true;
    }

    // False, with the error told, for a name that differs from an earlier one only in case.
    bool NoteName(const std::string& memberName, const fs::path& relative, const std::string& where)
    {
        auto [previous, fresh] = seen.emplace(LowerAscii(memberName), PathText(relative));
        if (!fresh)
            d.Error(where,
                    "differs from \"" + previous->second + "\" only in letter case, which Windows does not tell apart");
        return fresh;
    }

    // True for a link that may be followed; false, with the error told, otherwise.
    bool MayFollow(const fs::path& link, const std::string& where)
    {
        std::error_code error;
        const std::string target = PathText(fs::read_symlink(link, error));
        const fs::path resolved = fs::canonical(link, error);
        if (error == std::errc::too_many_symbolic_link_levels) {
            d.Error(where, "is a link loop (\"" + target + "\" leads back to itself)");
            return false;
        }
        if (error) {
            d.Error(where, "is a link to \"" + target + "\", which does not exist");
            return false;
        }
        if (!IsInside(canonicalRoot, resolved)) {
            d.Error(where,
                    "is a link to \"" + target +
                        "\", outside the content folder; only links to files and folders inside it are followed");
            return false;
        }
        return true;
    }

    void WalkFolder(const fs::path& folder, const fs::path& canonicalFolder)
    {
        std::error_code error;
        std::vector<fs::path> entries;
        for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
            entries.push_back(it->path());
        const fs::path relativeFolder = folder.lexically_relative(root);
        if (error) {
            d.Error("content folder \"" + PathText(relativeFolder) + "\"", "cannot be read: " + error.message());
            return;
        }
        if (entries.empty() && folder != root)
            d.Warning("content file \"" + PathText(relativeFolder) + "\"",
                      "is an empty folder; a cabinet holds files only, so it is left out");
        std::sort(entries.begin(), entries.end());
        walking.push_back(canonicalFolder);
        for (const fs::path& path : entries)
            WalkEntry(path);
        walking.pop_back();
    }

    void WalkEntry(const fs::path& path)
    {
        const fs::path relative = path.lexically_relative(root);
        const std::string where = "content file \"" + PathText(relative) + "\"";
        std::error_code error;
        if (fs::is_symlink(fs::symlink_status(path, error)) && !MayFollow(path, where))
            return;
        const fs::file_status status = fs::status(path, error);
        ContentFile file;
        std::string problem;
        const bool named = MemberName(relative, encoding, file.memberName, problem);
        if (fs::is_directory(status)) {
            const fs::path canonical = fs::canonical(path, error);
            if (std::find(walking.begin(), walking.end(), canonical) != walking.end()) {
                d.Error(where, "is a link loop (it leads to \"" +
                                   PathText(canonical.lexically_relative(canonicalRoot)) +
                                   "\", a folder that holds it)");
                return;
            }
            if (!named || NoteName(file.memberName, relative, where))
                WalkFolder(path, canonical);
            return;
        }
        if (!fs::is_regular_file(status)) {
            d.Error(where, "is neither a file nor a folder");
            return;
        }
        if (!named) {
            d.Error(where, problem);
            return;
        }
        if (!NoteName(file.memberName, relative, where))
            return;
        file.path = path;
        file.size = fs::file_size(path, error);
        files.push_back(file);
    }
};

// Non-ASCII names are stored as bytes of one code page, and the installer
// creates the files with these bytes as they are, read in the system's own
// code page: elsewhere the names come out wrong.
void WarnAboutCodePageNames(const fs::path& folder, const std::vector<ContentFile>& files, FileNameEncoding encoding,
                            Diagnostics& d)
{
    auto isNonAscii = [](const ContentFile& file) {
        return std::any_of(file.memberName.begin(), file.memberName.end(),
                           [](char c) { return static_cast<uint8_t>(c) >= 0x80; });
    };
    auto first = std::find_if(files.begin(), files.end(), isNonAscii);
    if (first == files.end())
        return;
    size_t others = static_cast<size_t>(std::count_if(files.begin(), files.end(), isNonAscii)) - 1;
    const char* page = encoding == FileNameEncoding::kShiftJis ? "932" : "1252";
    std::string name = encoding == FileNameEncoding::kShiftJis ? "Shift-JIS" : "Windows-1252";
    d.Warning("content file \"" + PathText(first->path.lexically_relative(folder)) + "\"",
              (others == 0 ? std::string("has a non-ASCII name")
                           : "and " + std::to_string(others) + " more have non-ASCII names") +
                  ", stored in " + name + " (code page " + page +
                  "); the installer creates files with these name bytes in the system's code page, so on systems "
                  "whose code page is not " +
                  page + " they install under wrong names");
}

}  // namespace

bool ScanContent(const fs::path& folder, FileNameEncoding encoding, std::vector<ContentFile>& files, Diagnostics& d)
{
    files.clear();
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        d.Error("content", "\"" + PathText(folder) + "\" is no folder");
        return false;
    }
    size_t errorsBefore = d.errors.size();
    ContentScan scan{folder, fs::canonical(folder, error), encoding, files, d, {}, {}};
    if (!error)
        scan.WalkFolder(folder, scan.canonicalRoot);
    if (error) {
        d.Error("content", "\"" + PathText(folder) + "\" cannot be read: " + error.message());
        return false;
    }
    std::sort(files.begin(), files.end(), [](const ContentFile& a, const ContentFile& b) {
        std::string la = LowerAscii(a.memberName), lb = LowerAscii(b.memberName);
        return la != lb ? la < lb : a.memberName < b.memberName;
    });
    WarnAboutCodePageNames(folder, files, encoding, d);
    return d.errors.size() == errorsBefore;
}

bool CheckSplashBitmap(const fs::path& file, const std::string& where, int32_t& width, int32_t& height, Diagnostics& d)
{
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(file, bytes)) {
        d.Error(where, "\"" + PathText(file) + "\" cannot be read");
        return false;
    }
    constexpr size_t kFileHeader = 14, kInfoHeader = 40;
    if (bytes.size() < kFileHeader + kInfoHeader || bytes[0] != 'B' || bytes[1] != 'M') {
        d.Error(where, "is no BMP file");
        return false;
    }
    uint32_t pixelOffset = ReadLittleEndian32(&bytes[10]);
    uint32_t headerSize = ReadLittleEndian32(&bytes[14]);
    width = static_cast<int32_t>(ReadLittleEndian32(&bytes[18]));
    height = static_cast<int32_t>(ReadLittleEndian32(&bytes[22]));
    uint16_t planes = ReadLittleEndian16(&bytes[26]), bitCount = ReadLittleEndian16(&bytes[28]);
    uint32_t compression = ReadLittleEndian32(&bytes[30]);
    uint32_t colours = DrawnColourCount(ReadLittleEndian32(&bytes[46]), ReadLittleEndian32(&bytes[50]), bitCount);
    if (headerSize != kInfoHeader) {
        d.Error(where, "has a " + std::to_string(headerSize) +
                           "-byte bitmap header; the installer draws only BMP files with the 40-byte header "
                           "(Windows 3 format)");
        return false;
    }
    if (width <= 0 || height <= 0) {
        d.Error(where, "must have a positive width and height (a bottom-up bitmap)");
        return false;
    }
    if (planes != 1 || compression != 0 ||
        (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)) {
        d.Error(where, "must be an uncompressed bitmap of 1, 4, 8, 16, 24 or 32 bits per pixel");
        return false;
    }
    uint64_t expectedOffset = kFileHeader + kInfoHeader + 4ull * colours;
    if (pixelOffset != expectedOffset) {
        d.Error(where, "has its pixels at byte " + std::to_string(pixelOffset) + ", but the installer expects them " +
                           "right behind the header and its " + std::to_string(colours) + " colours, at byte " +
                           std::to_string(expectedOffset));
        return false;
    }
    uint64_t rowBytes = (uint64_t(width) * bitCount + 31) / 32 * 4;
    if (expectedOffset + rowBytes * uint64_t(height) > bytes.size()) {
        d.Error(where, "is shorter than its pixels need");
        return false;
    }
    return true;
}

namespace {

// Checks the manifest's files and adds them to the cabinet writer, made here.
bool PlanCabinet(const Manifest& manifest, std::optional<cabwriter::CabWriter>& cabinet, BuildSummary& summary,
                 Diagnostics& d, const Progress& progress)
{
    summary = {};
    std::vector<ContentFile> files;
    bool contentOk = ScanContent(manifest.content, manifest.fileNameEncoding, files, d);
    if (manifest.splash) {
        int32_t pictureWidth = 0, pictureHeight = 0, maskWidth = 0, maskHeight = 0;
        if (CheckSplashBitmap(manifest.splash->picture, "splash.picture", pictureWidth, pictureHeight, d) &&
            CheckSplashBitmap(manifest.splash->mask, "splash.mask", maskWidth, maskHeight, d) &&
            (pictureWidth != maskWidth || pictureHeight != maskHeight))
            d.Error("splash.mask", "is " + std::to_string(maskWidth) + " x " + std::to_string(maskHeight) +
                                       " pixels; it must have the picture's size, " + std::to_string(pictureWidth) +
                                       " x " + std::to_string(pictureHeight));
    }
    if (!contentOk || !d.errors.empty())
        return false;
    if (files.empty() && !manifest.splash) {
        d.Error("content", "\"" + PathText(manifest.content) + "\" holds no files");
        return false;
    }
    WarnAboutMissingTargets(manifest.english, "english", files, d);
    WarnAboutMissingTargets(manifest.japanese, "japanese", files, d);
    for (const ContentFile& file : files)
        summary.bytes += file.size;
    summary.files = files.size();
    summary.memberBytes = summary.bytes;
    if (manifest.splash) {
        std::error_code sizeError;
        summary.memberBytes +=
            fs::file_size(manifest.splash->picture, sizeError) + fs::file_size(manifest.splash->mask, sizeError);
    }
    // Checked before anything is read: every member goes into the cabinet's one folder.
    if (summary.memberBytes > kMaxFolderBytes) {
        d.Error("content", "holds " + std::to_string(summary.memberBytes) +
                               " bytes with the splash pictures; the package's cabinet has one folder, and a cabinet "
                               "folder holds at most 65535 blocks of 32768 bytes, " +
                               std::to_string(kMaxFolderBytes) + " bytes");
        return false;
    }

    quantum::RegisterQuantumCompressor();
    cabwriter::Options options;
    options.compressionType = manifest.compressionType;
    // The files are read while they are compressed, a block at a time.
    if (progress)
        options.progress = [&](uint64_t done, uint64_t total) { progress("compressing", done, total); };
    cabwriter::CabWriter& writer = cabinet.emplace(options);
    std::string error;
    // The splash members come first: the installer unpacks them before the product.
    if (manifest.splash && (!writer.AddFile(kSplashPictureMember, manifest.splash->picture, &error) ||
                            !writer.AddFile(kSplashMaskMember, manifest.splash->mask, &error))) {
        d.Error("splash", error);
        return false;
    }
    for (const ContentFile& file : files) {
        if (!writer.AddFile(file.memberName, file.path, &error)) {
            d.Error("content file \"" + PathText(file.path) + "\"", error);
            return false;
        }
    }

    if (progress)
        progress("compressing", 0, summary.memberBytes);
    return true;
}

PackageContents ContentsOf(const Manifest& manifest, const BuildSummary& summary)
{
    PackageContents contents;
    contents.japanese = manifest.japanese;
    contents.english = manifest.english;
    contents.totalInstallBytes = static_cast<uint32_t>(summary.bytes);
    return contents;
}

}  // namespace

bool BuildPackage(const Manifest& manifest, std::vector<uint8_t>& package, BuildSummary& summary, Diagnostics& d,
                  const Progress& progress)
{
    std::optional<cabwriter::CabWriter> writer;
    if (!PlanCabinet(manifest, writer, summary, d, progress))
        return false;
    PackageContents contents = ContentsOf(manifest, summary);
    std::string error;
    if (!writer->Write(contents.cabinet, &error)) {
        d.Error("cabinet", error);
        return false;
    }
    summary.cabinetBytes = contents.cabinet.size();
    if (!WritePackage(contents, package, error)) {
        d.Error("package", error);
        return false;
    }
    summary.packageBytes = package.size();
    return true;
}

bool BuildPackage(const Manifest& manifest, const fs::path& package, const fs::path& scratch, BuildSummary& summary,
                  Diagnostics& d, const Progress& progress)
{
    std::optional<cabwriter::CabWriter> writer;
    if (!PlanCabinet(manifest, writer, summary, d, progress))
        return false;
    PackageContents contents = ContentsOf(manifest, summary);
    auto build = [&]() {
        std::string error;
        std::fstream cabinet(scratch, std::ios::binary | std::ios::in | std::ios::out | std::ios::trunc);
        if (!cabinet) {
            d.Error("cabinet", Quote(scratch) + " cannot be written");
            return false;
        }
        if (!writer->Write(cabinet, &error)) {
            d.Error("cabinet", error);
            return false;
        }
        summary.cabinetBytes = static_cast<uint64_t>(cabinet.tellp());
        cabinet.seekg(0);
        std::ofstream out(package, std::ios::binary | std::ios::trunc);
        if (!WritePackage(contents, cabinet, summary.cabinetBytes, out, error)) {
            d.Error("package", error);
            return false;
        }
        summary.packageBytes = static_cast<uint64_t>(out.tellp());
        out.close();
        if (!out) {
            d.Error("package", Quote(package) + " cannot be written");
            return false;
        }
        return true;
    };
    bool built = build();
    std::error_code ignored;
    fs::remove(scratch, ignored);
    return built;
}

bool EmbedPackage(const std::vector<uint8_t>& stub, const std::vector<uint8_t>& package, std::vector<uint8_t>& setup,
                  std::string& error)
{
    std::vector<uint8_t> readBack;
    if (!pe::SetResource(stub, pe::kRcData, kPackageResourceId, package, setup, error) ||
        !pe::FindResource(setup, pe::kRcData, kPackageResourceId, readBack, error))
        return false;
    if (readBack != package) {
        error = "the package resource does not read back as written";
        return false;
    }
    return true;
}

}  // namespace mkpackage
