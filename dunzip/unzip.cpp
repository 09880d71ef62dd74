// Single-member zip extraction. The archive is read through a small buffer and inflated in
// 32 KB steps, so memory stays small whatever the member's size. Names come from the archive
// and are untrusted: only a bare file name is accepted.
#include "dunzip/unzip.h"
#include "base/bytes.h"

#include <ctype.h>
#include <errno.h>
#include <stdio.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include "dunzip/inflate.h"

namespace {

// A device name, with or without an extension, opens the device (a serial port, the
// printer...) instead of a file in the target folder.
bool DeviceName(const char* name) {
    static const char* const devices[] = {"CON",  "PRN",  "AUX",  "NUL",  "CLOCK$", "COM1",
                                          "COM2", "COM3", "COM4", "COM5", "COM6",   "COM7",
                                          "COM8", "COM9", "LPT1", "LPT2", "LPT3",   "LPT4",
                                          "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
    size_t base = strcspn(name, ".");
    for (const char* d : devices) {
        if (strlen(d) != base) continue;
        size_t i = 0;
        while (i < base && toupper((unsigned char)name[i]) == d[i]) i++;
        if (i == base) return true;
    }
    return false;
}

bool BareName(const char* name) {
    if (!*name || !strcmp(name, ".") || !strcmp(name, "..")) return false;
    for (const char* p = name; *p; p++)
        if (*p == '/' || *p == '\\' || *p == ':') return false;
    return !DeviceName(name);
}

// A write that fails on a file just created means a full disk, whatever errno says: the
// Windows runtime reports a full disk as EINVAL. There the drive's free space decides.
int WriteFailure(const char* target) {
    if (errno == ENOSPC) return UNZIP_DISK_FULL;
#ifdef _WIN32
    char root[4] = {target[0], ':', '\\', 0};
    DWORD sectors, bytes, freeClusters, clusters;
    if (target[0] && target[1] == ':' &&
        GetDiskFreeSpaceA(root, &sectors, &bytes, &freeClusters, &clusters) &&
        (unsigned long long)freeClusters * sectors * bytes < 65536)
        return UNZIP_DISK_FULL;
#endif
    return UNZIP_CANNOT_CREATE;
}

// Where the archive's bytes come from: a positional read over a file of our own (the
// temporary archive) or over the caller's reader (an entry of the open package).
struct Source {
    UnzipReadAtFn read;
    void* context;
    long length;  // -1 while unknown: a file's end is looked up only when it is needed
    FILE* file;   // the archive file, or null for a caller's reader
    uint32_t filePos;
};

// Reads the archive file, seeking only when the position is not where the last read ended.
long ReadFileAt(void* context, uint32_t at, unsigned char* buffer, unsigned size) {
    Source* s = (Source*)context;
    if (at != s->filePos && fseek(s->file, (long)at, SEEK_SET) != 0) return -1;
    size_t got = fread(buffer, 1, size, s->file);
    s->filePos = at + (uint32_t)got;
    return (long)got;
}

long SourceLength(Source* s) {
    if (s->length >= 0 || !s->file) return s->length;
    if (fseek(s->file, 0, SEEK_END) != 0) return -1;
    s->length = ftell(s->file);
    s->filePos = (uint32_t)-1;  // moved: the next read seeks
    return s->length;
}

bool ReadFull(Source* s, uint32_t at, void* buffer, unsigned size) {
    return s->read(s->context, at, (unsigned char*)buffer, size) == (long)size;
}

// What the decoder's callbacks share: the archive and the position of the member's data
// read so far, the target, and the sizes that bound both.
struct MemberIo {
    Source* in;
    uint32_t pos;  // next archive byte to read
    FILE* out;
    const char* target;
    bool bounded;   // the packed size is known: no reading past it
    uint32_t left;  // packed bytes not read yet
    uint32_t size;  // the member's declared size
    uint32_t written;
    uint32_t crc;
};

long ReadPacked(void* context, unsigned char* buffer, unsigned size) {
    MemberIo* m = (MemberIo*)context;
    if (m->bounded && m->left < size) size = m->left;
    if (size == 0) return 0;
    long got = m->in->read(m->in->context, m->pos, buffer, size);
    if (got <= 0) return got;
    m->pos += (uint32_t)got;
    if (m->bounded) m->left -= (uint32_t)got;
    return got;
}

int WriteMember(void* context, const unsigned char* data, unsigned n) {
    MemberIo* m = (MemberIo*)context;
    // A member that outgrows its declared size is damaged: stop before it fills the disk,
    // which would be reported as "disk full" and retried forever.
    if (n > m->size - m->written) return UNZIP_BAD_CRC;
    if (fwrite(data, 1, n, m->out) != n) return WriteFailure(m->target);
    m->crc = ZipCrc32(m->crc, data, n);
    m->written += n;
    return 0;
}

// A member whose sizes follow its data is bounded by the archive's central directory: its
// record for the member gives the check value and the size before anything is inflated, so
// a stream that runs on (or a descriptor that lies) is stopped at that size.
int CentralSizes(Source* in, const char* name, uint32_t* crc, uint32_t* size) {
    enum { END_RECORD = 22, MAX_COMMENT = 65535 };
    long length = SourceLength(in);
    if (length < 0) return UNZIP_BAD_ARCHIVE;
    long tail = length < END_RECORD + MAX_COMMENT ? length : END_RECORD + MAX_COMMENT;
    int status = UNZIP_BAD_ARCHIVE;
    unsigned char* buf = tail >= END_RECORD ? (unsigned char*)malloc((size_t)tail) : 0;
    if (buf && ReadFull(in, (uint32_t)(length - tail), buf, (unsigned)tail)) {
        for (long i = tail - END_RECORD; i >= 0; i--) {
            const unsigned char* e = buf + i;
            if (GetU32(e) != 0x06054B50 || i + END_RECORD + (long)GetU16(e + 20) != tail) continue;
            uint32_t at = GetU32(e + 16);
            unsigned char c[46];
            size_t nameLen = strlen(name);
            char found[260];
            if (length < 46 || at > (uint32_t)(length - 46) || !ReadFull(in, at, c, 46) ||
                GetU32(c) != 0x02014B50 || GetU16(c + 28) != nameLen || nameLen >= sizeof found ||
                !ReadFull(in, at + 46, found, (unsigned)nameLen) ||
                memcmp(found, name, nameLen) != 0)
                break;
            *crc = GetU32(c + 16);
            *size = GetU32(c + 24);
            status = UNZIP_OK;
            break;
        }
    }
    if (buf) free(buf);
    return status;
}

// The member's name against the file the caller asked for: the last part of its path, with
// ASCII letters of either case (the package's names and the archives' come from one tool,
// which keeps their case; the file systems ignore it).
bool NamedAs(const char* name, const char* target) {
    const char* last = target;
    for (const char* p = target; *p; p++)
        if (*p == '\\' || *p == '/') last = p + 1;
    for (; *name && *last; name++, last++)
        if (toupper((unsigned char)*name) != toupper((unsigned char)*last)) return false;
    return !*name && !*last;
}

// The extraction both entries share. With promised set, the member must be the file the
// caller names there, of promisedSize bytes, and is written to that path; otherwise it is
// written under its own name into targetDir.
int ExtractFrom(Source* in, const char* targetDir, char sep, const char* promised,
                uint32_t promisedSize) {
    unsigned char header[30];
    char name[260];
    int status = UNZIP_OK;
    uint32_t flags, method, crcWanted, packed, size, nameLen, extraLen;
    if (!ReadFull(in, 0, header, 30) || GetU32(header) != 0x04034B50) return UNZIP_BAD_ARCHIVE;
    flags = GetU16(header + 6);
    method = GetU16(header + 8);
    crcWanted = GetU32(header + 14);
    packed = GetU32(header + 18);
    size = GetU32(header + 22);
    nameLen = GetU16(header + 26);
    extraLen = GetU16(header + 28);
    if (nameLen == 0 || nameLen >= sizeof name || !ReadFull(in, 30, name, nameLen))
        return UNZIP_BAD_ARCHIVE;
    name[nameLen] = 0;
    bool whole = strlen(name) == nameLen;  // no NUL inside
    // Another name than the caller's is the package's error, whatever else is wrong with it.
    if (promised && (!whole || !NamedAs(name, promised))) return UNZIP_NOT_PROMISED;
    if (!whole || !BareName(name)) return UNZIP_BAD_NAME;
    uint32_t dataAt = 30 + nameLen + extraLen;
    if (flags & 1) return UNZIP_BAD_METHOD;  // encrypted
    if (method != 8 && method != 0) return UNZIP_BAD_METHOD;
    bool sizesLater = (flags & 8) != 0;  // sizes in a descriptor after the data
    if (sizesLater && method == 8) {
        int central = CentralSizes(in, name, &crcWanted, &size);
        if (central != UNZIP_OK) return central;
    }

    char target[600];
    if (promised) {
        // Nothing is written unless the archive is what the package promised.
        if (size != promisedSize) return UNZIP_NOT_PROMISED;
        if (strlen(promised) >= sizeof target) return UNZIP_BAD_NAME;
        memcpy(target, promised, strlen(promised) + 1);
    } else {
        size_t dirLen = strlen(targetDir);
        bool separator = dirLen && (targetDir[dirLen - 1] == '/' || targetDir[dirLen - 1] == '\\');
        if (dirLen + 1 + nameLen + 1 > sizeof target) return UNZIP_BAD_NAME;
        memcpy(target, targetDir, dirLen);  // fits: measured above
        if (!separator) target[dirLen++] = sep == '/' ? '/' : '\\';
        memcpy(target + dirLen, name, nameLen + 1);
    }
    FILE* out = fopen(target, "wb");
    if (!out) return UNZIP_CANNOT_CREATE;

    MemberIo m = {in, dataAt, out, target, !sizesLater, packed, size, 0, 0};
    unsigned unused = 0;
    if (method == 0) {
        // Stored: the bytes as they are, which needs their count up front.
        unsigned char* buffer = sizesLater ? 0 : (unsigned char*)malloc(32768);
        if (sizesLater) status = UNZIP_BAD_ARCHIVE;
        else if (!buffer) status = UNZIP_NO_MEMORY;
        while (status == UNZIP_OK && m.left > 0) {
            long got = ReadPacked(&m, buffer, 32768);
            if (got <= 0) status = UNZIP_BAD_ARCHIVE;
            else status = WriteMember(&m, buffer, (unsigned)got);
        }
        free(buffer);
    } else {
        int r = Inflate(ReadPacked, WriteMember, &m, &unused);
        status = r == INFLATE_NO_MEMORY  ? UNZIP_NO_MEMORY
                 : r == INFLATE_BAD_DATA ? UNZIP_BAD_DATA
                                         : r;
    }
    uint32_t crc = m.crc, written = m.written;
    if (status == UNZIP_OK && sizesLater) {
        // The descriptor: optional signature, CRC, packed size, size.
        unsigned char d[16];
        long n = in->read(in->context, m.pos - unused, d, 16);
        bool signature = n >= 4 && GetU32(d) == 0x08074B50;
        if (n < (signature ? 16 : 12)) status = UNZIP_BAD_ARCHIVE;
        else {
            // The descriptor must tell the same as the central directory.
            const unsigned char* p = signature ? d + 4 : d;
            if (GetU32(p) != crcWanted || GetU32(p + 8) != size) status = UNZIP_BAD_CRC;
        }
    }
    if (status == UNZIP_OK && (crc != crcWanted || written != size)) status = UNZIP_BAD_CRC;
    if (fclose(out) != 0 && status == UNZIP_OK) status = WriteFailure(target);
    if (status != UNZIP_OK) remove(target);
    return status;
}

}  // namespace

int UnzipFirstMember(const char* archivePath, const char* targetDir, char sep) {
    if (!archivePath || !targetDir) return UNZIP_BAD_COMMAND;
    FILE* in = fopen(archivePath, "rb");
    if (!in) return UNZIP_NO_ARCHIVE;
    Source s = {ReadFileAt, 0, -1, in, 0};
    s.context = &s;
    int status = ExtractFrom(&s, targetDir, sep, 0, 0);
    fclose(in);
    return status;
}

int UnzipMemberTo(UnzipReadAtFn read, void* context, uint32_t length, const char* target,
                  uint32_t size) {
    if (!read || !target || !*target) return UNZIP_BAD_COMMAND;
    Source s = {read, context, (long)length, 0, 0};
    return ExtractFrom(&s, 0, '\\', target, size);
}

// An address word of the record, as wide as this build's addresses.
static uint64_t GetAddressWord(const unsigned char* p) {
    uint64_t word = GetU32(p);
    if (UNZIP_ADDRESS_BYTES == 8) word |= (uint64_t)GetU32(p + 4) << 32;
    return word;
}

int ReadUnzipCommand(const unsigned char* record, uint64_t* archiveWord, uint64_t* targetWord) {
    if (!record || GetU32(record) != UNZIP_COMMAND_SIZE || GetU32(record + 4) != UNZIP_EXTRACT_ONE)
        return UNZIP_BAD_COMMAND;
    *archiveWord = GetAddressWord(record + UNZIP_ARCHIVE_AT);
    *targetWord = GetAddressWord(record + UNZIP_TARGET_AT);
    return UNZIP_OK;
}
