#pragma once
// Converts UTF-8 (the encoding of the test sources) to code page 932 with the
// C library, independently of the engine's own byte tables.
#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

inline std::string ToShiftJis(const std::string& utf8)
{
    iconv_t cd = iconv_open("CP932", "UTF-8");
    std::string out(utf8.size() * 2 + 4, '\0');
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size(), outLeft = out.size();
    char* outPtr = out.data();
    const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    EXPECT_NE(rc, static_cast<size_t>(-1)) << utf8;
    out.resize(out.size() - outLeft);
    return out;
}
