// System registration: the client's defaults, help contents and uninstall entry.
#include <windows.h>
#include "migrate/registration.h"
#include "base/globals.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/path.h"
#include "record/installrec.h"
#include "registry/registry.h"
#include "sys/sys.h"

namespace {

const char CLIENT_KEY[] = "Software\\Tavelin Online\\KOV\\CurrentVersion";
const char UNINSTALL_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char COMPANY[] = "Tavelin Online";
const char UNINSTALLER[] = UNINSTALLER_NAME;
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
    if (!RegistryKeyExists(HKEY_CURRENT_USER, CLIENT_KEY)) {
        LogPrintf("No client key for the WWWUseRapidWeb default");
        return;
    }
    DWORD value = 0;
    LONG status = RegistryGetDword(HKEY_CURRENT_USER, CLIENT_KEY, "WWWUseRapidWeb", &value);
    // Anything unreadable into four bytes (absent, or too long) gets the default.
    if (status != ERROR_SUCCESS) {
        NoteRegistryValue(HKEY_CURRENT_USER, CLIENT_KEY, "WWWUseRapidWeb");
        status = RegistrySetDword(HKEY_CURRENT_USER, CLIENT_KEY, "WWWUseRapidWeb", 1);
        LogPrintf("WWWUseRapidWeb set to 1, status %ld", status);
    }
}

int MergeHelpContents(void) {
    char path[MAX_PATH_TEXT];
    UINT length = GetWindowsDirectoryA(path, sizeof path);
    if (length == 0 || length >= sizeof path) return 0;
    StripTrailingBackslash(path);
    if (!AppendText(path, "\\Help\\Windows.cnt", sizeof path)) return 0;

    // Opening only an existing file: the help contents are the system's, never ours to make.
    // No sharing: lines another program wrote between our read and our append would be
    // interleaved with ours, or written over.
    SysFile file = SysOpen(path, SYS_READWRITE_ALONE);
    if (!file) {
        if (FileExists(path)) LogPrintf("Help contents file %s is in use", path);
        else LogPrintf("No help contents file %s", path);
        return 0;
    }
    long size = SysFileSize(file);
    if (size <= 0) {
        SysClose(file);
        LogPrintf("Help contents file %s is empty", path);
        return 0;
    }
    char* text = (char*)MemAlloc((unsigned long)size);
    long got = SysRead(file, text, (unsigned long)size);
    if (got <= 0) {
        MemFree(text);
        SysClose(file);
        LogPrintf("Help contents file %s unreadable", path);
        return 0;
    }

    if (ContainsText(text, (DWORD)got, CLIENT_CONTENTS)) {
        LogPrintf("Help contents already include %s", CLIENT_CONTENTS);
    } else {
        SysSeek(file, 0, SYS_SEEK_END);
        char added[160] = "";
        // A last line without its line break would otherwise swallow our first line.
        if (got == size && text[got - 1] != '\n') AppendText(added, "\r\n", sizeof added);
        for (const char* line : HELP_LINES) AppendText(added, line, sizeof added);
        RecordAppended(path, (unsigned long)size, added);
        SysWrite(file, added, (unsigned long)lstrlenA(added));
        LogPrintf("Help contents merged into %s", path);
    }
    SysClose(file);
    MemFree(text);
    return 1;
}

int RegisterUninstall(void) {
    char uninstaller[MAX_PATH_TEXT];
    // Format cuts what does not fit; a cut path must not name some other file.
    if (lstrlenA(InstallSettings.DestDir) + 1 + lstrlenA(UNINSTALLER) >= (int)sizeof uninstaller ||
        Format(uninstaller, sizeof uninstaller, "%s\\%s", InstallSettings.DestDir, UNINSTALLER) <
            0 ||
        !FileExists(uninstaller)) {
        LogPrintf("No %s in %s: no uninstall entry", UNINSTALLER, InstallSettings.DestDir);
        return 0;
    }
    char key[MAX_PATH_TEXT];
    Format(key, sizeof key, "%s\\%s", UNINSTALL_KEY, COMPANY);
    NoteRegistryValue(HKEY_LOCAL_MACHINE, key, "DisplayName");
    RegistryUpdateString(HKEY_LOCAL_MACHINE, key, "DisplayName", COMPANY);
    NoteRegistryValue(HKEY_LOCAL_MACHINE, key, "UninstallString");
    RegistryUpdateString(HKEY_LOCAL_MACHINE, key, "UninstallString", uninstaller);
    NoteRegistryValue(HKEY_LOCAL_MACHINE, key, UNINSTALL_GROUP_VALUE);
    RegistryUpdateString(HKEY_LOCAL_MACHINE, key, UNINSTALL_GROUP_VALUE, InstallSettings.GroupName);
    LogPrintf("Uninstall entry written for %s", uninstaller);
    return 1;
}
