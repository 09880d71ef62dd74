// A program the setup chains to: a browser installer, PPTWARN.EXE, an add-on, the next
// diskette's program, the Windows 3.1 edition's setup. The tests copy it under the name it
// plays. Each start appends one line to C:\chained.log:
//   NAME|whole command line|current folder
// and then does what section [NAME] of C:\chained.ini asks (NAME: its file name in capitals):
//   build=N[,N...] leaves browser build N in the registry (HKLM\Software\Microsoft\Internet
//                Explorer, value "Build"): the first value on the first start, the second on
//                the second, the last one from then on
//   restart=YES  writes Restart=YES in section WKOV of win.ini, as an add-on asking for a
//                restart does
//   sleep=MS     stays that long before ending
#include <windows.h>
#include <stdio.h>
#include <string.h>

// How many times this program was started before, by the lines of the log.
static int EarlierStarts(const char* upper) {
    int count = 0;
    char line[1024];
    size_t n = strlen(upper);
    if (FILE* f = fopen("C:\\chained.log", "rb")) {
        while (fgets(line, sizeof line, f))
            if (!strncmp(line, upper, n) && line[n] == '|') count++;
        fclose(f);
    }
    return count;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char module[MAX_PATH] = "", cwd[MAX_PATH] = "";
    GetModuleFileNameA(NULL, module, sizeof module);
    const char* name = strrchr(module, '\\') ? strrchr(module, '\\') + 1 : module;
    char upper[MAX_PATH];
    lstrcpynA(upper, name, sizeof upper);
    CharUpperA(upper);
    GetCurrentDirectoryA(sizeof cwd, cwd);
    int run = EarlierStarts(upper);
    if (FILE* f = fopen("C:\\chained.log", "ab")) {
        fprintf(f, "%s|%s|%s\r\n", upper, GetCommandLineA(), cwd);
        fclose(f);
    }

    const char* ini = "C:\\chained.ini";
    char list[256], value[64] = "";
    if (GetPrivateProfileStringA(upper, "build", "", list, sizeof list, ini)) {
        // The run-th value of the list, or its last one.
        char* item = strtok(list, ",");
        for (int i = 0; item; i++, item = strtok(NULL, ",")) {
            lstrcpynA(value, item, sizeof value);
            if (i == run) break;
        }
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
