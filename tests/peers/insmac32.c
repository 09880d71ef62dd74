/* The client's network adapter library as the setup's closing phase meets it. Built in
   variants that differ in which of the three entries they export (INSMAC_ALL: all three,
   INSMAC_INSTALL: install_kovmac only, neither: none). Each call appends "entry(argument)"
   to C:\insmac.log; each result is read from section [results] of C:\insmac.ini (0 when not
   given). */
#include <windows.h>
#include <stdio.h>

static void Note(const char* entry, long argument) {
    FILE* f = fopen("C:\\insmac.log", "ab");
    if (!f) return;
    char folder[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof folder, folder);
    fprintf(f, "%s(%ld) cwd=%s\r\n", entry, argument, folder);
    fclose(f);
}

static long Result(const char* entry) {
    return (long)GetPrivateProfileIntA("results", entry, 0, "C:\\insmac.ini");
}

#if defined(INSMAC_ALL)
__declspec(dllexport) long __stdcall do_not_reboot(long flag) {
    Note("do_not_reboot", flag);
    return Result("do_not_reboot");
}
__declspec(dllexport) long __stdcall check_reboot_flag(void) {
    Note("check_reboot_flag", 0);
    return Result("check_reboot_flag");
}
#endif
#if defined(INSMAC_ALL) || defined(INSMAC_INSTALL)
__declspec(dllexport) long __stdcall install_kovmac(long window) {
    Note("install_kovmac", window != 0);
    return Result("install_kovmac");
}
#endif

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) Note("attach", 0);
    return TRUE;
}
