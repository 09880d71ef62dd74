// Layout of the client's record database files. All integers are little-endian except the
// data of number records, which is stored most significant byte first.
//
// File header, old form (10 bytes): "DC", 32-bit database identifier, 4 bytes left as found.
// File header, new form (25 bytes): "KOVDB-25" and a NUL (compared without regard to case),
//   32-bit database identifier, 12 bytes left as found.
// Records follow the file header without gaps: header, data, header, data...
// Record header, new form (26 bytes): "R2D2", GID, 32-bit length (only the low 16 bits are
//   used), 16-bit flags, two reserved 32-bit words, 32-bit offset of the header in the file.
// Record header, old form (22 bytes): "RE", GID, 16-bit length, flags, two reserved words,
//   offset. Read into the new form: magic "R2D2" (0 when it was not "RE"), the rest in order.
// The offset field of a stored header is not trusted: the index holds where the header was
// actually found. The reserved words are written as 0 and kept when a header is rewritten.
#pragma once
#include <stdint.h>

enum {
    DB_OLD_FORM = 0,
    DB_NEW_FORM = 1,

    DB_OLD_FILE_HEADER = 10,
    DB_NEW_FILE_HEADER = 25,
    DB_OLD_ID_OFFSET = 2,
    DB_NEW_ID_OFFSET = 9,

    DB_OLD_RECORD_HEADER = 22,
    DB_NEW_RECORD_HEADER = 26,

    DB_MAX_RECORD = 65535,
};

// Record magics as little-endian 32-bit values ("R2D2") and 16-bit values ("RE").
const uint32_t DB_RECORD_MAGIC = 0x32443252u;
const uint16_t DB_OLD_RECORD_MAGIC = 0x4552u;
#define DB_NEW_FILE_MAGIC "KOVDB-25"

// Flags word of a record header.
enum {
    DB_FLAG_TYPE_MASK = 0x00FF,  // type code
    DB_FLAG_SCRAMBLED = 0x0200,  // data bytes stored XORed with DB_SCRAMBLE_MASK
    DB_FLAG_DELETED = 0x0400,    // ignored when the index is built
    DB_FLAG_NOT_ART = 0x2000,    // set on every write whose type is not 'p'
};
enum { DB_TYPE_BINARY = 'b', DB_TYPE_TEXT = 't', DB_TYPE_ART = 'p' };

// The one-byte mask of scrambled records. This program only unscrambles (it never writes a
// scrambled record); the client uses the same value.
const uint8_t DB_SCRAMBLE_MASK = 0xA5;

// Database identifiers.
const uint32_t DB_ID_MAIN = 0x01000401u;
const uint32_t DB_ID_990 = 0x000003DEu;
const uint32_t DB_ID_EF = 0x002000EFu;

// Record keys this program reads or writes, for display by the inspector: how each one's
// data is decoded.
enum { DB_DECODE_RAW = 0, DB_DECODE_NUMBER = 1, DB_DECODE_TEXT = 2 };
struct DbKnownGid {
    uint32_t gid;
    int decode;
    const char* what;
};
extern const DbKnownGid DbKnownGids[];
extern const int DbKnownGidCount;
// The entry for gid, or null.
const DbKnownGid* DbFindKnownGid(uint32_t gid);
