// The command line: options and the globals they set (see base/globals.h).
#pragma once

// Fills the option globals from text; a null text does nothing.
void ParseCommandLine(const char* text);
