// kovdb: inspects and edits the client's record database files with the very code the setup
// uses. For support engineers and for our tests.
#include "tools/common/codepage.h"
#include "tools/common/version.h"
#include "clientdb/access.h"
#include "clientdb/format.h"
#include "base/bytes.h"
#include "base/globals.h"
#include "base/log.h"
#include "base/mem.h"
#include "sys/sys.h"
#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

enum {
    EXIT_OK = 0,
    EXIT_ABSENT = 1,  // get/delete: no such record; list, dump, get, check: damage found
    EXIT_USAGE = 2,
    EXIT_FILE = 3,   // cannot open or create the file, or not a readable database
    EXIT_WRITE = 4,  // a write refused (a damaged end) or failed
};

const char kUsage[] =
    "usage: kovdb [-v] [--raw] COMMAND FILE [ARGS]\n"
    "       kovdb keys | --version | --help\n"
    "\n"
    "Inspects and edits a client record database (old or new form).\n"
    "\n"
    "commands:\n"
    "  list FILE             one line per live record, in index order: GID, type, length\n"
    "  dump FILE             form, identifier and every live record: flags, data in hex,\n"
    "                        numbers and texts decoded for the record keys setup knows\n"
    "  get FILE GID          the record's data, unscrambled, to standard output\n"
    "  set FILE GID VALUE [--type b|t|p] [--force]\n"
    "                        writes a record; VALUE is one of\n"
    "                          --number N   4 bytes, most significant first (type b)\n"
    "                          --text T     the text without terminator (type t)\n"
    "                          --hex H      bytes given in hex, e.g. 0102ff (type b)\n"
    "                          --file F     the bytes of file F, at most 65535 (type b)\n"
    "                        a key kovdb keys lists as a number takes --number (or 4\n"
    "                        bytes), one listed as a text takes no --number; --force\n"
    "                        writes a value of another kind anyway\n"
    "  delete FILE GID       marks the record deleted\n"
    "  create FILE --id ID [--old-form]\n"
    "                        makes an empty database (refuses an existing FILE)\n"
    "  check FILE            reads the whole file and reports a damaged file header,\n"
    "                        what the recovery scan skipped, a short tail, a damaged end\n"
    "                        and records whose data is missing\n"
    "  keys                  the record keys and database identifiers the setup knows,\n"
    "                        with what they hold and how dump decodes them\n"
    "\n"
    "GID (a record key) and ID are decimal or 0x-prefixed hex. ID is the database\n"
    "identifier in the file header: it says which database a file is, whatever its name\n"
    "(0x01000401 is the client's main database, idb\\main.idx). It is not the number of\n"
    "the package setting ExpectedDbKind: that one is compared with byte 0 of record\n"
    "0x1400006D (and ExpectedDbKindCode with bytes 2-3 of record 0x14000068) in the\n"
    "main database; see kovdb keys.\n"
    "\n"
    "Types: b binary, t text, p a record of the client's art cache; the type is one byte\n"
    "of the record's flags, which dump shows in full: 0x0200 scrambled (data stored XORed,\n"
    "get and dump show it plain), 0x0400 deleted, 0x2000 set on every write of a type\n"
    "other than p.\n"
    "\n"
    "Texts are stored in Windows-1252. On a UTF-8 locale, dump and get show text records\n"
    "as UTF-8 (get ends a text with a newline) and set --text converts from UTF-8 (a character "
    "Windows-1252 has no place\n"
    "for is refused); --raw (before COMMAND) keeps the bytes as they are, for scripts.\n"
    "\n"
    "-v (before COMMAND) prints the log lines. list, dump, get and check open FILE for\n"
    "reading only and never change or delete anything. Commands that write delete the\n"
    "client's companion index (FILE with extension .ind). Every command says on standard\n"
    "error when it meets damage. The manual page kovdb(1) says more.\n"
    "\n"
    "exit status:\n"
    "  0  success (list, dump, get, check: no damage)\n"
    "  1  get/delete: no such record; list, dump, get, check: damage found, what the file\n"
    "     still holds is shown\n"
    "  2  bad command line\n"
    "  3  the file cannot be opened or created (the reason is said), or is not a\n"
    "     readable database\n"
    "  4  a write was refused (the file ends in damage that may hold records, so nothing\n"
    "     is appended) or failed\n";

// Texts as the terminal wants them: UTF-8 on a UTF-8 locale unless --raw.
bool g_convert, g_raw;

