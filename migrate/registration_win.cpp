// System registration: the client's defaults, help contents and uninstall entry.
#include <windows.h>
#include "migrate/registration.h"
#include "base/globals.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/path.h"
#include "registry/registry.h"

namespace {

const char CLIENT_KEY[] = "Software\\Tavelin Online\\KOV\\CurrentVersion";
const char UNINSTALL_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char COMPANY[] = "Tavelin Online";
const char UNINSTALLER[] = "RM_KOV.EXE";
const char CLIENT_CONTENTS[] = "kov95f.cnt";
const char* const HELP_LINES[] = {
    ":Index Tavelin Online Help=kov95f.hlp\r\n",
    ":Link kov95f.hlp\r\n",
    ":include kov95f.cnt\r\n",
};

// Case-sensitive search of pattern in the count bytes of text, one character at a time so
// that the second byte of a double-byte character never starts a match. The file's bytes
// are not terminated and may hold NULs, hence no string functions.
int ContainsText(const char* text, DWORD count, const char* pattern) {
    DWORD length = lstrlenA(pattern);
    DWORD at = 0;
    while (at + length <= count) {
        if (memcmp(text + at, pattern, length) == 0) return 1;
        at += (IsDBCSLeadByte((BYTE)text[at]) && at + 1 < count) ? 2 : 1;
    }
    return 0;
}

}  // namespace

void SetRapidWebDefault(void) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, CLIENT_KEY, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        LogPrintf("No client key for the WWWUseRapidWeb default");
        return;
    }
    DWORD value = 0, size = sizeof value;
    // Anything unreadable into four bytes (absent, or too long) gets the default.
    if (RegQueryValueExA(key, "WWWUseRapidWeb", nullptr, nullptr, (BYTE*)&value, &size) !=
        ERROR_SUCCESS) {
        DWORD one = 1;
        LONG status =
            RegSetValueExA(key, "WWWUseRapidWeb", 0, REG_DWORD, (const BYTE*)&one, sizeof one);
        LogPrintf("WWWUseRapidWeb set to 1, status %ld", status);
    }
    RegCloseKey(key);
}

int MergeHelpContents(void) {
    char path[260];
    UINT length = GetWindowsDirectoryA(path, sizeof path);
    if (length == 0 || length >= sizeof path) return 0;
    StripTrailingBackslash(path);
    if (!AppendText(path, "\\Help\\Windows.cnt", sizeof path)) return 0;

    // Opening only an existing file: the help contents are the system's, never ours to make.
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        LogPrintf("No help contents file %s", path);
        return 0;
    }
    DWORD size = GetFileSize(file, nullptr);
    if (size == 0 || size == INVALID_FILE_SIZE) {
        CloseHandle(file);
        LogPrintf("Help contents file %s is empty", path);
        return 0;
    }
    char* text = (char*)MemAlloc(size);
    DWORD got = 0;
    if (!ReadFile(file, text, size, &got, nullptr) || got == 0) {
        MemFree(text);
        CloseHandle(file);
        LogPrintf("Help contents file %s unreadable", path);
        return 0;
    }

    if (ContainsText(text, got, CLIENT_CONTENTS)) {
        LogPrintf("Help contents already include %s", CLIENT_CONTENTS);
    } else {
        DWORD written;
        SetFilePointer(file, 0, nullptr, FILE_END);
        // A last line without its line break would otherwise swallow our first line.
        if (got == size && text[got - 1] != '\n') WriteFile(file, "\r\n", 2, &written, nullptr);
        for (const char* line : HELP_LINES)
            WriteFile(file, line, lstrlenA(line), &written, nullptr);
        LogPrintf("Help contents merged into %s", path);
    }
    CloseHandle(file);
    MemFree(text);
    return 1;
}

int RegisterUninstall(void) {
    char uninstaller[260];
    // Format cuts what does not fit; a cut path must not name some other file.
    if (lstrlenA(InstallSettings.DestDir) + 1 + lstrlenA(UNINSTALLER) >= (int)sizeof uninstaller ||
        Format(uninstaller, sizeof uninstaller, "%s\\%s", InstallSettings.DestDir, UNINSTALLER) <
            0 ||
        !FileExists(uninstaller)) {
        LogPrintf("No %s in %s: no uninstall entry", UNINSTALLER, InstallSettings.DestDir);
        return 0;
    }
    char key[260];
    Format(key, sizeof key, "%s\\%s", UNINSTALL_KEY, COMPANY);
    RegistryUpdateString(HKEY_LOCAL_MACHINE, key, "DisplayName", COMPANY);
    RegistryUpdateString(HKEY_LOCAL_MACHINE, key, "UninstallString", uninstaller);
    LogPrintf("Uninstall entry written for %s", uninstaller);
    return 1;
}
