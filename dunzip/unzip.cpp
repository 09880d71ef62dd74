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
#include <zlib.h>
#ifdef _WIN32
#include <windows.h>
#endif

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

// A member whose sizes follow its data is bounded by the archive's central directory: its
// record for the member gives the check value and the size before anything is inflated, so
// a stream that runs on (or a descriptor that lies) is stopped at that size. The file
// position is left where it was.
int CentralSizes(FILE* in, const char* name, uint32_t* crc, uint32_t* size) {
    enum { END_RECORD = 22, MAX_COMMENT = 65535 };
    long here = ftell(in);
    if (here < 0 || fseek(in, 0, SEEK_END) != 0) return UNZIP_BAD_ARCHIVE;
    long length = ftell(in);
    long tail = length < END_RECORD + MAX_COMMENT ? length : END_RECORD + MAX_COMMENT;
    int status = UNZIP_BAD_ARCHIVE;
    unsigned char* buf = tail >= END_RECORD ? (unsigned char*)malloc((size_t)tail) : 0;
    if (buf && fseek(in, length - tail, SEEK_SET) == 0 &&
        fread(buf, 1, (size_t)tail, in) == (size_t)tail) {
        for (long i = tail - END_RECORD; i >= 0; i--) {
            const unsigned char* e = buf + i;
            if (GetU32(e) != 0x06054B50 || i + END_RECORD + (long)GetU16(e + 20) != tail) continue;
            uint32_t at = GetU32(e + 16);
            unsigned char c[46];
            size_t nameLen = strlen(name);
            char found[260];
            if (at > (uint32_t)(length - 46) || fseek(in, (long)at, SEEK_SET) != 0 ||
                fread(c, 1, 46, in) != 46 || GetU32(c) != 0x02014B50 || GetU16(c + 28) != nameLen ||
                nameLen >= sizeof found || fread(found, 1, nameLen, in) != nameLen ||
                memcmp(found, name, nameLen) != 0)
                break;
            *crc = GetU32(c + 16);
            *size = GetU32(c + 24);
            status = UNZIP_OK;
            break;
        }
    }
    if (buf) free(buf);
    if (fseek(in, here, SEEK_SET) != 0) status = UNZIP_BAD_ARCHIVE;
    return status;
}

}  // namespace

