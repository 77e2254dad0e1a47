#include "tools/mkpackage/text_conversion.h"

#include <cstdint>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>

#include <memory>
#endif

namespace mkpackage {
namespace {

// Length of the UTF-8 sequence that starts with lead, or 0 when lead is no
// lead byte. The manifest reader has checked the encoding already.
size_t SequenceLength(uint8_t lead)
{
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0)
        return 2;
    if ((lead & 0xF0) == 0xE0)
        return 3;
    if ((lead & 0xF8) == 0xF0)
        return 4;
    return 0;
}

uint32_t CodePoint(const std::string& sequence)
{
    static constexpr uint8_t kLeadMasks[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    uint32_t value = static_cast<uint8_t>(sequence[0]) & kLeadMasks[sequence.size()];
    for (size_t i = 1; i < sequence.size(); ++i)
        value = value << 6 | (static_cast<uint8_t>(sequence[i]) & 0x3F);
    return value;
}

bool IsRefusedControl(uint32_t c)
{
    if (c == '\t' || c == '\r' || c == '\n')
        return false;
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

std::string Describe(const std::string& sequence)
{
    if (sequence.empty() || SequenceLength(static_cast<uint8_t>(sequence[0])) != sequence.size())
        return "'" + sequence + "'";
    char number[16];
    uint32_t c = CodePoint(sequence);
    snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(c));
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
        return number;
    return std::string(number) + " '" + sequence + "'";
}

#ifdef _WIN32

std::wstring Widen(const std::string& bytes, UINT codePage)
{
    int count =
        MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(count > 0 ? count : 0, L'\0');
    if (count > 0)
        MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), wide.data(),
                            count);
    return wide;
}

std::string Narrow(const std::wstring& wide, UINT codePage, bool& usedDefault)
{
    BOOL defaulted = FALSE;
    int count = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), nullptr,
                                    0, nullptr, &defaulted);
    std::string bytes(count > 0 ? count : 0, '\0');
    if (count > 0)
        WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), bytes.data(),
                            count, nullptr, &defaulted);
    usedDefault = defaulted != FALSE || count <= 0;
    return bytes;
}

// One character: its bytes in the code page, and the UTF-8 text they read
// back as. False when the system has no byte form for it.
bool ConvertCharacter(const std::string& sequence, CodePage codePage, std::string& bytes, std::string& readBack)
{
    UINT page = static_cast<UINT>(codePage);
    bool usedDefault = false;
    bytes = Narrow(Widen(sequence, CP_UTF8), page, usedDefault);
    if (usedDefault || bytes.empty())
        return false;
    bool unused = false;
    readBack = Narrow(Widen(bytes, page), CP_UTF8, unused);
    return true;
}

#else

struct IconvCloser {
    void operator()(void* handle) const { iconv_close(static_cast<iconv_t>(handle)); }
};
using Iconv = std::unique_ptr<void, IconvCloser>;

Iconv OpenIconv(const char* to, const char* from)
{
    iconv_t handle = iconv_open(to, from);
    return Iconv(handle == reinterpret_cast<iconv_t>(-1) ? nullptr : handle);
}

bool RunIconv(void* handle, const std::string& in, std::string& out)
{
    char buffer[32];
    char* input = const_cast<char*>(in.data());
    size_t inputLeft = in.size();
    char* output = buffer;
    size_t outputLeft = sizeof buffer;
    iconv(static_cast<iconv_t>(handle), nullptr, nullptr, nullptr, nullptr);
    if (iconv(static_cast<iconv_t>(handle), &input, &inputLeft, &output, &outputLeft) == static_cast<size_t>(-1) ||
        inputLeft != 0)
        return false;
    out.assign(buffer, output);
    return true;
}

const char* IconvName(CodePage codePage)
{
    return codePage == CodePage::kShiftJis ? "CP932" : "CP1252";
}

bool ConvertCharacter(const std::string& sequence, CodePage codePage, std::string& bytes, std::string& readBack)
{
    Iconv toPage = OpenIconv(IconvName(codePage), "UTF-8");
    Iconv fromPage = OpenIconv("UTF-8", IconvName(codePage));
    if (!toPage || !fromPage || !RunIconv(toPage.get(), sequence, bytes) || bytes.empty())
        return false;
    return RunIconv(fromPage.get(), bytes, readBack);
}

#endif

}  // namespace

const char* CodePageName(CodePage codePage)
{
    return codePage == CodePage::kShiftJis ? "Shift-JIS (code page 932)" : "Windows-1252";
}

bool ConvertFromUtf8(const std::string& utf8, CodePage codePage, std::string& out, std::string& problem)
{
    std::string converted;
    for (size_t i = 0; i < utf8.size();) {
        size_t length = SequenceLength(static_cast<uint8_t>(utf8[i]));
        if (length == 0 || i + length > utf8.size()) {
            problem = "the text is not valid UTF-8";
            return false;
        }
        std::string sequence = utf8.substr(i, length);
        if (IsRefusedControl(CodePoint(sequence))) {
            problem = "control character " + Describe(sequence) + " is not allowed";
            return false;
        }
        std::string bytes, readBack;
        if (!ConvertCharacter(sequence, codePage, bytes, readBack)) {
            problem = "character " + Describe(sequence) + " has no form in " + CodePageName(codePage);
            return false;
        }
        if (readBack != sequence) {
            problem = "character " + Describe(sequence) + " is not in " + CodePageName(codePage) +
                      " (it would read back as " + Describe(readBack) + ")";
            return false;
        }
        converted += bytes;
        i += length;
    }
    out = std::move(converted);
    return true;
}

}  // namespace mkpackage
