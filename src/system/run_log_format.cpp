#include "system/run_log_format.h"

#include <cstring>

namespace {

// Appends bytes to out at *used; false when they would not fit with the terminator.
class LineWriter {
public:
    LineWriter(char* out, size_t size) : out_(out), size_(size) {}

    bool Byte(char c)
    {
        if (used_ + 1 >= size_)
            return false;
        out_[used_++] = c;
        out_[used_] = '\0';
        return true;
    }

    bool Raw(const char* text)
    {
        for (; *text != '\0'; ++text) {
            if (!Byte(*text))
                return false;
        }
        return true;
    }

    // Control bytes and DEL as \xNN. No trail byte of a double-byte
    // character is below 0x40, so the bytes of such characters stay whole.
    bool Escaped(const char* text)
    {
        for (; *text != '\0'; ++text) {
            const unsigned char c = static_cast<unsigned char>(*text);
            const bool ok = c < 0x20 || c == 0x7F ? Byte('\\') && Byte('x') && Hex(c, 2) : Byte(static_cast<char>(c));
            if (!ok)
                return false;
        }
        return true;
    }

    bool Hex(uint32_t value, int digits)
    {
        static constexpr char kHex[] = "0123456789ABCDEF";
        while (digits > 0) {
            if (!Byte(kHex[(value >> (4 * --digits)) & 0xF]))
                return false;
        }
        return true;
    }

    bool Number(uint32_t value, int minDigits)
    {
        char digits[10];
        int count = 0;
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (count < minDigits)
            digits[count++] = '0';
        while (count > 0) {
            if (!Byte(digits[--count]))
                return false;
        }
        return true;
    }

    size_t used() const { return used_; }

private:
    char* out_;
    size_t size_;
    size_t used_ = 0;
};

bool WriteTime(LineWriter& line, const LogTime& time)
{
    return line.Number(time.year, 4) && line.Byte('-') && line.Number(time.month, 2) && line.Byte('-') &&
           line.Number(time.day, 2) && line.Byte(' ') && line.Number(time.hour, 2) && line.Byte(':') &&
           line.Number(time.minute, 2) && line.Byte(':') && line.Number(time.second, 2);
}

bool WriteTag(LineWriter& line, const char* tag)
{
    const size_t start = line.used();
    if (!line.Escaped(tag))
        return false;
    while (line.used() - start < kLogTagWidth) {
        if (!line.Byte(' '))
            return false;
    }
    return true;
}

}  // namespace

bool FormatLogLine(char* out, size_t size, const LogTime& time, const char* tag, const char* text, const char* detail)
{
    if (size == 0)
        return false;
    out[0] = '\0';
    LineWriter line(out, size);
    const bool written = WriteTime(line, time) && line.Byte(' ') && WriteTag(line, tag) && line.Byte(' ') &&
                         line.Escaped(text) && (detail == nullptr || (line.Raw(": ") && line.Escaped(detail))) &&
                         line.Raw("\r\n");
    if (!written)
        out[0] = '\0';
    return written;
}

void FormatErrorDetail(char (&out)[kLogDetailSize], uint32_t error)
{
    LineWriter line(out, sizeof out);
    out[0] = '\0';
    line.Raw("failed, error ");
    // A code with the top bit set is a COM result (HRESULT), known by its hex form.
    if (error & 0x80000000u) {
        line.Raw("0x");
        line.Hex(error, 8);
    } else {
        line.Number(error, 1);
    }
}
