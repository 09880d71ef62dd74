// wsprintf-style formatting (%s %u %lu %d %ld %c %x %X %lx, with flags and widths) into a
// bounded buffer. Depends on nothing.
#pragma once
#include <stdarg.h>

// A longer result is cut to size - 1 bytes and the stored length returned; -1 only for a
// null format or buffer.
int FormatV(char* out, int size, const char* format, va_list args);
int Format(char* out, int size, const char* format, ...);
