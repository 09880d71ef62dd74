// Path and drive helpers over ANSI texts in the system's multi-byte character set. Working
// buffers are MAX_PATH_TEXT bytes; helpers returning static buffers overwrite them on the
// next call.
#pragma once
#include <stdint.h>

enum {
    // A path buffer: the system's longest path and its terminating NUL.
    MAX_PATH_TEXT = 260,
    // A folder or program name as the client's historical buffers hold it (the script's
    // default folder, the Windows folder, the search's best folder): 256 characters and the
    // NUL. Copies into a MAX_PATH_TEXT buffer stop there too, so that what fits one fits all.
    FOLDER_TEXT_BYTES = 257,
};

// Character search, multi-byte aware.
char* FindCharMb(const char* text, int ch);
char* FindLastCharMb(const char* text, int ch);
char* FindTextMb(const char* text, const char* pattern);
void StripTrailingBackslash(char* path);

// Splitting.
int GetDirPart(char* out, const char* path);
const char* GetNamePart(const char* path);
char* GetExtPart(char* out, const char* path);
char* GetBaseName8(char* out, const char* path);

// Joining. The parts end with a null pointer; out null means "allocate with MemAlloc".
char* JoinPath(char* out, ...);

// File system.
int FileExists(const char* path);
// When the file was last written: DOS date * 65536 + DOS time, from the file's own stamp (no
// local-time conversion); 0 when it cannot be told (missing, or held open by another program,
// since it is opened unshared).
uint32_t GetFileDosTime(const char* path);
int PathExists(const char* path);
int MakePath(const char* path);
int MovePath(const char* from, const char* to);
int ChangeDir(const char* path);
int ChangeDrive(int letter);
int CurrentDriveLetter(void);
const char* DriveCurrentDir(int letter);
int DriveType(int index);
int IsCdRomDrive(int index);
int IsValidInstallPath(const char* path);

// Folders. A folder the user types, the answer file gives or the search reads is written one
// way before anything keeps it: "X:\" and its parts joined by single backslashes, no trailing
// backslash but for the root. Parts "." and "..", and parts ending in a dot or a blank (which
// the file system drops in some calls and keeps in others), are refused rather than guessed
// at. 1 with the canonical text in out (size bytes; out may be folder itself), 0 when the
// folder is refused or does not fit, and out is then left as it was.
int CanonicalFolder(char* out, const char* folder, unsigned size);
// The one test of "the same folder": both canonical, then compared as names are. An empty or
// refused folder is the same as nothing.
int SameFolder(const char* a, const char* b);
// 1 when name matches pattern: '*' any run of characters, '?' one character, compared as
// names are. For one file name, not a path.
int MatchesPattern(const char* name, const char* pattern);
// 1 when a file name (no folder) of the Windows folder may be the system's own, or matches
// one of the system's own names when it is a pattern: the setup and the uninstaller never
// delete such a file there.
int IsSystemFileName(const char* name);

// Names. SameName is the program's one comparison of file, entry and list names: without
// regard to case by the Windows-1252 upper-case table (the same on every platform, not a
// linguistic comparison), '/' taken for '\\', double-byte characters compared as they are.
int SameName(const char* a, const char* b);
int CompareNames(const char* a, const char* b);  // <0, 0, >0 in that order, for sorting
unsigned char UpperName(unsigned char c);        // the upper-case table, one byte
void BackslashSeparators(char* name);  // '/' becomes '\\' (not inside double-byte characters)

// Bounded copy and append: never write more than size bytes, always terminate.
// Return 1 when the whole text fitted, 0 when it was cut.
int CopyText(char* out, const char* text, unsigned size);
int AppendText(char* out, const char* text, unsigned size);
