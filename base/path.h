// Path and drive helpers over ANSI texts in the system's multi-byte character set. Working
// buffers are 260 bytes; helpers returning static buffers overwrite them on the next call.
#pragma once

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
char* DestPath(char* out, const char* name);

// File system.
int FileExists(const char* path);
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
