// Raw deflate decoding. Codes are looked up ten bits at a time in a table; the rare longer
// ones are decoded bit by bit from the code-length counts. Output collects in a buffer of
// two windows: when it fills, all of it is written and the last window kept for matches.
// Every count, length and distance comes from outside and is checked before it is used.
#include "dunzip/inflate.h"

#include <stdlib.h>
#include <string.h>

namespace {

enum {
    WINDOW = 32768,
    MAX_MATCH = 258,
    OUT_FLUSH = 2 * WINDOW,  // output held before it is written
    OUT_SIZE = OUT_FLUSH + MAX_MATCH,
    IN_SIZE = 32768,
    MAX_BITS = 15,
    FAST_BITS = 10,
    LITLEN_CODES = 288,
    LENGTH_CODES = 29,
    DIST_CODES = 30,
    END_OF_BLOCK = 256,
};

// A code: fast[] holds symbol << 4 | length for codes of at most FAST_BITS bits (0 for a
// longer code or none); count[] and symbol[] (symbols by code length, then value) decode
// any code.
struct Huffman {
    uint16_t fast[1 << FAST_BITS];
    uint16_t count[MAX_BITS + 1];
    uint16_t symbol[LITLEN_CODES];
};

struct Inflater {
    InflateReadFn read;
    InflateWriteFn write;
    void* context;
    const unsigned char* next;
    const unsigned char* end;
    int atEnd;         // the read callback has nothing more
    uint32_t bits;     // bit buffer, first bit lowest
    unsigned count;    // bits in it
    unsigned pad;      // of those, zero bits added past the end of the input
    int failure;       // first write status
    unsigned pos;      // output bytes in out[]
    unsigned flushed;  // out[0..flushed) already written
    Huffman lit, dist;
    unsigned char in[IN_SIZE];
    unsigned char out[OUT_SIZE];
};

const uint16_t kLengthBase[LENGTH_CODES] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                            15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                            67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t kLengthExtra[LENGTH_CODES] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                            2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t kDistBase[DIST_CODES] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t kDistExtra[DIST_CODES] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// Order in which a dynamic block sends the lengths of the code-length code.
const uint8_t kLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

int Refill(Inflater* s) {
    if (s->atEnd) return -1;
    long got = s->read(s->context, s->in, IN_SIZE);
    if (got <= 0 || got > IN_SIZE) {
        s->atEnd = 1;
        return -1;
    }
    s->next = s->in;
    s->end = s->in + got;
    return *s->next++;
}

// At least n (at most 24) bits in the buffer; past the end of the input, zero bits that
// must never be consumed.
inline void Fill(Inflater* s, unsigned n) {
    if (s->count >= n) return;
    while (s->count <= 24 && s->next < s->end) {  // the common case: bytes at hand
        s->bits |= (uint32_t)*s->next++ << s->count;
        s->count += 8;
    }
    while (s->count < n) {
        int c = s->next < s->end ? *s->next++ : Refill(s);
        if (c < 0) {
            c = 0;
            s->pad += 8;
        }
        s->bits |= (uint32_t)c << s->count;
        s->count += 8;
    }
}

// Consumes n bits; 0 when they reach past the end of the input.
inline int Drop(Inflater* s, unsigned n) {
    if (n > s->count - s->pad) return 0;
    s->bits >>= n;
    s->count -= n;
    return 1;
}

// The next n (at most 16) bits as a number, or -1 past the end of the input.
inline long Bits(Inflater* s, unsigned n) {
    Fill(s, n);
    long v = (long)(s->bits & ((1u << n) - 1));
    return Drop(s, n) ? v : -1;
}

// How much of the code space a set of lengths may leave unused. A stream's own codes must
// fill it, as every other decoder demands (a stream that one decoder reads and another
// refuses would install here and be called damaged by the verifier), except a set of one
// code of one bit, which an encoder sends for a block with one distance or only its end; the
// fixed block's distance code has two codes no stream may use.
enum CodeKind { LENGTHS_CODE, STREAM_CODE, FIXED_CODE };

// Builds the code of n symbols from their lengths (0: unused). 0 for an over-subscribed set,
// or an incomplete one that kind does not allow; a set with no code at all is accepted, and
// fails when one of its codes is met.
int Build(Huffman* h, const uint8_t* lengths, unsigned n, CodeKind kind) {
    memset(h->count, 0, sizeof h->count);
    for (unsigned i = 0; i < n; i++) h->count[lengths[i]]++;
    h->count[0] = 0;
    int left = 1;
    for (unsigned len = 1; len <= MAX_BITS; len++) {
        left = (left << 1) - h->count[len];
        if (left < 0) return 0;
    }
    unsigned longest = MAX_BITS;
    while (longest > 0 && h->count[longest] == 0) longest--;
    if (left > 0 && longest > 0 && kind != FIXED_CODE && (kind == LENGTHS_CODE || longest != 1))
        return 0;
    uint16_t offset[MAX_BITS + 2];
    offset[1] = 0;
    for (unsigned len = 1; len <= MAX_BITS; len++) offset[len + 1] = offset[len] + h->count[len];
    for (unsigned i = 0; i < n; i++)
        if (lengths[i]) h->symbol[offset[lengths[i]]++] = (uint16_t)i;

    memset(h->fast, 0, sizeof h->fast);
    unsigned code = 0, index = 0;
    for (unsigned len = 1; len <= FAST_BITS; len++) {
        for (unsigned k = 0; k < h->count[len]; k++, code++) {
            unsigned reversed = 0;  // the stream sends a code's first bit lowest
            for (unsigned b = 0; b < len; b++) reversed |= ((code >> b) & 1) << (len - 1 - b);
            uint16_t entry = (uint16_t)(h->symbol[index++] << 4 | len);
            for (unsigned r = reversed; r < (1u << FAST_BITS); r += 1u << len) h->fast[r] = entry;
        }
        code <<= 1;
    }
    return 1;
}

// The next symbol of code h, or -1 for a code the set lacks or a stream cut short.
inline int Decode(Inflater* s, const Huffman* h) {
    Fill(s, MAX_BITS);
    unsigned e = h->fast[s->bits & ((1u << FAST_BITS) - 1)];
    if (e) return Drop(s, e & 15) ? (int)(e >> 4) : -1;
    int code = 0, first = 0, index = 0;
    uint32_t b = s->bits;
    for (unsigned len = 1; len <= MAX_BITS; len++) {
        code |= (int)(b & 1);
        b >>= 1;
        int n = h->count[len];
        if (code - first < n) return Drop(s, len) ? h->symbol[index + code - first] : -1;
        index += n;
        first = (first + n) << 1;
        code <<= 1;
    }
    return -1;
}

// Writes what is held and keeps the last window for the matches to come.
int Flush(Inflater* s) {
    if (s->pos > s->flushed) {
        int r = s->write(s->context, s->out + s->flushed, s->pos - s->flushed);
        if (r) {
            s->failure = r;
            return 0;
        }
    }
    if (s->pos >= WINDOW) {
        memmove(s->out, s->out + s->pos - WINDOW, WINDOW);
        s->pos = WINDOW;
    }
    s->flushed = s->pos;
    return 1;
}

int Stored(Inflater* s) {
    Drop(s, (s->count - s->pad) % 8);  // to the byte boundary
    long len = Bits(s, 16), check = Bits(s, 16);
    if (len < 0 || check < 0 || (len ^ 0xFFFF) != check) return 0;
    while (len > 0 && s->count - s->pad >= 8) {  // bytes already in the bit buffer
        if (s->pos >= OUT_FLUSH && !Flush(s)) return 0;
        s->out[s->pos++] = (unsigned char)s->bits;
        Drop(s, 8);
        len--;
    }
    while (len > 0) {
        if (s->pos >= OUT_FLUSH && !Flush(s)) return 0;
        if (s->next == s->end) {
            int c = Refill(s);
            if (c < 0) return 0;
            s->next--;
        }
        unsigned n = (unsigned)len;
        if (n > (unsigned)(s->end - s->next)) n = (unsigned)(s->end - s->next);
        if (n > OUT_FLUSH - s->pos) n = OUT_FLUSH - s->pos;
        memcpy(s->out + s->pos, s->next, n);
        s->next += n;
        s->pos += n;
        len -= n;
    }
    return 1;
}

int Codes(Inflater* s) {
    for (;;) {
        if (s->pos >= OUT_FLUSH && !Flush(s)) return 0;
        int sym = Decode(s, &s->lit);
        if (sym < 0) return 0;
        if (sym < END_OF_BLOCK) {
            s->out[s->pos++] = (unsigned char)sym;
            continue;
        }
        if (sym == END_OF_BLOCK) return 1;
        sym -= END_OF_BLOCK + 1;
        if (sym >= LENGTH_CODES) return 0;
        long extra = Bits(s, kLengthExtra[sym]);
        int d = Decode(s, &s->dist);
        if (extra < 0 || d < 0 || d >= DIST_CODES) return 0;
        unsigned len = kLengthBase[sym] + (unsigned)extra;
        long dextra = Bits(s, kDistExtra[d]);
        if (dextra < 0) return 0;
        unsigned distance = kDistBase[d] + (unsigned)dextra;
        // Before the first flush pos is all the output there is; after it, a whole window.
        if (distance > s->pos) return 0;
        unsigned char* to = s->out + s->pos;
        const unsigned char* from = to - distance;
        if (distance >= len) memcpy(to, from, len);
        else
            for (unsigned i = 0; i < len; i++) to[i] = from[i];  // a run: byte by byte
        s->pos += len;
    }
}

int Fixed(Inflater* s) {
    uint8_t lengths[LITLEN_CODES + DIST_CODES];
    unsigned i = 0;
    for (; i < 144; i++) lengths[i] = 8;
    for (; i < 256; i++) lengths[i] = 9;
    for (; i < 280; i++) lengths[i] = 7;
    for (; i < LITLEN_CODES; i++) lengths[i] = 8;
    for (; i < LITLEN_CODES + DIST_CODES; i++) lengths[i] = 5;
    Build(&s->lit, lengths, LITLEN_CODES, FIXED_CODE);
    Build(&s->dist, lengths + LITLEN_CODES, DIST_CODES, FIXED_CODE);
    return Codes(s);
}

int Dynamic(Inflater* s) {
    long nlen = Bits(s, 5), ndist = Bits(s, 5), ncode = Bits(s, 4);
    if (nlen < 0 || ndist < 0 || ncode < 0) return 0;
    nlen += 257;
    ndist += 1;
    ncode += 4;
    if (nlen > 286 || ndist > DIST_CODES) return 0;
    uint8_t lengths[LITLEN_CODES + DIST_CODES];
    memset(lengths, 0, 19);
    for (long i = 0; i < ncode; i++) {
        long v = Bits(s, 3);
        if (v < 0) return 0;
        lengths[kLengthOrder[i]] = (uint8_t)v;
    }
    if (!Build(&s->lit, lengths, 19, LENGTHS_CODE)) return 0;
    long i = 0;
    while (i < nlen + ndist) {
        int sym = Decode(s, &s->lit);
        if (sym < 0) return 0;
        if (sym < 16) {
            lengths[i++] = (uint8_t)sym;
            continue;
        }
        uint8_t value = 0;
        long repeat;
        if (sym == 16) {
            if (i == 0) return 0;
            value = lengths[i - 1];
            repeat = Bits(s, 2);
            repeat = repeat < 0 ? -1 : repeat + 3;
        } else if (sym == 17) {
            repeat = Bits(s, 3);
            repeat = repeat < 0 ? -1 : repeat + 3;
        } else {
            repeat = Bits(s, 7);
            repeat = repeat < 0 ? -1 : repeat + 11;
        }
        if (repeat < 0 || i + repeat > nlen + ndist) return 0;
        while (repeat--) lengths[i++] = value;
    }
    if (lengths[END_OF_BLOCK] == 0) return 0;  // a block that could never end
    if (!Build(&s->lit, lengths, (unsigned)nlen, STREAM_CODE)) return 0;
    if (!Build(&s->dist, lengths + nlen, (unsigned)ndist, STREAM_CODE)) return 0;
    return Codes(s);
}

// Eight tables of byte remainders, so that the check value takes eight bytes a step: it
// runs over every byte written, and one byte a step cost more than the inflating. Made at
// the first call rather than stored, which keeps 8 KB out of the library's file.
uint32_t CrcTable[8][256];
int CrcTableReady;

void MakeCrcTable(void) {
    for (uint32_t n = 0; n < 256; n++) {
        uint32_t c = n;
        for (int k = 0; k < 8; k++) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        CrcTable[0][n] = c;
    }
    for (uint32_t n = 0; n < 256; n++)
        for (int t = 1; t < 8; t++)
            CrcTable[t][n] = CrcTable[0][CrcTable[t - 1][n] & 0xFF] ^ (CrcTable[t - 1][n] >> 8);
    CrcTableReady = 1;
}

}  // namespace