int Usage(const char* problem) {
    fprintf(stderr, "kovdb: %s\n(kovdb --help for usage)\n", problem);
    return EXIT_USAGE;
}

// Decimal, or hex after "0x": a leading zero is a decimal digit like any other.
int ParseU32(const char* text, uint32_t* out) {
    if (!text) return 0;
    int base = 10;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text += 2;
    }
    if (!isxdigit((unsigned char)text[0])) return 0;  // no sign, blank or empty number
    errno = 0;
    char* end = nullptr;
    unsigned long long v = strtoull(text, &end, base);
    if (errno || *end || v > 0xFFFFFFFFull) return 0;
    *out = uint32_t(v);
    return 1;
}

// The database code says only that an open failed; the system's reason comes from opening
// the file again the same way.
std::string WhyNotOpened(const char* path, bool write) {
    int fd = open(path, write ? O_RDWR : O_RDONLY);
    if (fd >= 0) {
        close(fd);
        return "";
    }
    return std::string(": ") + strerror(errno);
}

int OpenStatusExit(int status, const char* path, bool write) {
    if (status == 2)
        fprintf(stderr, "kovdb: cannot open %s%s%s\n", path, write ? " for writing" : "",
                WhyNotOpened(path, write).c_str());
    else fprintf(stderr, "kovdb: %s is not a readable database\n", path);
    return EXIT_FILE;
}

// The file header as the database code reads it: "DC" (old form), or "KOVDB-25" and a NUL in
// any case (new form). The code takes any other 25 bytes for a new-form header, so a zeroed or
// overwritten signature is found here; empty when the header is sound.
std::string HeaderDamage(const char* path) {
    SysFile f = SysOpen(path, SYS_READ);
    if (!f) return "";
    uint8_t b[DB_NEW_FILE_HEADER + 1] = {};
    long n = SysRead(f, b, DB_NEW_FILE_HEADER);
    SysClose(f);
    if (n >= DB_OLD_FILE_HEADER && b[0] == 'D' && b[1] == 'C') return "";
    if (n == DB_NEW_FILE_HEADER && !strncasecmp((const char*)b, DB_NEW_FILE_MAGIC, 9)) return "";
    std::string seen;
    for (int i = 0; i < 9 && i < n; i++) {
        char hex[4];
        snprintf(hex, sizeof hex, "%02X ", b[i]);
        seen += hex;
    }
    if (!seen.empty()) seen.pop_back();
    return "damaged file header: its signature is neither \"" DB_NEW_FILE_MAGIC
           "\" and a NUL nor \"DC\" (bytes 0-8: " +
           seen + ")";
}

// Form and identifier straight from the file header.
int ReadFileHeader(const char* path, int* form, uint32_t* id) {
    SysFile f = SysOpen(path, SYS_READ);
    if (!f) return 0;
    uint8_t b[DB_NEW_FILE_HEADER];
    long n = SysRead(f, b, sizeof b);
    SysClose(f);
    if (n >= DB_OLD_FILE_HEADER && b[0] == 'D' && b[1] == 'C') {
        *form = DB_OLD_FORM;
        *id = GetU32(b + 2);
        return 1;
    }
    if (n < DB_NEW_FILE_HEADER) return 0;
    *form = DB_NEW_FORM;
    *id = GetU32(b + 9);
    return 1;
}

RecordIndexEntry* FindEntry(RecordDb* db, uint32_t gid) { return DbFindEntry(db, gid); }

char TypeLetter(uint16_t flags) {
    int c = flags & DB_FLAG_TYPE_MASK;
    return c >= 0x21 && c < 0x7F ? char(c) : '?';
}

// Control bytes always escaped; letters of the code page as UTF-8 on a UTF-8 terminal.
void PrintEscaped(FILE* out, const uint8_t* data, unsigned n) {
    fputc('"', out);
    for (unsigned i = 0; i < n; i++) {
        uint8_t c = data[i];
        uint32_t u = Cp1252Char(c);
        if (c == '"' || c == '\\') fprintf(out, "\\%c", c);
        else if (c >= 0x20 && c < 0x7F) fputc(c, out);
        else if (g_convert && c >= 0x80 && !(u >= 0x80 && u < 0xA0))
            fputs(Cp1252ToUtf8(std::string(1, char(c))).c_str(), out);
        else fprintf(out, "\\x%02X", c);
    }
    fputc('"', out);
}

