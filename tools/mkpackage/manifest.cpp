#include "tools/mkpackage/manifest.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "env/os_version_table.h"
#include "install/folder_placeholder_rules.h"
#include "package/package_format.h"

namespace mkpackage {

using Json = nlohmann::json;

const OsName kOsNames[] = {
    {"win9x-later", kOsMask9xLater, "9x family after 4.x"},
    {"win95", kOsMaskWin95, "Windows 95"},
    {"win98", kOsMaskWin98, "Windows 98"},
    {"winme", kOsMaskWinMe, "Windows Me"},
    {"nt3", kOsMaskNt3, "Windows NT 3.x"},
    {"nt4", kOsMaskNt4, "Windows NT 4.0"},
    {"win2000", kOsMaskWin2000, "Windows 2000"},
    {"winxp", kOsMaskWinXp32 | kOsMaskWinXpX64, "Windows XP, 32-bit and x64"},
    {"winxp-32", kOsMaskWinXp32, "Windows XP, 32-bit"},
    {"winxp-x64", kOsMaskWinXpX64, "Windows XP x64"},
    {"win2003", kOsMaskWin2003 | kOsMaskWin2003R2, "Windows Server 2003 and 2003 R2"},
    {"win2003-r1", kOsMaskWin2003, "Windows Server 2003 without R2"},
    {"win2003r2", kOsMaskWin2003R2, "Windows Server 2003 R2"},
    {"vista", kOsMaskVista32 | kOsMaskVistaX64, "Windows Vista, 32-bit and 64-bit"},
    {"vista-32", kOsMaskVista32, "Windows Vista, 32-bit"},
    {"vista-x64", kOsMaskVistaX64, "Windows Vista, 64-bit"},
    {"win2008", kOsMaskWin2008, "Windows Server 2008"},
    {"win2008r2", kOsMaskWin2008R2, "Windows Server 2008 R2"},
    {"win7", kOsMaskWin7_32 | kOsMaskWin7X64, "Windows 7, 32-bit and 64-bit"},
    {"win7-32", kOsMaskWin7_32, "Windows 7, 32-bit"},
    {"win7-x64", kOsMaskWin7X64, "Windows 7, 64-bit"},
    {"newer", kOsMaskNewer, "no known version: only Windows 8 and later or unidentified systems"},
    {"9x", kOsMask9xFamily, "the whole 9x family"},
    {"nt", kOsMaskNtFamily, "the whole NT family, Windows 8 and later included"},
    {"all", kOsMaskAll, "every Windows version"},
};
const size_t kOsNameCount = sizeof kOsNames / sizeof kOsNames[0];

namespace {

constexpr size_t kMaxNameCharacters = 255;

const char* const kPlaceholders[] = {kProgramFilesPlaceholder, kProgramFilesOrUserPlaceholder, kUserTmpPlaceholder};

const std::set<std::string> kTopKeys = {"content", "splash",   "compression", "fileNameEncoding", "common",
                                        "english", "japanese", "publisher",   "fileVersion",      "icon"};
const std::set<std::string> kSettingKeys = {"productName", "productVersion",  "splashNote",        "installFolder",
                                            "osMask",      "justExec",        "okIfNotAdmin",      "shortcuts",
                                            "checks",      "installCommands", "uninstallCommands", "launchCommands"};

const struct {
    const char* name;
    uint16_t type;
} kCompressions[] = {
    {"none", 0}, {"mszip", 1}, {"quantum", 2 | 4 << 4 | 21 << 8},  // 2 MiB window, level 4
};

const struct {
    const char* name;
    FileNameEncoding encoding;
} kFileNameEncodings[] = {
    {"ascii", FileNameEncoding::kAscii},
    {"shift-jis", FileNameEncoding::kShiftJis},
    {"windows-1252", FileNameEncoding::kWindows1252},
};

std::string Slashes(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

bool IsReservedDeviceName(const std::string& name)
{
    std::string stem = LowerAscii(name.substr(0, name.find('.')));
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    if (stem == "con" || stem == "prn" || stem == "aux" || stem == "nul")
        return true;
    return stem.size() == 4 && (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0) && stem[3] >= '1' &&
           stem[3] <= '9';
}

size_t CharacterCount(const std::string& utf8)
{
    return std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<uint8_t>(c) & 0xC0) != 0x80; });
}

}  // namespace

