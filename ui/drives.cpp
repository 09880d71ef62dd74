// Thousands formatting of the drive list's free space.
#include "ui/drives.h"

#include <string.h>

#include "base/format.h"
#include "base/mem.h"

char* FormatThousands(uint32_t value, unsigned width) {
    char digits[16];
    Format(digits, sizeof digits, "%lu", (unsigned long)value);
    int count = (int)strlen(digits);

    // Digits from the last to the first, a comma after each group of three.
    char reversed[24];
    int n = 0;
    for (int i = count - 1, taken = 0; i >= 0; i--, taken++) {
        if (taken && taken % 3 == 0) reversed[n++] = ',';
        reversed[n++] = digits[i];
    }

    unsigned pad = width > (unsigned)n ? width - (unsigned)n : 0;
    char* out = (char*)MemAlloc(pad + (unsigned)n + 1);
    memset(out, ' ', pad);
    for (int i = 0; i < n; i++) out[pad + i] = reversed[n - 1 - i];
    out[pad + n] = 0;
    return out;
}
