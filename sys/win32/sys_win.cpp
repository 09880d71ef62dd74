// The OS seam on Win32: plain kernel and user calls, behaving as the system requires.
#include <windows.h>
#include <direct.h>
#include <io.h>
#include <string.h>

#include "sys/sys.h"

SysFile SysOpen(const char* path, int mode) {
    if (SysFaultHit(mode == SYS_READ ? SYS_FAULT_OPEN_READ : SYS_FAULT_OPEN_WRITE)) return 0;
    DWORD access = mode == SYS_WRITE ? GENERIC_WRITE
                   : mode == SYS_READWRITE || mode == SYS_READWRITE_ALONE
                       ? GENERIC_READ | GENERIC_WRITE
                       : GENERIC_READ;
    DWORD share = mode == SYS_READWRITE_ALONE ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE h = CreateFileA(path, access, share, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    return h == INVALID_HANDLE_VALUE ? 0 : (SysFile)h;
}

// A new file is made as new, and only an existing one is truncated. Truncating, even an
// empty file, makes some file systems write the data out at close (they take it for a file
// being replaced), and deleting the file soon after then costs milliseconds instead of
// microseconds: the install loop's temporary archives live for one extraction each.
SysFile SysCreate(const char* path) {
    if (SysFaultHit(SYS_FAULT_OPEN_WRITE)) return 0;
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS)
        h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, NULL);
    return h == INVALID_HANDLE_VALUE ? 0 : (SysFile)h;
}

long SysRead(SysFile f, void* buf, unsigned long count) {
    DWORD done = 0;
    if (!f || SysFaultHit(SYS_FAULT_READ) || !ReadFile((HANDLE)f, buf, count, &done, NULL))
        return -1;
    return (long)done;
}

long SysWrite(SysFile f, const void* buf, unsigned long count) {
    DWORD done = 0;
    if (!f || SysFaultHit(SYS_FAULT_WRITE) || !WriteFile((HANDLE)f, buf, count, &done, NULL))
        return -1;
    return (long)done;
}

long SysSeek(SysFile f, long offset, int whence) {
    DWORD how = whence == SYS_SEEK_CUR   ? FILE_CURRENT
                : whence == SYS_SEEK_END ? FILE_END
                                         : FILE_BEGIN;
    if (!f || SysFaultHit(SYS_FAULT_SEEK)) return -1;
    DWORD r = SetFilePointer((HANDLE)f, offset, NULL, how);
    return r == INVALID_SET_FILE_POINTER || r > 0x7FFFFFFF ? -1 : (long)r;
}

long SysFileSize(SysFile f) {
    DWORD high = 0;
    DWORD low = f ? GetFileSize((HANDLE)f, &high) : INVALID_FILE_SIZE;
    return low == INVALID_FILE_SIZE || high || low > 0x7FFFFFFF ? -1 : (long)low;
}

int SysTruncate(SysFile f) {
    return f && !SysFaultHit(SYS_FAULT_TRUNCATE) && SetEndOfFile((HANDLE)f);
}
int SysClose(SysFile f) { return f && CloseHandle((HANDLE)f); }
int SysFlush(SysFile f) { return f && FlushFileBuffers((HANDLE)f); }

int SysDelete(const char* path) { return !SysFaultHit(SYS_FAULT_DELETE) && DeleteFileA(path) != 0; }
int SysRename(const char* from, const char* to) {
    return !SysFaultHit(SYS_FAULT_RENAME) && MoveFileA(from, to) != 0;
}
int SysMakeDir(const char* path) { return CreateDirectoryA(path, NULL) != 0; }
int SysRemoveDir(const char* path) { return RemoveDirectoryA(path) != 0; }
int SysCopyFile(const char* from, const char* to) { return CopyFileA(from, to, FALSE) != 0; }

long SysAttributes(const char* path) {
    DWORD a = path ? GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
    return a == INVALID_FILE_ATTRIBUTES ? (long)SYS_ATTR_NONE : (long)a;
}