std::string FileNameProblem(const std::string& name)
{
    for (char c : name) {
        if (static_cast<uint8_t>(c) < 0x20)
            return "may not contain control characters";
        if (std::string("\\/:*?\"<>|").find(c) != std::string::npos)
            return std::string("may not contain '") + c + "'";
    }
    if (!name.empty() && (name.back() == ' ' || name.back() == '.'))
        return "may not end with a blank or a dot";
    if (IsReservedDeviceName(name))
        return "is a reserved device name of Windows";
    if (CharacterCount(name) > kMaxNameCharacters)
        return "is longer than " + std::to_string(kMaxNameCharacters) + " characters";
    return {};
}

namespace {

bool IsAbsoluteFolder(const std::string& path)
{
    bool drive =
        path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && path[2] == '\\';
    bool unc = path.size() > 2 && path[0] == '\\' && path[1] == '\\' && path[2] != '\\';
    return drive || unc;
}

bool IsRelativePath(const std::string& path)
{
    return !path.empty() && path[0] != '\\' && path.find(':') == std::string::npos;
}

// True when a part of the path between backslashes is made of dots and
// blanks only: Windows drops trailing dots and blanks, so ".. " climbs like
// "..", and "." names nothing.
bool HasDotsPart(const std::string& path)
{
    size_t start = 0;
    for (size_t end; start <= path.size(); start = end + 1) {
        end = path.find('\\', start);
        if (end == std::string::npos)
            end = path.size();
        if (end > start && path.find_first_not_of(". ", start) >= end)
            return true;
    }
    return false;
}

constexpr char kDotsPart[] = "has a part made of dots (such as \"..\"); name the folders it goes through";

// One language's settings: its own values, else those of "common".
class SettingsReader {
public:
    // own is the section named section; with a manifest of one language it
    // serves the other language as well.
    SettingsReader(const Json* common, const Json* own, const std::string& section, const std::string& language,
                   CodePage page, Diagnostics& diagnostics)
        : common_(common), own_(own), section_(section), language_(language), page_(page), d_(diagnostics)
    {
    }

    // Reads the block; name and version receive productName and
    // productVersion as written (UTF-8).
    void Read(SettingsBlock& block, std::string& name, std::string& version)
    {
        block.osMask = static_cast<int32_t>(OsMask());
        block.justExec = Flag("justExec");
        block.okIfNotAdmin = Flag("okIfNotAdmin");
        name = ProductName(block);
        block.productVersion = PlainText("productVersion", version);
        block.splashNote = PlainText("splashNote");
        InstallFolder(block);
        Shortcuts(block);
        Checks(block);
        block.installCommands = Commands("installCommands");
        block.uninstallCommands = Commands("uninstallCommands");
        block.launchCommands = Commands("launchCommands");
    }

private:
    // The value of a setting and the name under which errors report it.
    const Json* Find(const std::string& key, std::string& where) const
    {
        if (own_ != nullptr && own_->contains(key)) {
            where = section_ + "." + key;
            return &(*own_)[key];
        }
        if (common_ != nullptr && common_->contains(key)) {
            where = "common." + key;
            return &(*common_)[key];
        }
        where = section_ + "." + key;
        return nullptr;
    }

    // Converts a UTF-8 text into the block's code page and checks its length.
    // A shared value from "common" can fail in one language only, so its
    // errors say which; so do those of a section that serves the other
    // language too.
    bool Convert(const std::string& where, const std::string& utf8, std::string& out)
    {
        std::string problem;
        bool shared = where.rfind("common.", 0) == 0 || section_ != language_;
        std::string note = shared ? " (in the " + language_ + " settings)" : "";
        if (!ConvertFromUtf8(utf8, page_, out, problem)) {
            d_.Error(where, problem + note);
            return false;
        }
        if (out.size() > kMaxTextLength) {
            d_.Error(where, "is " + std::to_string(out.size()) + " bytes long in " + CodePageName(page_) +
                                "; the package holds at most " + std::to_string(kMaxTextLength) + note);
            return false;
        }
        return true;
    }

    bool StringValue(const std::string& where, const Json& value, std::string& out)
    {
        if (!value.is_string()) {
            d_.Error(where, "must be a text");
            return false;
        }
        out = value.get<std::string>();
        return true;
    }

    std::string PlainText(const std::string& key)
    {
        std::string utf8;
        return PlainText(key, utf8);
    }

