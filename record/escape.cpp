// The escaping shared by the install record and the rollback journal: text lines of
// tab-separated fields.
#include "record/escape.h"

// Fields are separated by tabs and lines by CR LF, so control bytes and the escape
// character itself are written as %XX. Everything else, backslashes included, stays as is.
int AppendEscaped(char* out, int used, int size, const char* text) {
    static const char hex[] = "0123456789ABCDEF";
    for (const unsigned char* p = (const unsigned char*)(text ? text : ""); *p; ++p) {
        if (*p < 0x20 || *p == '%') {
            if (used + 3 >= size) return -1;
            out[used++] = '%';
            out[used++] = hex[*p >> 4];
            out[used++] = hex[*p & 15];
        } else {
            if (used + 1 >= size) return -1;
            out[used++] = (char)*p;
        }
    }
    out[used] = 0;
    return used;
}

static int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Unescapes text[0..length) into out; 0 when it does not fit or an escape is malformed.
int Unescape(const char* text, int length, char* out, int size) {
    int used = 0;
    for (int i = 0; i < length; ++i) {
        char c = text[i];
        if (c == '%') {
            if (i + 2 >= length) return 0;
            int h = HexValue(text[i + 1]), l = HexValue(text[i + 2]);
            if (h < 0 || l < 0) return 0;
            c = (char)(h * 16 + l);
            i += 2;
            // A field is a text: a NUL would end it early and name something shorter.
            if (c == 0) return 0;
        }
        if (used + 1 >= size) return 0;
        out[used++] = c;
    }
    out[used] = 0;
    return 1;
}