void PrintHex(FILE* out, const uint8_t* data, unsigned n) {
    for (unsigned row = 0; row < n; row += 16) {
        fprintf(out, "  %04X ", row);
        for (unsigned i = row; i < row + 16; i++) {
            if (i < n) fprintf(out, " %02X", data[i]);
            else fputs("   ", out);
        }
        fputs("  ", out);
        for (unsigned i = row; i < row + 16 && i < n; i++)
            fputc(data[i] >= 0x20 && data[i] < 0x7F ? data[i] : '.', out);
        fputc('\n', out);
    }
}

FILE* g_out;

int ListOne(RecordDb* db, uint32_t gid, uint16_t length) {
    RecordIndexEntry* e = FindEntry(db, gid);
    fprintf(g_out, "0x%08X %c %u\n", gid, TypeLetter(e ? e->header.flags : 0), unsigned(length));
    return 1;
}

int DumpOne(RecordDb* db, uint32_t gid, uint16_t length) {
    RecordIndexEntry* e = FindEntry(db, gid);
    uint16_t flags = e ? e->header.flags : 0;
    fprintf(g_out, "record 0x%08X offset %u flags 0x%04X type %c%s length %u\n", gid,
            e ? e->header.offset : 0, flags, TypeLetter(flags),
            flags & DB_FLAG_SCRAMBLED ? " scrambled" : "", unsigned(length));
    uint16_t n = 0;
    uint8_t* data = static_cast<uint8_t*>(DbReadRecord(db, gid, nullptr, &n));
    if (!data) {
        fprintf(g_out, "  (data missing: the file ends before the record does)\n");
        return 1;
    }
    PrintHex(g_out, data, n);
    const DbKnownGid* known = DbFindKnownGid(gid);
    int decode = known ? known->decode : DB_DECODE_RAW;
    if (!known && TypeLetter(flags) == 't') decode = DB_DECODE_TEXT;
    if (known) fprintf(g_out, "  what: %s\n", known->what);
    if (decode == DB_DECODE_NUMBER) {
        fprintf(g_out, "  number: %lu\n", (unsigned long)DbReadNumber(db, gid));
    } else if (decode == DB_DECODE_TEXT) {
        fputs("  text: ", g_out);
        PrintEscaped(g_out, data, n);
        fputc('\n', g_out);
    }
    MemFree(data);
    return 1;
}

// What the last open met that is damage, one warning line per kind on standard error; the
// number of damaged places.
unsigned WarnDamage(const char* path) {
    const DbResyncReport& r = DbLastResync;
    if (r.scans)
        fprintf(stderr,
                "kovdb: warning: %s: %u damaged places skipped (%u bytes); records in them are "
                "left out\n",
                path, r.scans, r.skippedBytes);
    switch (r.endKind) {
    case DB_END_SHORT_TAIL:
        fprintf(stderr, "kovdb: warning: %s ends in %u bytes that are not a whole record header\n",
                path, r.fileSize - r.endAt);
        break;
    case DB_END_UNFINISHED:
        fprintf(stderr,
                "kovdb: warning: %s ends in an unfinished record at %u: its data stops "
                "short\n",
                path, r.endAt);
        break;
    case DB_END_KEPT:
        fprintf(stderr,
                "kovdb: warning: %s is damaged from %u to its end; records there are left out "
                "and nothing can be appended\n",
                path, r.endAt);
        break;
    default: break;
    }
    return r.scans + (r.endKind != DB_END_SOUND ? 1 : 0);
}

// Opens for reading only: inspecting never changes the file nor deletes its companion.
int OpenToRead(const char* path, RecordDb** db) {
    int status = DbOpenReadOnly(path, db);
    return status == 0 ? EXIT_OK : OpenStatusExit(status, path, false);
}

int OpenToWrite(const char* path, RecordDb** db) {
    int status = DbOpen(path, db);
    return status == 0 ? EXIT_OK : OpenStatusExit(status, path, true);
}