    std::string PlainText(const std::string& key, std::string& utf8)
    {
        std::string where, bytes;
        const Json* value = Find(key, where);
        if (value != nullptr && StringValue(where, *value, utf8))
            Convert(where, utf8, bytes);
        return bytes;
    }

    int32_t Flag(const std::string& key)
    {
        std::string where;
        const Json* value = Find(key, where);
        if (value == nullptr)
            return 0;
        if (!value->is_boolean()) {
            d_.Error(where, "must be true or false");
            return 0;
        }
        return value->get<bool>() ? 1 : 0;
    }

    uint32_t OsMaskName(const std::string& where, const std::string& name)
    {
        for (size_t i = 0; i < kOsNameCount; ++i) {
            if (LowerAscii(name) == kOsNames[i].name)
                return kOsNames[i].mask;
        }
        d_.Error(where, "unknown Windows version \"" + name + "\" (see mkpackage --help for the names)");
        return 0;
    }

    uint32_t OsMask()
    {
        std::string where;
        const Json* value = Find("osMask", where);
        if (value == nullptr)
            return kOsMaskAll;
        uint32_t mask = 0;
        size_t errorsBefore = d_.errors.size();
        if (value->is_number_integer()) {
            int64_t number = value->get<int64_t>();
            if (number < 0 || number > 0xFFFFFFFFll) {
                d_.Error(where, "must lie between 0 and 0xFFFFFFFF");
                return 0;
            }
            mask = static_cast<uint32_t>(number);
        } else if (value->is_string()) {
            std::string text = value->get<std::string>();
            if (LowerAscii(text).rfind("0x", 0) == 0) {
                size_t used = 0;
                unsigned long long number = 0;
                try {
                    number = std::stoull(text.substr(2), &used, 16);
                } catch (const std::exception&) {
                    used = 0;
                }
                if (used == 0 || used != text.size() - 2 || number > 0xFFFFFFFFull) {
                    d_.Error(where, "\"" + text + "\" is no 32-bit hexadecimal number");
                    return 0;
                }
                mask = static_cast<uint32_t>(number);
            } else {
                mask = OsMaskName(where, text);
            }
        } else if (value->is_array()) {
            for (size_t i = 0; i < value->size(); ++i) {
                std::string item = where + "[" + std::to_string(i) + "]";
                if (!(*value)[i].is_string())
                    d_.Error(item, "must be a Windows version name");
                else
                    mask |= OsMaskName(item, (*value)[i].get<std::string>());
            }
        } else {
            d_.Error(where, "must be a list of Windows version names, a name, or a number");
            return 0;
        }
        if (mask == 0 && d_.errors.size() == errorsBefore)
            d_.Error(where, "selects no Windows version, so the product could be installed nowhere");
        return mask;
    }

    std::string ProductName(SettingsBlock& block)
    {
        std::string where, utf8;
        const Json* value = Find("productName", where);
        if (value == nullptr || (StringValue(where, *value, utf8) && utf8.empty())) {
            if (block.justExec == 0)
                d_.Error(where, "must be given: it names the uninstall entry and the Start-menu folder");
            return {};
        }
        if (utf8.empty())
            return {};
        std::string problem = FileNameProblem(utf8);
        if (!problem.empty()) {
            d_.Error(where, problem + " (it names a registry key and a folder)");
            return {};
        }
        Convert(where, utf8, block.productName);
        return utf8;
    }

    void InstallFolder(SettingsBlock& block)
    {
        std::string where, utf8;
        const Json* value = Find("installFolder", where);
        if (value == nullptr || !StringValue(where, *value, utf8) || utf8.empty())
            return;
        utf8 = Slashes(utf8);
        if (utf8[0] == '%') {
            bool known = std::any_of(std::begin(kPlaceholders), std::end(kPlaceholders),
                                     [&](const char* p) { return utf8.rfind(p, 0) == 0; });
            if (!known) {
                d_.Error(where, "\"" + utf8 +
                                    "\" begins with no known placeholder; the placeholders are %ProgramFiles%, "
                                    "%ProgramFilesOrUser% and %UserTmp%, in exactly this letter case");
                return;
            }
        } else if (!IsAbsoluteFolder(utf8)) {
            d_.Error(where, "\"" + utf8 + "\" is neither a placeholder nor an absolute folder such as C:\\Tools");
            return;
        }
        if (HasDotsPart(utf8)) {
            d_.Error(where, "\"" + utf8 + "\" " + kDotsPart);
            return;
        }
        Convert(where, utf8, block.installFolder);
    }

