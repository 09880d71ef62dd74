// The rollback journal of an in-place update: the one record of what the setup did to the
// earlier installation's folder, written ahead of each change so that a failed, cancelled or
// killed run can be undone, by itself or by the next run. Earlier files are moved aside (a
// rename, no bytes copied) into a backup folder inside the destination; the journal lives
// there too, and a pointer file beside the setup's log place lets the next run find it before
// anything else. docs/rollback-journal.md describes the file.
#pragma once
#include <stdint.h>

#include "base/path.h"
#include "sys/sys.h"

// The backup folder inside the destination, the journal in it, and the pointer file that
// sits beside the setup's crash log ("C:\setup.log" gives "C:\setup.jnl").
#define JOURNAL_FOLDER      "SETUPBAK"
#define JOURNAL_NAME        "JOURNAL.TXT"
#define JOURNAL_POINTER_EXT "jnl"

// Line kinds. The order is the file format's: never renumber.
enum JournalKind {
    JOURNAL_DEST,        // the destination folder the journal belongs to
    JOURNAL_MOVED,       // an earlier file moved aside: its path, its backup's name
    JOURNAL_NEW,         // a file written where there was none: its path
    JOURNAL_OLD_DB,      // the earlier main database renamed: the path it had, the path it has
    JOURNAL_RENAMED,     // a preserved file renamed by the transfer: from, to
    JOURNAL_VALUE,       // a registry value about to be set: root, key, name, earlier state
    JOURNAL_PROFILE,     // a WIN.INI value about to be set: file, section, name, earlier state
    JOURNAL_KEY,         // a registry key about to be created: root, key
    JOURNAL_DISCARD,     // a file that goes when the install is committed: its path
    JOURNAL_NEW_FOLDER,  // a folder about to be made where there was none: its path
    JOURNAL_DONE,        // the install step went through: the next run only commits
    JOURNAL_UNDONE,      // the entry of that number was undone by a rollback
    JOURNAL_KINDS
};
// Paths of the file lines are relative to the destination; the fields of the value lines
// are those of the install record (record/installrec.h).
enum { JOURNAL_FIELDS = 4, JOURNAL_FIELD_SIZE = 520 };

// The run's journal while it is open for writing.
struct JournalStateT {
    SysFile file = 0;
    char dest[MAX_PATH_TEXT] = {};
    char path[MAX_PATH_TEXT] = {};
    uint32_t entries = 0;  // lines written after the destination line
    uint32_t backups = 0;  // backup files named so far
    // A rollback gave the earlier installation back: the run's log stays out of its folder.
    uint32_t rolledBack = 0;
    // What this run wrote to the file, so that its own rollback or commit does not depend on
    // reading the disk back (the disk may be what failed).
    char* text = nullptr;
    uint32_t textUsed = 0, textSize = 0;
};
extern JournalStateT JournalState;
// Closes an open journal without committing or undoing anything (its file stays for the next
// run) and forgets it.
void ResetJournalState(void);

// The pointer file's path (beside CrashLogPath), and the journal's path in dest.
void JournalPointerPath(char* out, unsigned size);
int JournalPathIn(char* out, const char* dest);

// Starts the journal of an install into dest: the backup folder, the journal with its
// destination line, then the pointer, all written through before the first move. 1 when
// open; 0 (logged) when any of it failed, and nothing is left of it.
int JournalBegin(const char* dest);
// 1 while the run's journal is open: earlier files are to be moved aside, not overwritten.
int JournalActive(void);
// Appends one line and writes it through to the disk. 0 (logged) when it could not be
// written: the change it announces must then not be made.
int JournalWrite(int kind, const char* f0, const char* f1 = nullptr, const char* f2 = nullptr,
                 const char* f3 = nullptr);
// The path relative to the journal's destination; 0 when it is not inside it.
int JournalRelative(const char* path, char* rel, unsigned size);
// Gets path ready to be written by the install: an earlier file there is moved into the
// backup folder (MOVED), else the path is noted as new (NEW). 1 when path may be written;
// 0 (logged) when the journal could not say so or the move failed. A path outside the
// destination is not the journal's: 1, and nothing done.
int JournalSetAside(const char* path);
// Notes a folder of the destination about to be made (FOLDER); 1 when it may be made.
int JournalNoteFolder(const char* path);
// What the install would delete from the destination: moved aside while the journal is open
// (kept until the commit), deleted otherwise. 1 when the path is gone.
int JournalDiscard(const char* path);
// 1 while the destination is not (or no longer) the run's own to write its log into: a journal
// is open, or a rollback gave the folder back to the earlier installation.
int JournalKeepsLogAway(void);
// The earlier installation is whole again: the log keeps away from its folder.
void JournalMarkRolledBack(void);
// Opens the journal at path (of the folder dest) again to add lines after its first
// wholeBytes bytes, a line cut there being dropped. 1 when open.
int JournalReopen(const char* path, const char* dest, long wholeBytes);
// Notes a rename inside the destination (RENAMED) before it is made; 1 when it may be made
// (always when no journal is open or the names are not the destination's).
int JournalNoteRename(const char* from, const char* to);
// Closes the journal's file; the journal stays on the disk. Used before a rollback or a
// commit reads it back.
void JournalClose(void);

// One line read back.
struct JournalLine {
    int kind;
    char field[JOURNAL_FIELDS][JOURNAL_FIELD_SIZE];
};
struct Journal {
    JournalLine* lines;  // MemAlloc'd, count entries (the destination line included)
    unsigned count;
    unsigned damaged;  // whole lines that could not be read (skipped)
    long wholeBytes;   // bytes up to the end of the last whole line
    int cut;           // the file ends inside a line (a write that was cut)
    char dest[MAX_PATH_TEXT];
};
// Reads a journal up to its last whole line. 1 when it is one (header and destination line);
// 0 when missing, unreadable or not a journal. Free with FreeJournal.
int ReadJournal(const char* path, Journal* out);
void FreeJournal(Journal* journal);
// The lines this run wrote, as ReadJournal would read them from its file; 0 when none.
int JournalWritten(Journal* out);
// The name of a line kind in the file, or null.
const char* JournalKindName(int kind);
