/* A small library for the system-file tests: it is loaded, compared by version and replaced. */
#include <windows.h>

__declspec(dllexport) int VerDllAnswer(void) { return 42; }

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) { return TRUE; }
