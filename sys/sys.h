// The narrow OS seam. Portable code (log, paths, memory, package, record database, the pure
// parts of install and migrate) reaches the operating system only through these calls.
// sys/win32 is plain Win32; sys/posix lets the same code run natively in tests, fuzzers and
// the host tools. Paths are ANSI texts; on POSIX a path "X:\..." is mapped through the drive
// table (SysMapDrive) and its backslashes become slashes, any other path is used as it is.
#pragma once
#include <stddef.h>
#include <stdint.h>

typedef intptr_t SysFile;  // 0 means "no file"
// A path buffer as the system's calls fill it: its longest path and the terminating NUL.
enum { SYS_PATH_BYTES = 260 };
// SYS_READWRITE_ALONE: read and write with no sharing, for a file that another program could
// be editing at the same moment (the POSIX seam does not lock).
enum { SYS_READ = 0, SYS_WRITE = 1, SYS_READWRITE = 2, SYS_READWRITE_ALONE = 3 };
enum { SYS_SEEK_SET = 0, SYS_SEEK_CUR = 1, SYS_SEEK_END = 2 };

// Files. SysOpen opens an existing file; SysCreate creates or truncates one for writing
// (and reading). Both return 0 on failure. SysRead/SysWrite return the byte count or -1.
SysFile SysOpen(const char* path, int mode);
SysFile SysCreate(const char* path);
long SysRead(SysFile f, void* buf, unsigned long count);
long SysWrite(SysFile f, const void* buf, unsigned long count);
long SysSeek(SysFile f, long offset, int whence);  // new position, or -1
long SysFileSize(SysFile f);                       // -1 on failure
int SysTruncate(SysFile f);                        // cut the file at the current position
int SysClose(SysFile f);                           // 1 when the file was closed (and written out)
// Writes the file's data through to the disk, so that a power cut after it loses none of it.
int SysFlush(SysFile f);

// Names in the file system. Each returns 1 on success, 0 on failure.
int SysDelete(const char* path);
int SysRename(const char* from, const char* to);
int SysMakeDir(const char* path);
int SysRemoveDir(const char* path);
int SysCopyFile(const char* from, const char* to);
enum { SYS_ATTR_NONE = -1, SYS_ATTR_READONLY = 0x01, SYS_ATTR_DIR = 0x10, SYS_ATTR_ARCHIVE = 0x20 };
long SysAttributes(const char* path);  // SYS_ATTR_NONE when absent

// File facts for the install engine. SysOpenUnshared opens for reading with no sharing, so
// it fails while another program holds the file open. SysFileDosTime gives the last write
// time as DOS date * 65536 + DOS time, straight from the file's own (UTC) stamp; 0 when it
// cannot be read or has no DOS form. SysFileVersion reads the file version words of the
// file's version resource; 0 when it has none. SysCanWrite is the C runtime's write test.
SysFile SysOpenUnshared(const char* path);
uint32_t SysFileDosTime(SysFile f);
int SysFileVersion(const char* path, uint32_t* mostSignificant, uint32_t* leastSignificant);
int SysCanWrite(const char* path);
// The system folder ("C:\WINDOWS\SYSTEM"); returns its length, 0 on failure.
int SysSystemDir(char* out, int size);
// 1 while a module of that file name is loaded in this process.
int SysModuleLoaded(const char* name);

// Folder enumeration over a pattern such as "C:\KOV\IDB\*.IDX" ('*' and '?' wildcards
// in the last component, matched without regard to case).
struct SysFindData {
    char name[SYS_PATH_BYTES];
    unsigned long size;
    int isDir;
    uint32_t writeTime;  // seconds since 1970, for choosing the newest file
};
typedef intptr_t SysFind;  // 0 means "nothing found"
SysFind SysFindFirst(const char* pattern, SysFindData* out);
int SysFindNext(SysFind h, SysFindData* out);
void SysFindClose(SysFind h);

// Which folder a path leads to, so that a walk can see that it is already inside a folder
// (a link can make a folder its own descendant). 0 when the system cannot tell.
struct SysFolderKey {
    uint64_t volume;
    uint64_t index;
};
int SysFolderIdentity(const char* path, SysFolderKey* key);