int UnzipFirstMember(const char* archivePath, const char* targetDir, char sep) {
    if (!archivePath || !targetDir) return UNZIP_BAD_COMMAND;
    FILE* in = fopen(archivePath, "rb");
    if (!in) return UNZIP_NO_ARCHIVE;

    unsigned char header[30];
    char name[260];
    int status = UNZIP_OK;
    uint32_t flags, method, crcWanted, packed, size, nameLen, extraLen;
    if (fread(header, 1, 30, in) != 30 || GetU32(header) != 0x04034B50) {
        fclose(in);
        return UNZIP_BAD_ARCHIVE;
    }
    flags = GetU16(header + 6);
    method = GetU16(header + 8);
    crcWanted = GetU32(header + 14);
    packed = GetU32(header + 18);
    size = GetU32(header + 22);
    nameLen = GetU16(header + 26);
    extraLen = GetU16(header + 28);
    if (nameLen == 0 || nameLen >= sizeof name || fread(name, 1, nameLen, in) != nameLen) {
        fclose(in);
        return UNZIP_BAD_ARCHIVE;
    }
    name[nameLen] = 0;
    if (strlen(name) != nameLen || !BareName(name)) {
        fclose(in);
        return UNZIP_BAD_NAME;
    }
    if (fseek(in, (long)extraLen, SEEK_CUR) != 0) {
        fclose(in);
        return UNZIP_BAD_ARCHIVE;
    }
    if (flags & 1) {
        fclose(in);
        return UNZIP_BAD_METHOD;
    }  // encrypted
    if (method != 8 && method != 0) {
        fclose(in);
        return UNZIP_BAD_METHOD;
    }
    bool sizesLater = (flags & 8) != 0;  // sizes in a descriptor after the data
    if (sizesLater && method == 8) {
        int central = CentralSizes(in, name, &crcWanted, &size);
        if (central != UNZIP_OK) {
            fclose(in);
            return central;
        }
    }

    char target[600];
    size_t dirLen = strlen(targetDir);
    const char* join =
        dirLen && (targetDir[dirLen - 1] == '/' || targetDir[dirLen - 1] == '\\') ? "" : "x";
    if (dirLen + 1 + nameLen + 1 > sizeof target) {
        fclose(in);
        return UNZIP_BAD_NAME;
    }
    snprintf(target, sizeof target, "%s%s%s", targetDir, *join ? (sep == '/' ? "/" : "\\") : "",
             name);
    FILE* out = fopen(target, "wb");
    if (!out) {
        fclose(in);
        return UNZIP_CANNOT_CREATE;
    }

    unsigned char* inBuf = (unsigned char*)malloc(32768);
    unsigned char* outBuf = (unsigned char*)malloc(32768);
    z_stream z;
    memset(&z, 0, sizeof z);
    if (!inBuf || !outBuf || (method == 8 && inflateInit2(&z, -MAX_WBITS) != Z_OK)) {
        free(inBuf);
        free(outBuf);
        fclose(in);
        fclose(out);
        remove(target);
        return UNZIP_NO_MEMORY;
    }

    uint32_t crc = crc32(0L, Z_NULL, 0), written = 0, left = packed;
    bool done = false;
    while (!done && status == UNZIP_OK) {
        size_t want = 32768;
        if (!sizesLater && left < want) want = left;
        size_t got = want ? fread(inBuf, 1, want, in) : 0;
        if (!sizesLater) left -= (uint32_t)got;
        if (method == 0) {
            if (sizesLater) {
                status = UNZIP_BAD_ARCHIVE;
                break;
            }  // stored needs sizes up front
            if (got == 0) {
                done = left == 0;
                if (!done) status = UNZIP_BAD_ARCHIVE;
                break;
            }
            if (got > size - written) {
                status = UNZIP_BAD_CRC;
                break;
            }
            if (fwrite(inBuf, 1, got, out) != got) {
                status = WriteFailure(target);
                break;
            }
            crc = crc32(crc, inBuf, (uInt)got);
            written += (uint32_t)got;
            if (left == 0) done = true;
            continue;
        }
        if (got == 0) {
            status = UNZIP_BAD_DATA;
            break;
        }  // stream ended early
        z.next_in = inBuf;
        z.avail_in = (uInt)got;
        do {
            z.next_out = outBuf;
            z.avail_out = 32768;
            int r = inflate(&z, Z_NO_FLUSH);
            if (r == Z_MEM_ERROR) {
                status = UNZIP_NO_MEMORY;
                break;
            }
            if (r != Z_OK && r != Z_STREAM_END && r != Z_BUF_ERROR) {
                status = UNZIP_BAD_DATA;
                break;
            }
            size_t n = 32768 - z.avail_out;
            // A member that outgrows its declared size is damaged: stop before it fills the
            // disk, which would be reported as "disk full" and retried forever.
            if (n > size - written) {
                status = UNZIP_BAD_CRC;
                break;
            }
            if (n && fwrite(outBuf, 1, n, out) != n) {
                status = WriteFailure(target);
                break;
            }
            crc = crc32(crc, outBuf, (uInt)n);
            written += (uint32_t)n;
            if (r == Z_STREAM_END) {
                done = true;
                break;
            }
        } while (z.avail_out == 0 || z.avail_in > 0);
    }
    if (method == 8) inflateEnd(&z);
    if (status == UNZIP_OK && sizesLater) {
        // The descriptor: optional signature, CRC, packed size, size.
        long back = -(long)z.avail_in;
        unsigned char d[16];
        size_t n = fseek(in, back, SEEK_CUR) == 0 ? fread(d, 1, 16, in) : 0;
        bool signature = n >= 4 && GetU32(d) == 0x08074B50;
        if (n < (signature ? 16u : 12u)) status = UNZIP_BAD_ARCHIVE;
        else {
            // The descriptor must tell the same as the central directory.
            const unsigned char* p = signature ? d + 4 : d;
            if (GetU32(p) != crcWanted || GetU32(p + 8) != size) status = UNZIP_BAD_CRC;
        }
    }
    if (status == UNZIP_OK && (crc != crcWanted || written != size)) status = UNZIP_BAD_CRC;
    free(inBuf);
    free(outBuf);
    fclose(in);
    if (fclose(out) != 0 && status == UNZIP_OK) status = WriteFailure(target);
    if (status != UNZIP_OK) remove(target);
    return status;
}

int ReadUnzipCommand(const unsigned char* record, uint32_t* archiveWord, uint32_t* targetWord) {
    if (!record || GetU32(record) != UNZIP_COMMAND_SIZE || GetU32(record + 4) != UNZIP_EXTRACT_ONE)
        return UNZIP_BAD_COMMAND;
    *archiveWord = GetU32(record + UNZIP_ARCHIVE_AT);
    *targetWord = GetU32(record + UNZIP_TARGET_AT);
    return UNZIP_OK;
}
