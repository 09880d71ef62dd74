// Starts a program and reports its exit code as Windows gives it: the whole 32-bit value,
// which a Unix shell would only see modulo 256 (3010 as 194).
//   launch.exe --out FILE COMMAND LINE...
// Writes "exit=N" (decimal) to FILE once COMMAND has ended, or "error=N" when it could not
// be started; the rest of the command line after FILE is passed on as it is. Ends with 0
// when the code was read, 1 otherwise.
#include <windows.h>
#include <stdio.h>
#include <string.h>

// The command line after n words (blanks separate them; no quotes in our own arguments).
static const char* SkipWords(const char* p, int n) {
    // The program's own name may be quoted.
    while (*p == ' ') p++;
    if (*p == '"') {
        p++;
        while (*p && *p != '"') p++;
        if (*p) p++;
    } else {
        while (*p && *p != ' ') p++;
    }
    for (int i = 0; i < n; i++) {
        while (*p == ' ') p++;
        while (*p && *p != ' ') p++;
    }
    while (*p == ' ') p++;
    return p;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const char* line = GetCommandLineA();
    const char* p = SkipWords(line, 0);
    char out[MAX_PATH] = "";
    if (strncmp(p, "--out ", 6) != 0) return 1;
    p += 6;
    while (*p == ' ') p++;
    int n = 0;
    while (*p && *p != ' ' && n < MAX_PATH - 1) out[n++] = *p++;
    out[n] = 0;
    while (*p == ' ') p++;
    char command[4096];
    lstrcpynA(command, p, sizeof command);

    FILE* f = fopen(out, "wb");
    if (!f) return 1;
    STARTUPINFOA start = {};
    start.cb = sizeof start;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &start, &process)) {
        fprintf(f, "error=%lu\r\n", (unsigned long)GetLastError());
        fclose(f);
        return 1;
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    int got = GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    if (got) fprintf(f, "exit=%lu\r\n", (unsigned long)code);
    else fprintf(f, "error=%lu\r\n", (unsigned long)GetLastError());
    fclose(f);
    return got ? 0 : 1;
}