static void FillFind(const WIN32_FIND_DATAA& w, SysFindData* out) {
    lstrcpynA(out->name, w.cFileName, sizeof out->name);
    out->size = w.nFileSizeLow;
    out->isDir = (w.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    ULARGE_INTEGER t;
    t.LowPart = w.ftLastWriteTime.dwLowDateTime;
    t.HighPart = w.ftLastWriteTime.dwHighDateTime;
    // 100 ns ticks since 1601 to seconds since 1970.
    out->writeTime = t.QuadPart < 116444736000000000ULL
                         ? 0
                         : (uint32_t)((t.QuadPart - 116444736000000000ULL) / 10000000ULL);
}

int SysFolderIdentity(const char* path, SysFolderKey* key) {
    // Windows 95 cannot open a folder as a file and has no links either: nothing to tell.
    HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (h == INVALID_HANDLE_VALUE) return 0;
    BY_HANDLE_FILE_INFORMATION info;
    BOOL ok = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    if (!ok) return 0;
    key->volume = info.dwVolumeSerialNumber;
    key->index = ((uint64_t)info.nFileIndexHigh << 32) | info.nFileIndexLow;
    return 1;
}

SysFind SysFindFirst(const char* pattern, SysFindData* out) {
    WIN32_FIND_DATAA w;
    HANDLE h = FindFirstFileA(pattern, &w);
    if (h == INVALID_HANDLE_VALUE) return 0;
    FillFind(w, out);
    return (SysFind)h;
}

int SysFindNext(SysFind h, SysFindData* out) {
    WIN32_FIND_DATAA w;
    if (!h || !FindNextFileA((HANDLE)h, &w)) return 0;
    FillFind(w, out);
    return 1;
}

void SysFindClose(SysFind h) {
    if (h) FindClose((HANDLE)h);
}

int SysGetCurrentDrive(void) { return _getdrive(); }
int SysSetCurrentDrive(int oneBased) { return _chdrive(oneBased) == 0; }
int SysGetDriveCurrentDir(int oneBased, char* out, int size) {
    return _getdcwd(oneBased, out, size) != NULL;
}
int SysSetCurrentDir(const char* path) { return SetCurrentDirectoryA(path) != 0; }

int SysDriveType(const char* root) { return (int)GetDriveTypeA(root); }

int SysDiskFree(const char* root, unsigned long* spc, unsigned long* bps, unsigned long* freeC,
                unsigned long* totalC) {
    DWORD a, b, c, d;
    if (!GetDiskFreeSpaceA(root, &a, &b, &c, &d)) return 0;
    *spc = a;
    *bps = b;
    *freeC = c;
    *totalC = d;
    return 1;
}

const char* SysCharNext(const char* p) { return CharNextA(p); }
const char* SysCharPrev(const char* start, const char* p) { return CharPrevA(start, p); }
int SysIsLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != 0; }
// Paths are converted for the file calls, which take ANSI texts unless the process switched
// them to OEM. Converting for ANSI calls would turn "Récent" into another name on disk.
void SysAnsiToOem(char* text) {
    if (text && !AreFileApisANSI()) CharToOemA(text, text);
}
void SysOemToAnsi(char* text) {
    if (text && !AreFileApisANSI()) OemToCharA(text, text);
}

void* SysBlockAlloc(unsigned long size) {
    if (SysFaultHit(SYS_FAULT_ALLOC)) return NULL;
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size ? size : 1);
    if (!h) return NULL;
    void* p = GlobalLock(h);
    if (!p) GlobalFree(h);
    return p;
}

void SysBlockFree(void* p) {
    HGLOBAL h = GlobalHandle(p);
    if (!h) return;
    GlobalUnlock(h);
    GlobalFree(h);
}

void SysFatalExit(const char* text, unsigned exitCode) {
    if (text) FatalAppExitA(0, text);
    ExitProcess(exitCode);
}

void SysEndProcess(void) {
    // Nothing of the process runs after this: no DLL detach, no flush of the C runtime.
    TerminateProcess(GetCurrentProcess(), SYS_KILLED_EXIT);
    ExitProcess(SYS_KILLED_EXIT);
}

static HWND MessageOwner;

void SysSetMessageOwner(void* window) { MessageOwner = (HWND)window; }

void SysShowBusy(int busy) { SetCursor(LoadCursor(NULL, busy ? IDC_WAIT : IDC_ARROW)); }

int SysMessageBox(int kind, const char* text, const char* caption) {
    if (kind == SYS_BOX_NOTICE_YESNO)
        return MessageBoxA(NULL, text, caption, MB_YESNO | MB_ICONINFORMATION);
    UINT beep = MB_ICONEXCLAMATION, style = MB_ICONHAND | MB_OK;
    switch (kind) {
    case SYS_BOX_RETRYCANCEL: style = MB_ICONHAND | MB_RETRYCANCEL; break;
    case SYS_BOX_YESNO:
        beep = MB_ICONQUESTION;
        style = MB_ICONQUESTION | MB_YESNO;
        break;
    case SYS_BOX_YESNO_DEFNO:
        beep = MB_ICONQUESTION;
        style = MB_ICONQUESTION | MB_YESNO | MB_DEFBUTTON2;
        break;
    default: break;
    }
    MessageBeep(beep);
    HWND owner = MessageOwner && IsWindow(MessageOwner) ? MessageOwner : NULL;
    return MessageBoxA(owner, text, caption, style | MB_TASKMODAL);
}