// Why a write or delete that the database code refused did not happen.
void SayNotWritten(const char* path, const char* what, uint32_t gid, RecordDb* db) {
    if (db->keepEnd && !db->appendAt)
        // A header in the middle whose length ran past the end: a record appended now could
        // later be read as that record's data.
        fprintf(stderr,
                "kovdb: %s 0x%08X refused: %s holds a damaged record length before its end, "
                "so nothing is appended after it (kovdb check %s says more)\n",
                what, gid, path, path);
    else if (db->keepEnd)
        fprintf(stderr,
                "kovdb: %s 0x%08X refused: %s is damaged from %u to its end, and those bytes may "
                "hold records, so nothing is appended after them (kovdb check %s says more)\n",
                what, gid, path, db->appendAt, path);
    else
        fprintf(stderr, "kovdb: %s 0x%08X in %s failed: %s\n", what, gid, path,
                errno ? strerror(errno) : "the file could not be written");
}

// After a write: says when the damaged end was cut off to make room.
void WarnCut(const char* path, uint32_t damagedAt, RecordDb* db) {
    if (!damagedAt || db->appendAt) return;
    fprintf(stderr, "kovdb: warning: %s: the damaged end at %u was cut off%s\n", path, damagedAt,
            DbLastResync.endKind == DB_END_UNFINISHED ? ", with the unfinished record there" : "");
}

int CmdList(const char* path) {
    RecordDb* db = nullptr;
    if (int rc = OpenToRead(path, &db)) return rc;
    unsigned damage = WarnDamage(path);
    g_out = stdout;
    DbForEachRecord(db, ListOne);
    DbClose(db);
    return damage ? EXIT_ABSENT : EXIT_OK;
}

int CmdDump(const char* path) {
    int form = DB_NEW_FORM;
    uint32_t id = 0;
    RecordDb* db = nullptr;
    if (int rc = OpenToRead(path, &db)) return rc;
    unsigned damage = WarnDamage(path);
    ReadFileHeader(path, &form, &id);
    g_out = stdout;
    printf("file %s\nform %s\nidentifier 0x%08X\nrecords %u\n", path,
           form == DB_NEW_FORM ? "new" : "old", id, DbRecordCount(db));
    if (damage) printf("damaged places %u\n", damage);
    DbForEachRecord(db, DumpOne);
    DbClose(db);
    return damage ? EXIT_ABSENT : EXIT_OK;
}

int CmdGet(const char* path, uint32_t gid) {
    RecordDb* db = nullptr;
    if (int rc = OpenToRead(path, &db)) return rc;
    unsigned damage = WarnDamage(path);
    if (!FindEntry(db, gid)) {
        fprintf(stderr, "kovdb: no record 0x%08X in %s\n", gid, path);
        DbClose(db);
        return EXIT_ABSENT;
    }
    uint16_t n = 0;
    uint8_t* data = static_cast<uint8_t*>(DbReadRecord(db, gid, nullptr, &n));
    int rc = damage ? EXIT_ABSENT : EXIT_OK;
    if (!data) {
        fprintf(stderr, "kovdb: record 0x%08X: the file ends before its data does\n", gid);
        rc = EXIT_FILE;
    } else {
        RecordIndexEntry* e = FindEntry(db, gid);
        const DbKnownGid* known = DbFindKnownGid(gid);
        bool text =
            known ? known->decode == DB_DECODE_TEXT : e && TypeLetter(e->header.flags) == 't';
        // A text ends with a newline, as a line on the terminal should; --raw and binary
        // records give the bytes alone, for scripts that compare them.
        if (text && !g_raw) {
            std::string shown((const char*)data, n);
            if (g_convert) shown = Cp1252ToUtf8(shown);
            shown += '\n';
            fwrite(shown.data(), 1, shown.size(), stdout);
        } else {
            fwrite(data, 1, n, stdout);
        }
        MemFree(data);
    }
    DbClose(db);
    return rc;
}

int ParseHex(const char* text, std::vector<uint8_t>* out) {
    size_t n = strlen(text);
    if (n % 2) return 0;
    for (size_t i = 0; i < n; i += 2) {
        char pair[3] = {text[i], text[i + 1], 0};
        char* end = nullptr;
        if (!isxdigit((unsigned char)pair[0]) || !isxdigit((unsigned char)pair[1])) return 0;
        out->push_back(uint8_t(strtoul(pair, &end, 16)));
    }
    return 1;
}

// The file's bytes (a little more than a record holds is enough to refuse it); 0 when it
// cannot be opened or read, a folder included.
int ReadWholeFile(const char* path, std::vector<uint8_t>* out) {
    FILE* f = fopen(path, "rb");
    if (!f) return 0;
    uint8_t buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) {
        out->insert(out->end(), buf, buf + n);
        if (out->size() > DB_MAX_RECORD) break;
    }
    int ok = !ferror(f);
    fclose(f);
    return ok;
}

