// Entry and command line: the first steps of a run and the option globals.
#pragma once
#include <windows.h>

extern HINSTANCE SetupInstance;
int SetupMain(HINSTANCE instance, const char* commandLine);
void ParseCommandLine(const char* text);
int IsWindowClassPresent(const char* className);
