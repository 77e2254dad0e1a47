#include "setup/arguments.h"

#include <cstdlib>
#include <cstring>

#include "install/folder_placeholder_rules.h"
#include "install/registration_rules.h"
#include "runtime/read_only_file.h"
#include "text/bounded_text.h"
#include "text/text_scan.h"

namespace {

// Reads a file the way the C runtime's text mode on Windows does: a carriage
// return followed by a line feed reads as one line feed, and Ctrl+Z ends the
// file. The file itself is read as bytes, so the same bytes give the same
// lines on every system.
class TextModeReader {
public:
    static constexpr int kEnd = -1;

    explicit TextModeReader(ReadOnlyFile& file) : file_(file) {}

    int Next()
    {
        if (ended_)
            return kEnd;
        int c = pending_;
        pending_ = kNothing;
        if (c == kNothing)
            c = NextByte();
        if (c == kEnd || c == 0x1A) {
            ended_ = true;
            return kEnd;
        }
        if (c == '\r') {
            int following = NextByte();
            if (following == '\n')
                return '\n';
            pending_ = following;
        }
        return c;
    }

private:
    static constexpr int kNothing = -2;

    int NextByte()
    {
        if (next_ == filled_) {
            filled_ = file_.Read(buffer_, sizeof buffer_);
            next_ = 0;
            if (filled_ == 0)
                return kEnd;
        }
        return static_cast<unsigned char>(buffer_[next_++]);
    }

    ReadOnlyFile& file_;
    unsigned char buffer_[512];
    size_t next_ = 0;
    size_t filled_ = 0;
    int pending_ = kNothing;
    bool ended_ = false;
};

// One piece of a line: stops behind a line feed, after size - 1 bytes or at
// the end of the file. Returns the piece's length, or -1 at the end.
int ReadLinePiece(TextModeReader& reader, char* piece, size_t size)
{
    size_t length = 0;
    while (length + 1 < size) {
        const int c = reader.Next();
        if (c == TextModeReader::kEnd)
            break;
        piece[length++] = static_cast<char>(c);
        if (c == '\n')
            break;
    }
    piece[length] = '\0';
    return length == 0 ? -1 : static_cast<int>(length);
}

// Cuts the piece at its last carriage return, then at its last line feed.
void CutLineEnd(char* piece)
{
    const int cr = FindByte(piece, static_cast<int>(strlen(piece)), '\r', 0);
    if (cr >= 0)
        piece[cr] = '\0';
    const int lf = FindByte(piece, static_cast<int>(strlen(piece)), '\n', 0);
    if (lf >= 0)
        piece[lf] = '\0';
}

char* HeapCopy(const char* text)
{
    const size_t size = strlen(text) + 1;
    char* copy = static_cast<char*>(malloc(size));
    if (copy != nullptr)
        memcpy(copy, text, size);
    return copy;
}

}  // namespace

void ReadArgumentFile(int* count, char** entries, int capacity, const char* fileName)
{
    *count = 0;
    ReadOnlyFile file(fileName);
    if (!file.IsOpen())
        return;
    TextModeReader reader(file);
    char piece[kArgumentLineSize];
    while (ReadLinePiece(reader, piece, sizeof piece) >= 0) {
        CutLineEnd(piece);
        if (*count >= capacity)
            break;
        char* entry = HeapCopy(piece);
        if (entry == nullptr)
            break;
        entries[(*count)++] = entry;
    }
}

int HasOption(const char* name, int count, char* const* entries)
{
    for (int i = 1; i < count; ++i) {
        if (strcmp(entries[i], name) == 0)
            return 1;
    }
    return 0;
}

int GetOptionValue(const char* name, int count, char* const* entries, char* value, size_t valueSize)
{
    value[0] = '\0';
    for (int i = 1; i < count; ++i) {
        if (strcmp(entries[i], name) != 0)
            continue;
        if (i + 1 < count)
            CopyText(value, valueSize, entries[i + 1]);
        return 1;
    }
    return 0;
}

void SplitOwnPath(const char* argument0, char* ownFolder, char* ownFileName)
{
    const int length = static_cast<int>(strlen(argument0));
    const int slash = FindByte(argument0, length, '\\', 0);
    if (slash < 0) {
        CopyText(ownFolder, kPathSize, argument0);
        CopyText(ownFileName, kPathSize, argument0);
        return;
    }
    ownFolder[0] = '\0';
    if (static_cast<size_t>(slash) + 1 < kPathSize) {
        memcpy(ownFolder, argument0, static_cast<size_t>(slash) + 1);
        ownFolder[slash + 1] = '\0';
    }
    CopyText(ownFileName, kPathSize, argument0 + slash + 1);
}

int ChooseInstallMode(const char* ownFileName, int count, char* const* entries)
{
    if (EqualsIgnoringAsciiCase(ownFileName, kUninstallerFileName))
        return 0;
    if (count >= 2 && HasOption("-u", count, entries))
        return 0;
    return 1;
}

OptionValue InspectOptionValue(const char* name, int count, char* const* entries, size_t valueSize)
{
    for (int i = 1; i < count; ++i) {
        if (strcmp(entries[i], name) != 0)
            continue;
        if (i + 1 >= count || entries[i + 1][0] == '\0')
            return OptionValue::Missing;
        return strlen(entries[i + 1]) < valueSize ? OptionValue::Given : OptionValue::TooLong;
    }
    return OptionValue::Absent;
}

const char* FindBadOptionValue(int count, char* const* entries)
{
    static constexpr struct {
        const char* name;
        size_t valueSize;
    } kValueOptions[] = {{kLogOption, kPathSize}, {kSetDirOption, kPathSize}, {kSrcInstallerOption, kSourcePathSize}};
    for (const auto& option : kValueOptions) {
        const OptionValue value = InspectOptionValue(option.name, count, entries, option.valueSize);
        if (value == OptionValue::Missing || value == OptionValue::TooLong)
            return option.name;
    }
    return nullptr;
}

void EvaluateOptions(int count, char* const* entries, const char* ownFileName, const char* userName,
                     void (*createFolder)(const char* path), RunOptions& options)
{
    options.silent = HasOption(kSilentOption, count, entries);
    options.badOption = FindBadOptionValue(count, entries);
    GetOptionValue(kLogOption, count, entries, options.log, sizeof options.log);
    if (options.silent && options.badOption != nullptr)
        return;
    options.justExec = HasOption(kJustExecOption, count, entries);
    options.okIfNotAdmin = HasOption(kOkIfNotAdminOption, count, entries);
    options.justDecomp = HasOption(kJustDecompOption, count, entries);
    if (GetOptionValue(kSetDirOption, count, entries, options.setDir, sizeof options.setDir))
        RewriteTempComponents(options.setDir, sizeof options.setDir, userName, createFolder);
    options.forceAdmin = HasOption(kForceAdminOption, count, entries);
    options.forceUser = HasOption(kForceUserOption, count, entries);
    GetOptionValue(kSrcInstallerOption, count, entries, options.srcInstaller, sizeof options.srcInstaller);
    if (!options.justExec)
        options.justExec = options.justDecomp;
    options.isInstall = ChooseInstallMode(ownFileName, count, entries);
}
