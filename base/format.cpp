// wsprintf-style formatting into a bounded buffer. Depends on nothing, so that the log,
// the message boxes and anything else may format.
#include "base/format.h"

#include <string.h>

namespace {

struct Out {
    char* buf;
    int size, len;
    void Put(char c) {
        if (len < size - 1) buf[len] = c;
        len++;
    }
    void Pad(char c, int n) {
        while (n-- > 0) Put(c);
    }
};

void PutNumber(Out& o, unsigned long v, bool negative, int base, bool upper, bool left, bool zero,
               bool alt, int width, int precision) {
    char digits[24];
    int n = 0;
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    do {
        digits[n++] = set[v % base];
        v /= base;
    } while (v);
    while (n < precision && n < (int)sizeof digits) digits[n++] = '0';
    int prefix = negative ? 1 : (alt && base == 16 ? 2 : 0);
    int pad = width - n - prefix;
    if (!left && !zero) o.Pad(' ', pad);
    if (negative) o.Put('-');
    if (prefix == 2) {
        o.Put('0');
        o.Put(upper ? 'X' : 'x');
    }
    if (!left && zero) o.Pad('0', pad);
    while (n) o.Put(digits[--n]);
    if (left) o.Pad(' ', pad);
}

}  // namespace

int FormatV(char* out, int size, const char* format, va_list args) {
    if (!out || size <= 0) return -1;
    out[0] = 0;
    if (!format) return -1;
    Out o{out, size, 0};
    for (const char* f = format; *f; f++) {
        if (*f != '%') {
            o.Put(*f);
            continue;
        }
        f++;
        bool left = false, zero = false, alt = false;
        for (;; f++) {
            if (*f == '-') left = true;
            else if (*f == '0') zero = true;
            else if (*f == '#') alt = true;
            else break;
        }
        int width = 0, precision = -1;
        while (*f >= '0' && *f <= '9') width = width * 10 + (*f++ - '0');
        if (*f == '.') {
            precision = 0;
            f++;
            while (*f >= '0' && *f <= '9') precision = precision * 10 + (*f++ - '0');
        }
        bool isLong = false;
        if (*f == 'l') {
            isLong = true;
            f++;
        } else if (*f == 'h') f++;
        switch (*f) {
        case 0: f--; break;
        case '%': o.Put('%'); break;
        case 'c':
        case 'C': {
            char c = (char)va_arg(args, int);
            if (!left) o.Pad(' ', width - 1);
            o.Put(c);
            if (left) o.Pad(' ', width - 1);
            break;
        }
        case 's':
        case 'S': {
            const char* s = va_arg(args, const char*);
            if (!s) s = "(null)";
            int n = (int)strlen(s);
            if (precision >= 0 && n > precision) n = precision;
            if (!left) o.Pad(' ', width - n);
            for (int i = 0; i < n; i++) o.Put(s[i]);
            if (left) o.Pad(' ', width - n);
            break;
        }
        case 'd':
        case 'i': {
            long v = isLong ? va_arg(args, long) : va_arg(args, int);
            unsigned long mag = v < 0 ? 0UL - (unsigned long)v : (unsigned long)v;
            PutNumber(o, mag, v < 0, 10, false, left, zero, false, width, precision);
            break;
        }
        case 'u':
        case 'x':
        case 'X': {
            unsigned long v = isLong ? va_arg(args, unsigned long) : va_arg(args, unsigned);
            PutNumber(o, v, false, *f == 'u' ? 10 : 16, *f == 'X', left, zero, alt, width,
                      precision);
            break;
        }
        default: o.Put(*f); break;  // unknown type: the character itself, as wsprintf does
        }
    }
    int len = o.len < size - 1 ? o.len : size - 1;
    out[len] = 0;
    return len;
}

int Format(char* out, int size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = FormatV(out, size, format, args);
    va_end(args);
    return n;
}

char* FormatThousands(char* out, int size, uint32_t value, unsigned width) {
    if (!out || size <= 0) return out;
    char digits[16];
    Format(digits, sizeof digits, "%lu", (unsigned long)value);
    int count = (int)strlen(digits);

    // A comma before every group of three digits counted from the right.
    char grouped[24];
    int n = 0;
    for (int i = 0; i < count; i++) {
        if (i && (count - i) % 3 == 0) grouped[n++] = ',';
        grouped[n++] = digits[i];
    }

    int at = 0;
    for (unsigned pad = width > (unsigned)n ? width - (unsigned)n : 0; pad && at < size - 1; pad--)
        out[at++] = ' ';
    for (int i = 0; i < n && at < size - 1; i++) out[at++] = grouped[i];
    out[at] = 0;
    return out;
}
