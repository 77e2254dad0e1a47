#include "setup/arguments.h"

#include <cstdlib>
#include <cstring>

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

bool IsTempName(const char* component, size_t length)
{
    char name[5];
    if (length != 3 && length != 4)
        return false;
    memcpy(name, component, length);
    name[length] = '\0';
    return EqualsIgnoringAsciiCase(name, "temp") || EqualsIgnoringAsciiCase(name, "tmp");
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
    if (EqualsIgnoringAsciiCase(ownFileName, "unquilbex.exe"))
        return 0;
    if (count >= 2 && HasOption("-u", count, entries))
        return 0;
    return 1;
}

int RewriteTempComponents(char* path, size_t size, const char* userName, void (*createFolder)(const char* path))
{
    // The components that are examined, from the last one backwards: each
    // behind a backslash that stands at index 4 or later, as long as what
    // remains before it is longer than 3 bytes.
    int starts[kPathSize];
    int examined = 0;
    int remaining = static_cast<int>(strlen(path));
    while (remaining > 3 && examined < static_cast<int>(kPathSize)) {
        const int slash = FindByte(path, remaining, '\\', 0);
        if (slash <= 3)
            break;
        starts[examined++] = slash;
        remaining = slash;
    }

    char replacement[kArgumentLineSize + 8] = "tteemmpp";
    if (!AppendText(replacement, userName))
        return 0;

    // Build the result, remembering where each examined component ends.
    char result[kArgumentLineSize * 2];
    int ends[kPathSize];
    int firstRewritten = -1;
    memcpy(result, path, static_cast<size_t>(remaining));
    size_t length = static_cast<size_t>(remaining);
    const size_t pathLength = strlen(path);
    for (int k = examined - 1; k >= 0; --k) {
        const size_t from = static_cast<size_t>(starts[k]) + 1;
        const size_t to = k > 0 ? static_cast<size_t>(starts[k - 1]) : pathLength;
        const bool rewrite = IsTempName(path + from, to - from);
        const char* text = rewrite ? replacement : path + from;
        const size_t textLength = rewrite ? strlen(replacement) : to - from;
        if (length + 1 + textLength >= sizeof result)
            return 0;
        result[length++] = '\\';
        memcpy(result + length, text, textLength);
        length += textLength;
        ends[k] = static_cast<int>(length);
        if (rewrite && firstRewritten < 0)
            firstRewritten = k;
    }
    if (firstRewritten < 0 || length >= size)
        return 0;
    result[length] = '\0';
    for (int k = firstRewritten; k >= 0; --k) {
        char folder[sizeof result];
        memcpy(folder, result, static_cast<size_t>(ends[k]));
        folder[ends[k]] = '\0';
        createFolder(folder);
    }
    memcpy(path, result, length + 1);
    return 1;
}

void EvaluateOptions(int count, char* const* entries, const char* ownFileName, const char* userName,
                     void (*createFolder)(const char* path), RunOptions& options)
{
    options.justExec = HasOption("-JustExec", count, entries);
    options.okIfNotAdmin = HasOption("-OKisnotAdmin", count, entries);
    options.justDecomp = HasOption("-JustDecomp", count, entries);
    if (GetOptionValue("-SetDir", count, entries, options.setDir, sizeof options.setDir))
        RewriteTempComponents(options.setDir, sizeof options.setDir, userName, createFolder);
    options.forceAdmin = HasOption("-ForceAdmin", count, entries);
    options.forceUser = HasOption("-ForceUser", count, entries);
    GetOptionValue("-srcInstaller", count, entries, options.srcInstaller, sizeof options.srcInstaller);
    if (!options.justExec)
        options.justExec = options.justDecomp;
    options.isInstall = ChooseInstallMode(ownFileName, count, entries);
}