    // The list of a setting, or null when it is absent or no list.
    const Json* List(const std::string& key, std::string& where)
    {
        const Json* value = Find(key, where);
        if (value != nullptr && !value->is_array()) {
            d_.Error(where, "must be a list");
            return nullptr;
        }
        return value;
    }

    bool KnownKeys(const std::string& where, const Json& object, const std::set<std::string>& keys)
    {
        if (!object.is_object()) {
            d_.Error(where, "must be an object");
            return false;
        }
        bool ok = true;
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (keys.count(it.key()) == 0) {
                d_.Error(where + "." + it.key(), "unknown key");
                ok = false;
            }
        }
        return ok;
    }

    // A text member of a list entry: required ones must be non-empty.
    bool EntryText(const std::string& where, const Json& entry, const std::string& key, bool required, std::string& out)
    {
        std::string utf8;
        if (!entry.contains(key)) {
            if (required)
                d_.Error(where, "needs \"" + key + "\"");
            return !required;
        }
        if (!StringValue(where + "." + key, entry[key], utf8))
            return false;
        if (required && utf8.empty()) {
            d_.Error(where + "." + key, "must not be empty");
            return false;
        }
        out = utf8;
        return true;
    }

    void Shortcuts(SettingsBlock& block)
    {
        std::string where;
        const Json* list = List("shortcuts", where);
        for (size_t i = 0; list != nullptr && i < list->size(); ++i) {
            std::string item = where + "[" + std::to_string(i) + "]";
            const Json& entry = (*list)[i];
            std::string name, target;
            if (!KnownKeys(item, entry, {"name", "target"}) || !EntryText(item, entry, "name", true, name) ||
                !EntryText(item, entry, "target", true, target))
                continue;
            std::string problem = FileNameProblem(name);
            if (!problem.empty()) {
                d_.Error(item + ".name", problem + " (it names the shortcut file)");
                continue;
            }
            target = Slashes(target);
            if (!IsRelativePath(target)) {
                d_.Error(item + ".target", "must be a path inside the installation folder, such as bin\\tool.exe");
                continue;
            }
            if (HasDotsPart(target)) {
                d_.Error(item + ".target", kDotsPart);
                continue;
            }
            ShortcutRecord record;
            if (Convert(item + ".name", name, record.linkName) && Convert(item + ".target", target, record.target))
                block.shortcuts.push_back(record);
        }
    }

    void Checks(SettingsBlock& block)
    {
        std::string where;
        const Json* list = List("checks", where);
        for (size_t i = 0; list != nullptr && i < list->size(); ++i) {
            std::string item = where + "[" + std::to_string(i) + "]";
            const Json& entry = (*list)[i];
            if (!KnownKeys(item, entry, {"requiredFile", "runningApplication", "message"}))
                continue;
            bool file = entry.contains("requiredFile");
            if (file == entry.contains("runningApplication")) {
                d_.Error(item, "needs exactly one of \"requiredFile\" and \"runningApplication\"");
                continue;
            }
            std::string subject, message;
            if (!EntryText(item, entry, file ? "requiredFile" : "runningApplication", true, subject) ||
                !EntryText(item, entry, "message", false, message))
                continue;
            CheckRecord record;
            record.kind = file ? 0 : 1;
            if (file)
                subject = Slashes(subject);
            std::string subjectWhere = item + (file ? ".requiredFile" : ".runningApplication");
            if (file && HasDotsPart(subject)) {
                d_.Error(subjectWhere, kDotsPart);
                continue;
            }
            if (Convert(subjectWhere, subject, record.subject) && Convert(item + ".message", message, record.message))
                block.checks.push_back(record);
        }
    }

