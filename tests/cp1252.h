// Test expectations are written in UTF-8 for readability; the program's ANSI texts are
// Windows-1252, which matches Latin-1 for every accented letter the texts use.
#pragma once
#include <string>

inline std::string Cp1252(const char* utf8) {
    std::string out;
    for (const unsigned char* p = (const unsigned char*)utf8; *p; ++p) {
        if ((*p == 0xC2 || *p == 0xC3) && p[1]) {
            out += (char)(((*p & 0x03) << 6) | (p[1] & 0x3F));
            ++p;
        } else {
            out += (char)*p;
        }
    }
    return out;
}