// Current drive and directory, 16-bit style: drive numbers are one-based (1 = A:),
// 0 when the current directory has no drive letter.
int SysGetCurrentDrive(void);
int SysSetCurrentDrive(int oneBased);
int SysGetDriveCurrentDir(int oneBased, char* out, int size);  // 0 = current drive
int SysSetCurrentDir(const char* path);

// Drives: type codes are the platform's (0 unknown, 1 no root, 2 removable, 3 fixed,
// 4 remote, 5 CD-ROM, 6 RAM disk).
int SysDriveType(const char* root);
int SysDiskFree(const char* root, unsigned long* sectorsPerCluster, unsigned long* bytesPerSector,
                unsigned long* freeClusters, unsigned long* totalClusters);

// Character set. Next/previous character steps that know double-byte characters, and the
// conversions between the ANSI and OEM character sets, in place. The conversions are for
// texts handed to the file calls: on Win32 they only convert while the file calls take OEM.
const char* SysCharNext(const char* p);
const char* SysCharPrev(const char* start, const char* p);
int SysIsLeadByte(unsigned char c);
void SysAnsiToOem(char* text);
void SysOemToAnsi(char* text);

// Memory behind MemAlloc: zero-filled blocks freed from their pointer alone.
void* SysBlockAlloc(unsigned long size);
void SysBlockFree(void* p);
// Ends the process at once with a last message (the platform's fatal application exit; no
// message when text is null, as nobody may be there to read it) and the exit code given.
[[noreturn]] void SysFatalExit(const char* text, unsigned exitCode);

// User questions. kind is one of the SYS_BOX_* values; the result is one of SYS_ID_*. The
// first four beep and are task-modal, owned by the window given to SysSetMessageOwner (none
// when it is null or gone); SYS_BOX_NOTICE_YESNO is a Yes/No question with the information
// icon, owned by nobody and without a beep.
enum {
    SYS_BOX_RETRYCANCEL = 1,
    SYS_BOX_YESNO = 2,
    SYS_BOX_YESNO_DEFNO = 3,
    SYS_BOX_ERROR = 4,
    SYS_BOX_NOTICE_YESNO = 5
};
enum { SYS_ID_OK = 1, SYS_ID_CANCEL = 2, SYS_ID_RETRY = 4, SYS_ID_YES = 6, SYS_ID_NO = 7 };
int SysMessageBox(int kind, const char* text, const char* caption);
// The window that owns the questions: the frame window while it exists.
void SysSetMessageOwner(void* window);
// The wait cursor while busy is set, the arrow when it is cleared.
void SysShowBusy(int busy);

// String table of the program's resources; returns the length copied (0 when absent).
int SysLoadString(unsigned id, char* out, int size);

// Temporary file names: "dir\PPPxxxx.tmp" from the first three characters of prefix and
// the low 16 bits of unique in hexadecimal. unique must not be 0; the file is only named,
// not created. out receives at most SYS_PATH_BYTES bytes; 0 when the name does not fit.
int SysTempFileName(const char* dir, const char* prefix, unsigned unique, char* out);

// Libraries loaded at run time (the decompressor). SysLoadLibrary takes a full path and
// returns 0 when the file is missing or not a library; SysLibraryEntry finds an export by
// name (null when there is none). Entries use the platform's library calling convention.
typedef intptr_t SysLibrary;
#ifdef _WIN32
#define SYS_LIBCALL __stdcall
#else
#define SYS_LIBCALL
#endif
SysLibrary SysLoadLibrary(const char* path);
void* SysLibraryEntry(SysLibrary library, const char* name);
void SysFreeLibrary(SysLibrary library);
// Records handed to a library hold addresses, SYS_ADDRESS_BYTES wide. On Windows the word is
// the address itself, as wide as a pointer (4 bytes on i386, 8 on x86-64); natively the seam
// keeps a few recent addresses and hands out 32-bit tokens for them, which its own library
// entries turn back into addresses (null for an unknown word).
#ifdef _WIN64
enum { SYS_ADDRESS_BYTES = 8 };
#else
enum { SYS_ADDRESS_BYTES = 4 };
#endif
uint64_t SysAddressWord(const void* p);
const void* SysWordAddress(uint64_t word);

// Milliseconds since some fixed point, and a pause.
unsigned long SysTickCount(void);
void SysSleep(unsigned long ms);

