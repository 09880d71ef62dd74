// Entry: the first steps of a run.
#pragma once
#include <windows.h>

extern HINSTANCE SetupInstance;
int SetupMain(HINSTANCE instance, const char* commandLine);
int IsWindowClassPresent(const char* className);