    std::vector<CommandRecord> Commands(const std::string& key)
    {
        std::vector<CommandRecord> commands;
        std::string where;
        const Json* list = List(key, where);
        for (size_t i = 0; list != nullptr && i < list->size(); ++i) {
            std::string item = where + "[" + std::to_string(i) + "]";
            const Json& entry = (*list)[i];
            std::string command;
            CommandRecord record;
            if (entry.is_string()) {
                command = entry.get<std::string>();
                if (command.empty()) {
                    d_.Error(item, "must not be empty");
                    continue;
                }
            } else {
                if (!KnownKeys(item, entry, {"command", "wait"}) || !EntryText(item, entry, "command", true, command))
                    continue;
                if (entry.contains("wait")) {
                    if (!entry["wait"].is_boolean()) {
                        d_.Error(item + ".wait", "must be true or false");
                        continue;
                    }
                    record.wait = entry["wait"].get<bool>() ? 1 : 0;
                }
            }
            if (Convert(entry.is_string() ? item : item + ".command", command, record.commandLine))
                commands.push_back(record);
        }
        return commands;
    }

    const Json* common_;
    const Json* own_;
    std::string section_;
    std::string language_;
    CodePage page_;
    Diagnostics& d_;
};

const Json* Section(const Json& root, const std::string& key, Diagnostics& d)
{
    if (!root.contains(key))
        return nullptr;
    const Json& section = root[key];
    if (!section.is_object()) {
        d.Error(key, "must be an object");
        return nullptr;
    }
    for (auto it = section.begin(); it != section.end(); ++it) {
        if (kSettingKeys.count(it.key()) == 0)
            d.Error(key + "." + it.key(), "unknown setting");
    }
    return &section;
}

bool PathValue(const Json& object, const std::string& key, const std::string& where, const std::filesystem::path& base,
               std::filesystem::path& out, Diagnostics& d)
{
    if (!object.contains(key)) {
        d.Error(where, "must be given");
        return false;
    }
    if (!object[key].is_string() || object[key].get<std::string>().empty()) {
        d.Error(where, "must be a non-empty path");
        return false;
    }
    out = base / PathFromUtf8(object[key].get<std::string>());
    return true;
}

// "fileVersion": four numbers of 0 to 65535 between dots, as "1.2.3.4".
bool ParseFileVersion(const std::string& text, std::array<uint16_t, 4>& numbers)
{
    size_t at = 0;
    for (size_t i = 0; i < numbers.size(); ++i) {
        size_t end = text.find('.', at);
        if ((end == std::string::npos) != (i + 1 == numbers.size()))
            return false;
        std::string part = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (part.empty() || part.size() > 5 || part.find_first_not_of("0123456789") != std::string::npos ||
            std::stoul(part) > 0xFFFF)
            return false;
        numbers[i] = static_cast<uint16_t>(std::stoul(part));
        at = end + 1;
    }
    return true;
}

void ReadSetupDetails(const Json& root, const std::filesystem::path& base, SetupDetails& out, Diagnostics& d)
{
    if (root.contains("publisher")) {
        // Version texts are UTF-16: any character but control characters.
        const Json& value = root["publisher"];
        std::string text = value.is_string() ? value.get<std::string>() : "";
        if (text.empty())
            d.Error("publisher", "must be a non-empty text");
        else if (std::any_of(text.begin(), text.end(), [](char c) { return static_cast<uint8_t>(c) < 0x20; }))
            d.Error("publisher", "may not contain control characters");
        else if (CharacterCount(text) > kMaxNameCharacters)
            d.Error("publisher", "is longer than " + std::to_string(kMaxNameCharacters) + " characters");
        else
            out.publisher = text;
    }
    if (root.contains("fileVersion")) {
        std::array<uint16_t, 4> numbers{};
        const Json& value = root["fileVersion"];
        if (!value.is_string() || !ParseFileVersion(value.get<std::string>(), numbers))
            d.Error("fileVersion", "must be four numbers of 0 to 65535 between dots, such as \"1.2.0.15\"");
        else
            out.fileVersion = numbers;
    }
    std::filesystem::path icon;
    if (root.contains("icon") && PathValue(root, "icon", "icon", base, icon, d))
        out.icon = icon;
}

}  // namespace

