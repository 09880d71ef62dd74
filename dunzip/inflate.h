// A raw deflate decoder (the stream of a zip member, method 8) and the zip check value.
// Inflate only: the library never compresses, so it carries no more than this. The stream
// is pulled through a read callback and the output pushed through a write callback in
// pieces of at most 64 KB, so memory stays the same whatever the member's size.
#pragma once
#include <stdint.h>

enum {
    INFLATE_OK = 0,
    INFLATE_BAD_DATA = -1,   // damaged or cut short
    INFLATE_NO_MEMORY = -2,  // the decoder's block could not be had
};

// Fills buffer with up to size bytes of the stream; returns the count, 0 at its end, or a
// negative value when reading failed (taken as a stream cut short).
typedef long (*InflateReadFn)(void* context, unsigned char* buffer, unsigned size);
// Takes n bytes of output; returns 0 to go on, or a positive status that stops the decoder
// and is returned by Inflate as it is.
typedef int (*InflateWriteFn)(void* context, const unsigned char* data, unsigned n);

// Decodes one raw deflate stream. INFLATE_OK once its last block is decoded and written;
// *unused then holds how many bytes the decoder read past the stream's end (what follows
// the stream in the file, a data descriptor for instance).
int Inflate(InflateReadFn read, InflateWriteFn write, void* context, unsigned* unused);

// The zip (and PNG, Ethernet) CRC-32 of n more bytes, starting from crc (0 for none yet).
uint32_t ZipCrc32(uint32_t crc, const unsigned char* data, unsigned n);
