// Registry access: every registry read and write of the setup goes through these
// operations. They return the system's registry status unchanged (0 success, 2 no such
// key, 259 no such value, 5 access denied...) plus 1 when creating a key or writing after
// the create failed. A null root is answered with 2 without touching the registry.
// Values are strings, or 32-bit numbers for the Dword pair; a null value name means the
// key's default value.
#pragma once
#include <windows.h>

// Reads a string value into buffer (size bytes, always terminated when the value is found;
// a longer value is cut). With createIfMissing, the buffer's current text is the default
// written when the key or the value is missing; the status still tells that it was absent
// (259, or 2 for a key without values), except for a missing key, which reads back as 0.
// Without createIfMissing, a missing key gives 2 and the buffer is left as it was.
LONG RegistryGetString(HKEY root, const char* keyPath, const char* valueName, char* buffer,
                       unsigned size, int createIfMissing);

// Writes text as a REG_SZ value, creating the key when it is missing.
LONG RegistrySetString(HKEY root, const char* keyPath, const char* valueName, const char* text);

// Like RegistrySetString, but a "Revision" value that would go down (compared as text,
// without regard to case) is replaced only when the user says so; No is not a failure (0).
LONG RegistryUpdateString(HKEY root, const char* keyPath, const char* valueName, const char* text);

// 1 when the key exists and opens for reading and writing.
int RegistryKeyExists(HKEY root, const char* keyPath);

// Reads a 32-bit value of an existing key, as the system gives it for a four-byte buffer
// (234 when the value is longer); value is left as it was unless the status is 0.
LONG RegistryGetDword(HKEY root, const char* keyPath, const char* valueName, DWORD* value);
// Writes a REG_DWORD value, creating the key when it is missing.
LONG RegistrySetDword(HKEY root, const char* keyPath, const char* valueName, DWORD value);

// Deletes the key and every key below it. A missing key is not an error (0).
LONG RegistryDeleteKey(HKEY root, const char* keyPath);

// Looks for valueName (without regard to case) among the values of an open key and copies
// its data as text into buffer (size bytes, cut and terminated). 0 found, 259 absent,
// 2 when the key has no values at all.
LONG RegistryFindValue(HKEY openKey, const char* valueName, char* buffer, unsigned size);

// Deletes one value of an existing key. A missing value or key is not an error (0).
LONG RegistryDeleteValue(HKEY root, const char* keyPath, const char* valueName);
// Deletes the key only when it holds no value and no subkey: 0 deleted or already gone,
// ERROR_DIR_NOT_EMPTY (145) when it is not empty.
LONG RegistryDeleteEmptyKey(HKEY root, const char* keyPath);

// For the install record: the two roots the setup writes under, by their record names
// ("HKLM", "HKCU"), and back (null for any other name).
const char* RegistryRootName(HKEY root);
HKEY RegistryRootByName(const char* name);
// Notes in the install record the state of a value before the setup changes it: the keys
// of the path that do not exist yet, and the value's type and data or its absence. Call it
// just before the write.
void NoteRegistryValue(HKEY root, const char* keyPath, const char* valueName);

// 1 when keyPath lies in one of the places of the registry the setup writes (the client's key,
// its uninstall entry, its sound events): a record or a journal read back from a file anyone
// could edit may change nothing else.
int InClientRegistryArea(const char* keyPath);