std::string LowerAscii(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

bool ReadWholeFile(const std::filesystem::path& file, std::vector<uint8_t>& bytes)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

std::filesystem::path PathFromUtf8(const std::string& utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string PathText(const std::filesystem::path& path)
{
    std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string Quote(const std::filesystem::path& path)
{
    std::string quoted = "\"";
    quoted += PathText(path);
    quoted += '"';
    return quoted;
}

bool CompressionTypeByName(const std::string& name, uint16_t& type)
{
    for (const auto& compression : kCompressions) {
        if (LowerAscii(name) == compression.name) {
            type = compression.type;
            return true;
        }
    }
    return false;
}

std::string CompressionDescription(uint16_t type)
{
    switch (type & 0xF) {
    case 0: return "none (stored)";
    case 1: return "mszip";
    case 2: {
        unsigned windowBits = type >> 8 & 0x1F;
        unsigned kib = windowBits >= 10 ? 1u << (windowBits - 10) : 0;
        std::string window = kib >= 1024 ? std::to_string(kib / 1024) + " MiB" : std::to_string(kib) + " KiB";
        return "quantum (" + window + " window, level " + std::to_string(type >> 4 & 0xF) + ")";
    }
    default: return "type " + std::to_string(type);
    }
}

bool ParseManifest(const std::string& text, const std::filesystem::path& baseFolder, Manifest& out, Diagnostics& d)
{
    Json root;
    try {
        root = Json::parse(text, nullptr, true, true);
    } catch (const Json::exception& error) {
        // Syntax errors, and numbers beyond the range of a double.
        d.Error("manifest", std::string("is no valid JSON: ") + error.what());
        return false;
    }
    if (!root.is_object()) {
        d.Error("manifest", "must be a JSON object");
        return false;
    }
    for (auto it = root.begin(); it != root.end(); ++it) {
        if (kTopKeys.count(it.key()) == 0)
            d.Error(it.key(), "unknown key");
    }

    PathValue(root, "content", "content", baseFolder, out.content, d);
    if (root.contains("splash")) {
        const Json& splash = root["splash"];
        SplashFiles files;
        if (!splash.is_object()) {
            d.Error("splash", "must be an object with \"picture\" and \"mask\"");
        } else {
            for (auto it = splash.begin(); it != splash.end(); ++it) {
                if (it.key() != "picture" && it.key() != "mask")
                    d.Error("splash." + it.key(), "unknown key");
            }
            if (PathValue(splash, "picture", "splash.picture", baseFolder, files.picture, d) &&
                PathValue(splash, "mask", "splash.mask", baseFolder, files.mask, d))
                out.splash = files;
        }
    }
    if (root.contains("compression")) {
        if (!root["compression"].is_string() ||
            !CompressionTypeByName(root["compression"].get<std::string>(), out.compressionType))
            d.Error("compression", "must be \"mszip\", \"none\" or \"quantum\"");
    }
    if (root.contains("fileNameEncoding")) {
        const Json& value = root["fileNameEncoding"];
        auto known = std::find_if(std::begin(kFileNameEncodings), std::end(kFileNameEncodings), [&](const auto& e) {
            return value.is_string() && LowerAscii(value.get<std::string>()) == e.name;
        });
        if (known == std::end(kFileNameEncodings))
            d.Error("fileNameEncoding", "must be \"ascii\", \"shift-jis\" or \"windows-1252\"");
        else
            out.fileNameEncoding = known->encoding;
    }

    ReadSetupDetails(root, baseFolder, out.setup, d);

    const Json* common = Section(root, "common", d);
    const Json* english = Section(root, "english", d);
    const Json* japanese = Section(root, "japanese", d);
    std::string englishSection = "english", japaneseSection = "japanese";
    if ((english == nullptr) != (japanese == nullptr)) {
        if (english != nullptr) {
            japanese = english;
            japaneseSection = "english";
        } else {
            english = japanese;
            englishSection = "japanese";
        }
        d.Warning(englishSection == "english" ? "japanese" : "english",
                  "is not given; the \"" + (englishSection == "english" ? englishSection : japaneseSection) +
                      "\" settings serve both languages");
    }
    SettingsReader(common, english, englishSection, "english", CodePage::kWindows1252, d)
        .Read(out.english, out.setup.englishName, out.setup.englishVersion);
    SettingsReader(common, japanese, japaneseSection, "japanese", CodePage::kShiftJis, d)
        .Read(out.japanese, out.setup.japaneseName, out.setup.japaneseVersion);
    return d.errors.empty();
}

bool ReadManifest(const std::filesystem::path& file, Manifest& out, Diagnostics& d)
{
    std::error_code error;
    if (std::filesystem::is_directory(file, error)) {
        d.Error(PathText(file), "is a folder; give the manifest file in it");
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        d.Error(PathText(file), "cannot be read");
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    std::filesystem::path base = file.parent_path();
    return ParseManifest(text.str(), base.empty() ? std::filesystem::path(".") : base, out, d);
}

}  // namespace mkpackage