int CmdSet(const char* path, uint32_t gid, int argc, char** argv) {
    std::vector<uint8_t> data;
    int type = 0, values = 0, force = 0;
    const char* given = nullptr;
    for (int i = 0; i < argc; i++) {
        const char* opt = argv[i];
        if (!strcmp(opt, "--force")) {
            force = 1;
            continue;
        }
        const char* arg = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!arg) return Usage("an option of set lacks its value");
        i++;
        if (!strcmp(opt, "--type")) {
            if (strlen(arg) != 1 || !strchr("btp", arg[0])) return Usage("--type takes b, t or p");
            type = arg[0];
            continue;
        }
        values++;
        given = opt;
        if (!strcmp(opt, "--number")) {
            uint32_t v;
            if (!ParseU32(arg, &v)) return Usage("--number takes a 32-bit unsigned value");
            data = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
            if (!type) type = 'b';
        } else if (!strcmp(opt, "--text")) {
            std::string text = arg, ansi = text;
            size_t at;
            uint32_t c;
            if (g_convert && !Utf8ToCp1252(text, &ansi, &at, &c)) {
                if (!c) return Usage("--text: not valid UTF-8 (--raw stores the bytes as given)");
                fprintf(stderr, "kovdb: --text: U+%04X has no place in Windows-1252\n",
                        (unsigned)c);
                return EXIT_USAGE;
            }
            data.assign(ansi.begin(), ansi.end());
            if (!type) type = 't';
        } else if (!strcmp(opt, "--hex")) {
            if (!ParseHex(arg, &data)) return Usage("--hex takes pairs of hex digits");
            if (!type) type = 'b';
        } else if (!strcmp(opt, "--file")) {
            if (!ReadWholeFile(arg, &data)) {
                fprintf(stderr, "kovdb: cannot read %s\n", arg);
                return EXIT_FILE;
            }
            if (!type) type = 'b';
        } else {
            return Usage("set takes --number, --text, --hex or --file, and --type");
        }
    }
    if (values != 1) return Usage("set takes exactly one of --number, --text, --hex, --file");
    if (data.size() > DB_MAX_RECORD) return Usage("a record holds at most 65535 bytes");
    // A key whose meaning the setup knows is read back as that kind: a text where a number is
    // read would be taken for a number all the same.
    const DbKnownGid* known = DbFindKnownGid(gid);
    if (known && !force) {
        bool number = !strcmp(given, "--number"), text = !strcmp(given, "--text");
        const char* wrong = nullptr;
        if (known->decode == DB_DECODE_NUMBER && (text || (!number && data.size() != 4)))
            wrong = text ? "a text" : "not 4 bytes";
        else if (known->decode == DB_DECODE_TEXT && number) wrong = "a number";
        if (wrong) {
            fprintf(stderr,
                    "kovdb: 0x%08X (%s) holds %s, and %s gives %s; not written (--force writes "
                    "it anyway)\n",
                    gid, known->what,
                    known->decode == DB_DECODE_NUMBER ? "a number (4 bytes, --number)"
                                                      : "a text (--text)",
                    given, wrong);
            return EXIT_USAGE;
        }
    }
    RecordDb* db = nullptr;
    if (int rc = OpenToWrite(path, &db)) return rc;
    WarnDamage(path);
    uint32_t damagedAt = db->appendAt;
    errno = 0;
    int ok = DbWriteRecord(db, gid, data.data(), uint16_t(data.size()), type);
    WarnCut(path, damagedAt, db);
    if (!ok) SayNotWritten(path, "writing record", gid, db);
    DbClose(db);
    return ok ? EXIT_OK : EXIT_WRITE;
}

int CmdDelete(const char* path, uint32_t gid) {
    RecordDb* db = nullptr;
    if (int rc = OpenToWrite(path, &db)) return rc;
    WarnDamage(path);
    int rc = EXIT_OK;
    if (!FindEntry(db, gid)) {
        fprintf(stderr, "kovdb: no record 0x%08X in %s\n", gid, path);
        rc = EXIT_ABSENT;
    } else if (errno = 0, !DbDeleteRecord(db, gid)) {
        SayNotWritten(path, "deleting record", gid, db);
        rc = EXIT_WRITE;
    }
    DbClose(db);
    return rc;
}

