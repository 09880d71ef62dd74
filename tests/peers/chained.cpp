// A program the setup chains to: a browser installer, PPTWARN.EXE, an add-on, the next
// diskette's program, the Windows 3.1 edition's setup. The tests copy it under the name it
// plays. Each start appends one line to C:\chained.log:
//   NAME|command line|current folder
// and then does what section [NAME] of C:\chained.ini asks (NAME: its file name in capitals):
//   build=N      leaves browser build N in the registry (HKLM\Software\Microsoft\Internet
//                Explorer, value "Build")
//   restart=YES  writes Restart=YES in section WKOV of win.ini, as an add-on asking for a
//                restart does
//   sleep=MS     stays that long before ending
#include <windows.h>
#include <stdio.h>
#include <string.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    char module[MAX_PATH] = "", cwd[MAX_PATH] = "";
    GetModuleFileNameA(NULL, module, sizeof module);
    const char* name = strrchr(module, '\\') ? strrchr(module, '\\') + 1 : module;
    char upper[MAX_PATH];
    lstrcpynA(upper, name, sizeof upper);
    CharUpperA(upper);
    GetCurrentDirectoryA(sizeof cwd, cwd);
    if (FILE* f = fopen("C:\\chained.log", "ab")) {
        fprintf(f, "%s|%s|%s\r\n", upper, commandLine, cwd);
        fclose(f);
    }

    const char* ini = "C:\\chained.ini";
    char value[64];
    if (GetPrivateProfileStringA(upper, "build", "", value, sizeof value, ini)) {
        HKEY key;
        if (RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer", &key) ==
            ERROR_SUCCESS) {
            RegSetValueExA(key, "Build", 0, REG_SZ, (const BYTE*)value, lstrlenA(value) + 1);
            RegCloseKey(key);
        }
    }
    if (GetPrivateProfileStringA(upper, "restart", "", value, sizeof value, ini))
        WriteProfileStringA("WKOV", "Restart", value);
    int sleep = GetPrivateProfileIntA(upper, "sleep", 0, ini);
    if (sleep > 0) Sleep(sleep);
    return 0;
}
