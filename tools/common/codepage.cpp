// Conversions between Windows-1252 and UTF-8 for the host tools.
#include "tools/common/codepage.h"
#include <langinfo.h>
#include <locale.h>
#include <string.h>
#include <strings.h>

namespace {

// 0x80 to 0x9F: the code page's own characters there; the undefined ones keep their C1 value.
const uint16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void PutUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | c >> 6);
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | c >> 12);
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | c >> 18);
        out += char(0x80 | (c >> 12 & 0x3F));
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// Decodes one character at *i; returns false on a malformed sequence.
bool NextChar(const std::string& s, size_t* i, uint32_t* c) {
    unsigned char b = (unsigned char)s[*i];
    int more;
    uint32_t v, least;
    if (b < 0x80) {
        *c = b;
        ++*i;
        return true;
    } else if (b >= 0xC2 && b <= 0xDF) {
        more = 1, v = b & 0x1F, least = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        more = 2, v = b & 0x0F, least = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        more = 3, v = b & 0x07, least = 0x10000;
    } else {
        return false;
    }
    if (*i + more >= s.size()) return false;
    for (int k = 1; k <= more; k++) {
        unsigned char t = (unsigned char)s[*i + k];
        if ((t & 0xC0) != 0x80) return false;
        v = v << 6 | (t & 0x3F);
    }
    if (v < least || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return false;
    *i += more + 1;
    *c = v;
    return true;
}

}  // namespace

uint32_t Cp1252Char(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte;
}

std::string Cp1252ToUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char b : text) PutUtf8(out, Cp1252Char(b));
    return out;
}

bool Utf8ToCp1252(const std::string& text, std::string* out, size_t* badAt, uint32_t* badChar) {
    out->clear();
    for (size_t i = 0; i < text.size();) {
        size_t at = i;
        uint32_t c;
        if (!NextChar(text, &i, &c)) {
            *badAt = at, *badChar = 0;
            return false;
        }
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            *out += char(c);
            continue;
        }
        int byte = -1;
        for (int k = 0; k < 32; k++)
            if (kHigh[k] == c) byte = 0x80 + k;
        if (byte < 0) {
            *badAt = at, *badChar = c;
            return false;
        }
        *out += char(byte);
    }
    return true;
}

bool IsUtf8(const std::string& text) {
    uint32_t c;
    for (size_t i = 0; i < text.size();)
        if (!NextChar(text, &i, &c)) return false;
    return true;
}

bool LocaleIsUtf8() {
    static int known = -1;
    if (known < 0) {
        setlocale(LC_CTYPE, "");
        const char* set = nl_langinfo(CODESET);
        known = set && (!strcasecmp(set, "UTF-8") || !strcasecmp(set, "utf8"));
        setlocale(LC_CTYPE, "C");
    }
    return known == 1;
}
