// The install script's layout, written down once. The setup's reader, the package builder,
// the builder's description parser and its listing all walk ScriptFields; adding a field is
// one row here (and a member of InstallSettingsT to hold it).
#pragma once
#include <stdint.h>

// The script starts with these two bytes.
#define SCRIPT_MAGIC "RS"

enum ScriptKind {
    SCRIPT_TEXT,      // 16-bit length and that many bytes, held in a buffer of `size` bytes
    SCRIPT_NUMBER8,   // a text of at most 5 decimal digits held as a byte; empty keeps 255
    SCRIPT_NUMBER32,  // the same held as a signed 32-bit value; empty keeps -1
    SCRIPT_YES,       // a text of at most 5 bytes; set when it begins with "yes" in any case
    SCRIPT_FLAG,      // a 16-bit value held in 32 bits
    SCRIPT_VERSION,   // two bytes, major then minor
    SCRIPT_KEYS,      // 16-bit count, then count 32-bit record keys
    SCRIPT_LIST,      // 16-bit count, then count rows of `columns` texts of at most 127 bytes
    SCRIPT_WORDS,     // 16-bit count (at most `size`), then count 16-bit values
    SCRIPT_TOOLS,     // 16-bit count (at most `size`), then the tool-module records
    SCRIPT_FILES,     // 16-bit count, then the file-table entries; the file data follows
};

// What a text becomes, and so how the reader and the builder check it: free text, a name
// below the folder the list is relative to, the same with the wildcards '*' and '?', or such a
// pattern or nothing; a file of the Windows folder itself that is not one of the system's own
// (a pattern must name its files: something before its first dot that is not a wildcard);
// a title that becomes one file or folder name in a shell folder (or nothing). Names are
// checked after '/' has become '\'.
enum ScriptNameRule {
    NAME_FREE,
    NAME_PLAIN,
    NAME_PATTERN,
    NAME_PATTERN_OR_EMPTY,
    NAME_WINDOWS_FILE,
    NAME_TITLE
};

struct ScriptField {
    const char* name;  // as the package description and the listing name it
    uint8_t kind;      // ScriptKind
    uint8_t error;     // the fatal error number when it is short, too long or refused
    uint16_t size;     // TEXT: buffer bytes; LIST: most rows; WORDS, TOOLS: most entries
    uint8_t columns;   // LIST: texts per row
    uint8_t rule[3];   // LIST: the ScriptNameRule of each column; TEXT: rule[0] for the text
    void* target;      // where the reader stores it; null: read and dropped
    // YES: a second flag the text also sets; FLAG: the command-line option that, when given,
    // makes the reader drop the value; LIST: the merge table made for a non-empty list;
    // KEYS: the 16-bit count beside the array.
    void* also;
};
extern const ScriptField ScriptFields[];
extern const int ScriptFieldCount;

// The field of that name (compared as names are), or null.
const ScriptField* FindScriptField(const char* name);
// 1 when a text may stand in a list column with this rule.
int IsSafeListName(int rule, const char* text);
