// The command line: options and the globals they set (see base/globals.h).
#pragma once

// Fills the option globals from text; a null text does nothing.
void ParseCommandLine(const char* text);

// What follows the program's name in the whole command line the system hands a process,
// as the C runtime passes it to WinMain: the name (quotes around any part of it) and the
// blanks and control characters after it are skipped.
const char* CommandTail(const char* line);