int CmdCreate(const char* path, int argc, char** argv) {
    uint32_t id = 0;
    int haveId = 0, oldForm = 0;
    for (int i = 0; i < argc; i++) {
        if (!strcmp(argv[i], "--old-form")) {
            oldForm = 1;
        } else if (!strcmp(argv[i], "--id") && i + 1 < argc) {
            if (!ParseU32(argv[++i], &id)) return Usage("--id takes a 32-bit unsigned value");
            haveId = 1;
        } else {
            return Usage("create takes --id ID and optionally --old-form");
        }
    }
    if (!haveId) return Usage("create needs --id ID");
    if (SysAttributes(path) != SYS_ATTR_NONE) {
        fprintf(stderr, "kovdb: %s exists; not overwritten\n", path);
        return EXIT_FILE;
    }
    uint8_t b[DB_NEW_FILE_HEADER] = {};
    unsigned n;
    if (oldForm) {
        b[0] = 'D';
        b[1] = 'C';
        for (int i = 0; i < 4; i++) b[DB_OLD_ID_OFFSET + i] = uint8_t(id >> (8 * i));
        n = DB_OLD_FILE_HEADER;
    } else {
        memcpy(b, DB_NEW_FILE_MAGIC, 8);
        for (int i = 0; i < 4; i++) b[DB_NEW_ID_OFFSET + i] = uint8_t(id >> (8 * i));
        n = DB_NEW_FILE_HEADER;
    }
    SysFile f = SysCreate(path);
    if (!f) {
        int fd = open(path, O_WRONLY | O_CREAT | O_EXCL, 0644);
        std::string why = fd < 0 ? std::string(": ") + strerror(errno) : "";
        if (fd >= 0) close(fd), unlink(path);
        fprintf(stderr, "kovdb: cannot create %s%s\n", path, why.c_str());
        return EXIT_FILE;
    }
    long written = SysWrite(f, b, n);
    SysClose(f);
    if (written != long(n)) {
        fprintf(stderr, "kovdb: writing %s failed\n", path);
        return EXIT_WRITE;
    }
    return EXIT_OK;
}

int g_unreadable;
uint32_t g_fileSize;
int CheckOne(RecordDb* db, uint32_t gid, uint16_t length) {
    uint16_t n = 0;
    void* data = DbReadRecord(db, gid, nullptr, &n);
    if (data) {
        MemFree(data);
        return 1;
    }
    RecordIndexEntry* e = FindEntry(db, gid);
    uint32_t at = e ? e->header.offset : 0;
    if (uint64_t(at) + (DbIsNewForm(db) ? DB_NEW_RECORD_HEADER : DB_OLD_RECORD_HEADER) + length >
        g_fileSize) {
        // The unfinished last record: counted with the end of the file.
        printf("record 0x%08X at %u: its %u bytes of data run past the end of the file\n", gid, at,
               unsigned(length));
    } else {
        printf("record 0x%08X at %u: its data cannot be read\n", gid, at);
        g_unreadable++;
    }
    return 1;
}

int CmdCheck(const char* path) {
    RecordDb* db = nullptr;
    int status = DbOpenReadOnly(path, &db);
    const DbResyncReport r = DbLastResync;
    std::string header = status == 0 ? HeaderDamage(path) : "";
    if (!header.empty()) printf("%s\n", header.c_str());
    unsigned kept = r.scans < DB_SKIPS_KEPT ? r.scans : DB_SKIPS_KEPT;
    for (unsigned i = 0; i < kept; i++)
        printf("skipped %u bytes: bad header at %u, next good header at %u\n",
               r.skipTo[i] - r.skipFrom[i], r.skipFrom[i], r.skipTo[i]);
    if (r.scans > kept) printf("... and %u more damaged places\n", r.scans - kept);
    if (status != 0) {
        if (status == 1) printf("unreadable: no file header, or a read error\n");
        return OpenStatusExit(status, path, false);
    }
    g_unreadable = 0;
    g_fileSize = r.fileSize;
    DbForEachRecord(db, CheckOne);
    unsigned places = r.scans + g_unreadable + r.wrongLengths + (header.empty() ? 0 : 1);
    if (r.endKind != DB_END_SOUND) places++;
    if (r.wrongLengths)
        printf("wrong length: the record header at %u (and %u more) claims more than 65535 bytes; "
               "the low 16 bits of its length are used\n",
               r.wrongLengthAt, r.wrongLengths - 1);
    if (r.endKind == DB_END_SHORT_TAIL) {
        printf("short tail: %u bytes at %u are not a whole record header\n", r.fileSize - r.endAt,
               r.endAt);
    } else if (r.scanEnd > r.fileSize) {
        // Also when an earlier complete copy of that GID is the one read.
        printf("data missing: the last record ends %u bytes past the end of the file\n",
               r.scanEnd - r.fileSize);
        if (r.endKind == DB_END_KEPT)
            printf("the record is damaged rather than unfinished: the end is kept, nothing is "
                   "appended\n");
    } else if (r.endKind == DB_END_KEPT) {
        printf("damaged end: the %u bytes at %u hold no record chain the scan could follow; "
               "they are kept, nothing is appended\n",
               r.fileSize - r.endAt, r.endAt);
    }
    printf("%u records, %u damaged places (%u bytes skipped)\n", DbRecordCount(db), places,
           r.skippedBytes);
    DbClose(db);
    if (places) return EXIT_ABSENT;
    printf("no damage\n");
    return EXIT_OK;
}