int SysLoadString(unsigned id, char* out, int size) {
    if (size <= 0) return 0;
    int n = LoadStringA(GetModuleHandleA(NULL), id, out, size);
    if (n <= 0) out[0] = 0;
    return n < 0 ? 0 : n;
}

int SysTempFileName(const char* dir, const char* prefix, unsigned unique, char* out) {
    char name[MAX_PATH + 16];
    if (!dir || !prefix || !out || (unique & 0xFFFF) == 0) return 0;
    // A non-zero unique number names the file without creating it.
    if (strlen(dir) > MAX_PATH - 14 || !GetTempFileNameA(dir, prefix, unique, name) ||
        strlen(name) >= SYS_PATH_BYTES) {
        out[0] = 0;
        return 0;
    }
    strcpy(out, name);
    return 1;
}

SysLibrary SysLoadLibrary(const char* path) {
    // A damaged file must fail the call, not stop the setup behind a system message box.
    UINT mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryA(path);
    SetErrorMode(mode);
    return (SysLibrary)module;
}
void* SysLibraryEntry(SysLibrary library, const char* name) {
    return library ? (void*)GetProcAddress((HMODULE)library, name) : 0;
}
void SysFreeLibrary(SysLibrary library) {
    if (library) FreeLibrary((HMODULE)library);
}
uint64_t SysAddressWord(const void* p) { return (uint64_t)(uintptr_t)p; }
const void* SysWordAddress(uint64_t word) { return (const void*)(uintptr_t)word; }

unsigned long SysTickCount(void) { return GetTickCount(); }
void SysSleep(unsigned long ms) { Sleep(ms); }

SysFile SysOpenUnshared(const char* path) {
    HANDLE h = CreateFileA(path, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    return h == INVALID_HANDLE_VALUE ? 0 : (SysFile)h;
}

uint32_t SysFileDosTime(SysFile f) {
    FILETIME written;
    WORD date = 0, time = 0;
    if (!f || !GetFileTime((HANDLE)f, NULL, NULL, &written)) return 0;
    if (!FileTimeToDosDateTime(&written, &date, &time)) return 0;
    return (uint32_t)date << 16 | time;
}

int SysFileVersion(const char* path, uint32_t* ms, uint32_t* ls) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA((LPSTR)path, &ignored);
    if (size == 0) return 0;
    void* block = SysBlockAlloc(size);
    if (!block) return 0;
    int found = 0;
    VS_FIXEDFILEINFO* fixed = NULL;
    UINT length = 0;
    if (GetFileVersionInfoA((LPSTR)path, 0, size, block) &&
        VerQueryValueA(block, (LPSTR) "\\", (void**)&fixed, &length) && fixed &&
        length >= sizeof *fixed) {
        *ms = fixed->dwFileVersionMS;
        *ls = fixed->dwFileVersionLS;
        found = 1;
    }
    SysBlockFree(block);
    return found;
}

int SysCanWrite(const char* path) { return path && _access(path, 2) == 0; }

int SysSystemDir(char* out, int size) {
    if (size <= 0) return 0;
    UINT n = GetSystemDirectoryA(out, (UINT)size);
    if (n == 0 || n >= (UINT)size) {
        out[0] = 0;
        return 0;
    }
    return (int)n;
}

int SysModuleLoaded(const char* name) { return name && GetModuleHandleA(name) != NULL; }

void* SysStartProgram(const char* program, char* command, int show, unsigned long flags,
                      int inherit, const char* folder) {
    STARTUPINFOA start = {};
    start.cb = sizeof start;
    if (show != SYS_SHOW_AS_ASKED) {
        start.dwFlags = STARTF_USESHOWWINDOW;
        start.wShowWindow = (WORD)show;
    }
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(program, command, NULL, NULL, inherit ? TRUE : FALSE, flags, NULL, folder,
                        &start, &process))
        return NULL;
    CloseHandle(process.hThread);
    return process.hProcess;
}

int SysRestartWindows(void) {
    char record[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("KOV_RESTART_RECORD", record, sizeof record);
    if (n == 0 || n >= sizeof record) return ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0) != 0;
    HANDLE f = CreateFileA(record, GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (f == INVALID_HANDLE_VALUE) return 0;
    static const char kLine[] = "ExitWindowsEx reboot force\r\n";
    DWORD done = 0;
    SetFilePointer(f, 0, NULL, FILE_END);
    int ok = WriteFile(f, kLine, sizeof kLine - 1, &done, NULL) && done == sizeof kLine - 1;
    CloseHandle(f);
    return ok;
}
