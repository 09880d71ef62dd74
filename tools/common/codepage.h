// Windows-1252, the code page of every text the setup shows and every name it writes, and
// UTF-8, the encoding of the terminals and file names on the machines where the tools run.
#pragma once
#include <stdint.h>
#include <string>

// The Unicode character of a Windows-1252 byte. The five bytes the code page leaves
// undefined stand for the C1 controls of the same number, as Windows maps them.
uint32_t Cp1252Char(unsigned char byte);

// Windows-1252 bytes as UTF-8.
std::string Cp1252ToUtf8(const std::string& text);

// UTF-8 as Windows-1252. False when the text is not valid UTF-8 or holds a character the
// code page has no place for; *badAt is then the byte offset of the first such character
// and *badChar its code point (0 when the bytes are not valid UTF-8).
bool Utf8ToCp1252(const std::string& text, std::string* out, size_t* badAt, uint32_t* badChar);

// True when the text is well-formed UTF-8 (no overlong forms, no surrogates).
bool IsUtf8(const std::string& text);

// True when the user's locale (LC_ALL, LC_CTYPE, LANG) speaks UTF-8: the tools then print
// texts as UTF-8 and read command-line texts as UTF-8.
bool LocaleIsUtf8();
