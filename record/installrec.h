// The install record: what this install made or changed, so that the uninstaller can undo
// exactly that. The steps note each thing as they make it; at the end of a successful
// install the notes are written into the destination as RM_KOV.LST, a text file described in
// docs/install-record.md. The same table of line kinds reads it back for the uninstaller.
#pragma once

// The record's file name in the destination folder.
#define INSTALL_RECORD_NAME "RM_KOV.LST"
// The uninstaller's file name in the destination folder.
#define UNINSTALLER_NAME "RM_KOV.EXE"
// Under the uninstall entry: the group the install made, which is the only group the
// uninstaller may delete (the record, in a folder anyone can write, cannot say which).
#define UNINSTALL_GROUP_VALUE "GroupName"

// Line kinds. The order is the file format's: never renumber.
enum InstallItemKind {
    ITEM_DEST,     // the destination folder
    ITEM_FILE,     // a file the install wrote
    ITEM_DIR,      // a folder the install made
    ITEM_DATA,     // a folder that holds the user's data (kept unless the user says otherwise)
    ITEM_GROUP,    // a Program Manager group
    ITEM_LINK,     // a shortcut file
    ITEM_KEY,      // a registry key the install created: root, key
    ITEM_VALUE,    // a registry value set: root, key, name, previous state
    ITEM_PROFILE,  // a profile value set: file, section, name, previous state
    ITEM_HELP,     // bytes appended to a text file: file, size before, the bytes
    ITEM_END,      // the record is complete: number of lines before it
    ITEM_KINDS
};

// Previous state of a value. A registry value's state is "-" (absent), "S" (a string) or
// "D" (a 32-bit number), followed by the old data, or "?" when it could not be kept (another
// type, or too long): the uninstaller then leaves the value alone. A profile value's state is
// "-" or "=" and the old text.
#define PREVIOUS_ABSENT  "-"
#define PREVIOUS_STRING  "S"
#define PREVIOUS_NUMBER  "D"
#define PREVIOUS_TEXT    "="
#define PREVIOUS_UNKNOWN "?"

// Noting. Each call adds one line (a value, key or profile line noted twice keeps its first
// note, which holds the state before the install). Null texts count as empty.
void RecordFile(const char* path);
void RecordFolder(const char* path);
void RecordUserData(const char* path);
void RecordGroup(const char* name);
void RecordShortcut(const char* path);
void RecordRegistryKey(const char* root, const char* key);
// previousKind is one of the PREVIOUS_ values above; previous its data.
void RecordRegistryValue(const char* root, const char* key, const char* name,
                         const char* previousKind, const char* previous);
// previous null: the value was absent.
void RecordProfileValue(const char* file, const char* section, const char* name,
                        const char* previous);
void RecordAppended(const char* file, unsigned long sizeBefore, const char* bytes);

// MakePath that notes every folder it made (those that did not exist before and do now).
int MakePathRecorded(const char* path);

// Writes the record into dir (as INSTALL_RECORD_NAME), with dest as its destination line:
// 1 written, 0 failed (logged). The notes stay until ResetInstallRecord.
int WriteInstallRecord(const char* dir, const char* dest);
// Forgets every note.
void ResetInstallRecord(void);
// For tests and the log: how many lines are noted.
int InstallRecordCount(void);

// One line read back: its kind and up to four fields, unescaped and terminated.
enum { ITEM_FIELDS = 4, ITEM_FIELD_SIZE = 520 };
struct InstallItem {
    int kind;
    char field[ITEM_FIELDS][ITEM_FIELD_SIZE];
};
struct InstallRecord {
    InstallItem* items;  // MemAlloc'd, count entries
    int count;
    int complete;  // the END line was read and agrees with the count
    int skipped;   // lines that could not be read (unknown kind, wrong fields, too long)
};
// Reads a record file. 1 when it was read (possibly damaged: see complete and skipped),
// 0 when it is missing, unreadable or not a record at all. Free with FreeInstallRecord.
int ReadInstallRecord(const char* path, InstallRecord* out);
void FreeInstallRecord(InstallRecord* record);
// The name of a line kind in the file ("FILE"), or null.
const char* InstallItemName(int kind);

#ifdef _WIN32
// Notes the state of a WIN.INI value before the setup writes it. Call it just before.
void NoteProfileValue(const char* section, const char* name);
#endif
