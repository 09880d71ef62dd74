// Little-endian numbers in byte buffers, and a reader that keeps its first failure. Every
// format of the program (install script, record database, zip headers, offset resource) is
// little-endian; these are its only byte helpers. Depends on nothing.
#pragma once
#include <stdint.h>

inline uint16_t GetU16(const void* at) {
    const unsigned char* p = (const unsigned char*)at;
    return (uint16_t)(p[0] | p[1] << 8);
}
inline uint32_t GetU32(const void* at) {
    const unsigned char* p = (const unsigned char*)at;
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}
inline void PutU16(void* at, uint16_t v) {
    unsigned char* p = (unsigned char*)at;
    p[0] = (unsigned char)v;
    p[1] = (unsigned char)(v >> 8);
}
inline void PutU32(void* at, uint32_t v) {
    unsigned char* p = (unsigned char*)at;
    p[0] = (unsigned char)v;
    p[1] = (unsigned char)(v >> 8);
    p[2] = (unsigned char)(v >> 16);
    p[3] = (unsigned char)(v >> 24);
}

// A reader over a stream or a memory block that keeps its first failure: once a read comes
// up short, every later read fails at once and yields zeros, so a record is read field after
// field and checked once, where the caller knows which error number belongs to it.
struct ByteReader {
    // The stream: 1 when exactly n bytes were read. Null for a memory block.
    int (*read)(void* context, void* out, unsigned long n);
    void* context;
    const unsigned char* data;  // the memory block
    unsigned long size, position;
    int failed;
};

ByteReader StreamReader(int (*read)(void* context, void* out, unsigned long n), void* context);
ByteReader MemoryReader(const void* data, unsigned long size);
// Each returns 1 while the reader has not failed.
int ReadBytes(ByteReader* r, void* out, unsigned long n);
uint16_t ReadU16(ByteReader* r);
uint32_t ReadU32(ByteReader* r);
