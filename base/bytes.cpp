// The sticky-error byte reader.
#include "base/bytes.h"

#include <string.h>

ByteReader StreamReader(int (*read)(void* context, void* out, unsigned long n), void* context) {
    ByteReader r = {};
    r.read = read;
    r.context = context;
    return r;
}

ByteReader MemoryReader(const void* data, unsigned long size) {
    ByteReader r = {};
    r.data = (const unsigned char*)data;
    r.size = size;
    return r;
}

int ReadBytes(ByteReader* r, void* out, unsigned long n) {
    if (!r->failed && n > 0) {
        if (r->read) {
            r->failed = !r->read(r->context, out, n);
        } else if (n > r->size - r->position) {
            r->failed = 1;
        } else {
            memcpy(out, r->data + r->position, n);
            r->position += n;
        }
    }
    if (r->failed && n > 0) memset(out, 0, n);
    return !r->failed;
}

uint16_t ReadU16(ByteReader* r) {
    unsigned char b[2];
    ReadBytes(r, b, 2);
    return GetU16(b);
}

uint32_t ReadU32(ByteReader* r) {
    unsigned char b[4];
    ReadBytes(r, b, 4);
    return GetU32(b);
}