// Fault injection, for tests and fault campaigns. Each call of a kind below is counted; after
// SysFailCalls(kind, nth, count) the nth call of that kind from then on (1 = the next) and the
// count - 1 after it fail as the platform's call fails: no file, -1, or 0 (a null block for
// SysBlockAlloc). SysCreate counts as an open for writing, SysOpen by its mode.
enum {
    SYS_FAULT_OPEN_READ,
    SYS_FAULT_OPEN_WRITE,
    SYS_FAULT_READ,
    SYS_FAULT_WRITE,
    SYS_FAULT_SEEK,
    SYS_FAULT_TRUNCATE,
    SYS_FAULT_RENAME,
    SYS_FAULT_DELETE,
    SYS_FAULT_ALLOC,
    SYS_FAULT_KINDS
};
void SysFailCalls(int kind, unsigned long nth, unsigned long count);
// Ends the process abruptly, as a power cut or a killed task would, when the nth call of a
// kind from then on (1 = the next) is made, before it takes effect; nth 0 disarms it.
// SysEndProcess is that end: no clean-up, no flush, exit code SYS_KILLED_EXIT.
enum { SYS_KILLED_EXIT = 86 };
void SysEndAtCall(int kind, unsigned long nth);
[[noreturn]] void SysEndProcess(void);
unsigned long SysCallsMade(int kind);
void SysClearFaults(void);
int SysFaultHit(int kind);  // for the implementations: 1 when this call is to fail

// Restarts Windows at once, closing other programs without asking them (the end of an
// install whose user agreed to it). When the environment names a file in
// KOV_RESTART_RECORD the request is appended there as a line instead: a test machine records
// the call and goes on. The POSIX seam only ever records. 1 when the request was made.
int SysRestartWindows(void);

#ifdef _WIN32
// Windows only (the start-up's relaunch, the closing phase's programs, the uninstaller's
// copy of itself): starts a program from its whole command line, which the system may write
// into while it starts it. program names the file to run (null: the command's first word);
// show is how its first window shows (SYS_SHOW_AS_ASKED: as the program asks); flags are the
// system's creation flags; inherit 1 hands it this process's inheritable handles; folder is
// its current folder (null: this one's). The process handle, to close when done, or null
// with the system's error left for GetLastError.
enum { SYS_SHOW_AS_ASKED = -1 };
void* SysStartProgram(const char* program, char* command, int show, unsigned long flags,
                      int inherit, const char* folder);
#endif

#ifndef _WIN32
// POSIX only: which host folder stands for a drive letter, and its type and geometry, so
// that tests can build a machine with drives. Without a mapping a drive has type 1.
void SysMapDrive(char letter, const char* hostDir, int type);
void SysSetDiskGeometry(char letter, unsigned long sectorsPerCluster, unsigned long bytesPerSector,
                        unsigned long freeClusters, unsigned long totalClusters);
// Test hook for user questions: answers given in order; once used up every question gets
// its kind's negative answer. Each question asked is recorded.
void SysQueueAnswers(const int* answers, int count);
int SysQuestionsAsked(void);
const char* SysLastQuestion(void);
// The native libraries: a file loads when its name (without folder) has a row here and its
// first bytes are "MZ". Whoever plays the platform natively (tests, fuzzers, benchmarks)
// defines the rows, such as "dunzip32.dll" with its entry "dunzip" over the library's own
// extraction code. fn null removes that entry (the file still loads).
void SysDefineLibraryEntry(const char* fileName, const char* entryName, void* fn);
// The host path that a drive-letter path stands for; 0 when it does not fit in size bytes.
int SysHostPath(const char* path, char* out, int size);
// The system folder SysSystemDir reports (default "C:\WINDOWS\SYSTEM"), and a module that
// counts as loaded for the next lookups of its name (lookups = 0: no longer loaded).
void SysSetSystemDir(const char* path);
void SysSetModuleLoaded(const char* name, int lookups);
// Makes SysBlockAlloc fail the next n times (to test the out-of-memory question).
void SysFailNextAllocs(int n);
// The order SysFindFirst and SysFindNext list a folder in: FAT lists by directory slot and
// promises no order, so a test can make the listing sorted by name either way.
enum { SYS_LIST_AS_STORED, SYS_LIST_BY_NAME, SYS_LIST_BY_NAME_REVERSED };
void SysSetListingOrder(int order);
#endif