int CmdKeys() {
    printf("database identifiers (create --id, the file header):\n");
    printf("  0x01000401  the client's main database (idb\\main.idx)\n");
    printf("  0x000003DE  a further database the migration edits\n");
    printf("  0x002000EF  a further database the migration edits\n");
    printf("record keys (GID) the setup reads or writes, and how dump decodes them:\n");
    for (int i = 0; i < DbKnownGidCount; i++) {
        const DbKnownGid& k = DbKnownGids[i];
        const char* how = k.decode == DB_DECODE_NUMBER ? "number"
                          : k.decode == DB_DECODE_TEXT ? "text"
                                                       : "bytes";
        printf("  0x%08X  %-6s  %s\n", k.gid, how, k.what);
    }
    printf("ExpectedDbKind of a package is compared with byte 0 of 0x1400006D, and\n"
           "ExpectedDbKindCode with bytes 2-3 of 0x14000068, in the main database.\n");
    return EXIT_OK;
}

}  // namespace

int main(int argc, char** argv) {
    int verbose = 0;
    int a = 1;
    if (a < argc && (!strcmp(argv[a], "--help") || !strcmp(argv[a], "-h"))) {
        fputs(kUsage, stdout);
        return EXIT_OK;
    }
    if (a < argc && !strcmp(argv[a], "--version")) {
        printf("kovdb %s\n", KOV_TOOLS_VERSION);
        return EXIT_OK;
    }
    int raw = 0;
    for (; a < argc; a++) {
        if (!strcmp(argv[a], "-v")) verbose = 1;
        else if (!strcmp(argv[a], "--raw")) raw = 1;
        else break;
    }
    g_raw = raw;
    g_convert = !raw && LocaleIsUtf8();
    if (a < argc && !strcmp(argv[a], "keys"))
        return argc - a > 1 ? Usage("keys takes no FILE") : CmdKeys();
    if (argc - a < 2) return Usage(argc - a == 1 ? "missing FILE" : "missing COMMAND");
    const char* cmd = argv[a];
    const char* path = argv[a + 1];
    int rest = argc - a - 2;
    char** args = argv + a + 2;
    uint32_t gid = 0;
    int rc;
    if (!strcmp(cmd, "list") || !strcmp(cmd, "dump") || !strcmp(cmd, "check")) {
        if (rest) return Usage("too many arguments");
        rc = cmd[0] == 'l' ? CmdList(path) : cmd[0] == 'd' ? CmdDump(path) : CmdCheck(path);
    } else if (!strcmp(cmd, "get") || !strcmp(cmd, "delete") || !strcmp(cmd, "set")) {
        if (rest < 1 || !ParseU32(args[0], &gid)) return Usage("missing or bad GID");
        if (cmd[0] == 's') rc = CmdSet(path, gid, rest - 1, args + 1);
        else if (rest > 1) return Usage("too many arguments");
        else rc = cmd[0] == 'g' ? CmdGet(path, gid) : CmdDelete(path, gid);
    } else if (!strcmp(cmd, "create")) {
        rc = CmdCreate(path, rest, args);
    } else {
        return Usage("unknown command");
    }
    if (verbose && LogTraceText()) fwrite(LogTraceText(), 1, LogTraceUsed(), stderr);
    return rc;
}
