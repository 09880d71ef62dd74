// wsprintf-style formatting (%s %u %lu %d %ld %c %x %X %lx, with flags and widths) into a
// bounded buffer. Depends on nothing.
#pragma once
#include <stdarg.h>
#include <stdint.h>

// A longer result is cut to size - 1 bytes and the stored length returned; -1 only for a
// null format or buffer.
int FormatV(char* out, int size, const char* format, va_list args);
int Format(char* out, int size, const char* format, ...);

// The decimal text of value with a comma before every group of three digits from the right,
// padded on the left with blanks to width characters when shorter, into out (size bytes,
// cut to size - 1 when longer). Returns out.
char* FormatThousands(char* out, int size, uint32_t value, unsigned width);