int Inflate(InflateReadFn read, InflateWriteFn write, void* context, unsigned* unused) {
    Inflater* s = (Inflater*)malloc(sizeof(Inflater));
    if (!s) return INFLATE_NO_MEMORY;
    s->read = read;
    s->write = write;
    s->context = context;
    s->next = s->end = s->in;
    s->atEnd = 0;
    s->bits = 0;
    s->count = s->pad = 0;
    s->failure = 0;
    s->pos = s->flushed = 0;
    int ok, last;
    do {
        long head = Bits(s, 3);
        if (head < 0) {
            ok = 0;
            break;
        }
        last = (int)(head & 1);
        switch (head >> 1) {
        case 0: ok = Stored(s); break;
        case 1: ok = Fixed(s); break;
        case 2: ok = Dynamic(s); break;
        default: ok = 0; break;
        }
    } while (ok && !last);
    if (ok) ok = Flush(s);
    int status = s->failure ? s->failure : ok ? INFLATE_OK : INFLATE_BAD_DATA;
    if (unused) *unused = (unsigned)(s->end - s->next) + (s->count - s->pad) / 8;
    free(s);
    return status;
}

uint32_t ZipCrc32(uint32_t crc, const unsigned char* data, unsigned n) {
    if (!CrcTableReady) MakeCrcTable();
    const uint32_t(*t)[256] = CrcTable;
    crc = ~crc;
    for (; n >= 8; n -= 8, data += 8) {
        uint32_t a = crc ^ ((uint32_t)data[0] | (uint32_t)data[1] << 8 | (uint32_t)data[2] << 16 |
                            (uint32_t)data[3] << 24);
        uint32_t b = (uint32_t)data[4] | (uint32_t)data[5] << 8 | (uint32_t)data[6] << 16 |
                     (uint32_t)data[7] << 24;
        crc = t[7][a & 0xFF] ^ t[6][(a >> 8) & 0xFF] ^ t[5][(a >> 16) & 0xFF] ^ t[4][a >> 24] ^
              t[3][b & 0xFF] ^ t[2][(b >> 8) & 0xFF] ^ t[1][(b >> 16) & 0xFF] ^ t[0][b >> 24];
    }
    while (n--) crc = t[0][(crc ^ *data++) & 0xFF] ^ (crc >> 8);
    return ~crc;
}
