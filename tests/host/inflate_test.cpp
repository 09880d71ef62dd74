// The library's own inflater against zlib's deflate: every block kind and match distance
// zlib makes, output flushed across the window, and damaged streams refused.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "dunzip/inflate.h"

namespace {

typedef std::vector<unsigned char> Bytes;

Bytes Deflate(const Bytes& data, int level, int strategy) {
    z_stream z = {};
    EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, strategy), Z_OK);
    Bytes out(deflateBound(&z, data.size()) + 16);
    z.next_in = (Bytef*)data.data();
    z.avail_in = (uInt)data.size();
    z.next_out = out.data();
    z.avail_out = (uInt)out.size();
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// The stream comes in reads of an odd size, so that codes and stored blocks straddle them.
struct Source {
    const Bytes* in;
    size_t at;
    unsigned step;
    Bytes out;
    int writeStatus;
};

long ReadSome(void* c, unsigned char* buffer, unsigned size) {
    Source* s = (Source*)c;
    size_t n = s->in->size() - s->at;
    if (n > size) n = size;
    if (n > s->step) n = s->step;
    if (n) memcpy(buffer, s->in->data() + s->at, n);
    s->at += n;
    return (long)n;
}

int Keep(void* c, const unsigned char* data, unsigned n) {
    Source* s = (Source*)c;
    EXPECT_LE(n, 65536u + 258u);
    s->out.insert(s->out.end(), data, data + n);
    return s->writeStatus;
}

int InflateAll(const Bytes& stream, Bytes* out, unsigned* unused, unsigned step = 1000) {
    Source s = {&stream, 0, step, {}, 0};
    int r = Inflate(ReadSome, Keep, &s, unused);
    if (out) *out = s.out;
    return r;
}

Bytes Make(const char* kind, size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes d(size);
    std::string k = kind;
    for (size_t i = 0; i < size; i++) {
        if (k == "random") d[i] = (unsigned char)rng();
        else if (k == "zeros") d[i] = 0;
        else if (k == "text")
            d[i] = "le modem et le courrier de votre service "[i * 7 % 41 + (rng() % 3 == 0)];
        // Repeats from far back: distances up to the whole window, lengths up to 258.
        else if (k == "far" && i > 40000 && rng() % 4) d[i] = d[i - 32768 + rng() % 3];
        else d[i] = (unsigned char)(rng() % 7);
    }
    return d;
}

TEST(Inflate, DecodesWhatZlibMakes) {
    struct Case {
        const char* kind;
        size_t size;
        int level;
        int strategy;
    } cases[] = {
        {"text", 0, 6, Z_DEFAULT_STRATEGY},
        {"text", 1, 6, Z_DEFAULT_STRATEGY},
        {"random", 200000, 0, Z_DEFAULT_STRATEGY},  // stored blocks
        {"random", 100000, 6, Z_DEFAULT_STRATEGY},  // stored within a compressed stream
        {"text", 300000, 1, Z_DEFAULT_STRATEGY},
        {"text", 300000, 9, Z_DEFAULT_STRATEGY},
        {"small", 300000, 6, Z_FIXED},
        {"small", 300000, 6, Z_HUFFMAN_ONLY},
        {"zeros", 1000000, 6, Z_RLE},
        {"far", 500000, 9, Z_DEFAULT_STRATEGY},
        {"far", 500000, 6, Z_FILTERED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + " " + std::to_string(c.size) + " level " +
                     std::to_string(c.level) + " strategy " + std::to_string(c.strategy));
        Bytes data = Make(c.kind, c.size, 7), out;
        Bytes stream = Deflate(data, c.level, c.strategy);
        unsigned unused = 99;
        ASSERT_EQ(InflateAll(stream, &out, &unused, 997), INFLATE_OK);
        EXPECT_TRUE(out == data);
        EXPECT_EQ(unused, 0u);
        EXPECT_EQ(ZipCrc32(0, out.data(), (unsigned)out.size()),
                  (uint32_t)crc32(0, data.data(), (uInt)data.size()));
    }
}

TEST(Inflate, TellsWhatFollowsTheStream) {
    Bytes data = Make("text", 5000, 3);
    Bytes stream = Deflate(data, 6, Z_DEFAULT_STRATEGY);
    const size_t end = stream.size(), tail = 16;  // a data descriptor, say
    stream.insert(stream.end(), tail, 0xAB);
    // Whatever the reads' size, unused is what was read beyond the stream's last byte.
    for (unsigned step : {1u, 3u, 64u, 1000u, 1u << 20}) {
        SCOPED_TRACE(step);
        Source s = {&stream, 0, step, {}, 0};
        unsigned unused = 999;
        ASSERT_EQ(Inflate(ReadSome, Keep, &s, &unused), INFLATE_OK);
        EXPECT_TRUE(s.out == data);
        EXPECT_EQ(unused, s.at - end);
    }
}

TEST(Inflate, RefusesDamagedStreams) {
    Bytes data = Make("far", 45000, 5);
    Bytes stream = Deflate(data, 9, Z_DEFAULT_STRATEGY);
    // Cut anywhere: never success, never more output than the data.
    for (size_t cut = 0; cut < stream.size(); cut += 1 + cut / 16) {
        Bytes part(stream.begin(), stream.begin() + cut), out;
        EXPECT_EQ(InflateAll(part, &out, nullptr), INFLATE_BAD_DATA) << "cut at " << cut;
        EXPECT_LE(out.size(), data.size());
    }
    struct Case {
        const char* what;
        Bytes stream;
    } cases[] = {
        {"block type 3", {0x07}},
        {"stored length check wrong", {0x01, 0x05, 0x00, 0xFA, 0xEE, 'a', 'b', 'c', 'd', 'e'}},
        // Fixed block: literal 'a', then a match of length 3 at distance 2 with 1 byte made.
        {"distance before the start", {0x4B, 0x04, 0x42, 0x00}},
        // Dynamic block whose code-length code has four codes of one bit.
        {"over-subscribed code", {0x05, 0x00, 0x92, 0x04, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(InflateAll(c.stream, nullptr, nullptr), INFLATE_BAD_DATA);
    }
    // Flipped bits: refused or decoded to something, never a crash (the sanitizers watch).
    for (size_t i = 0; i < stream.size(); i += 61) {
        Bytes bad = stream;
        bad[i] ^= (unsigned char)(1u << (i % 8));
        InflateAll(bad, nullptr, nullptr);
    }
}

TEST(Inflate, WriteFailureStopsWithItsStatus) {
    Bytes data = Make("text", 200000, 1);
    Bytes stream = Deflate(data, 6, Z_DEFAULT_STRATEGY);
    Source s = {&stream, 0, 4096, {}, 28};
    EXPECT_EQ(Inflate(ReadSome, Keep, &s, nullptr), 28);
    EXPECT_LE(s.out.size(), 65536u + 258u);  // stopped at the first write
}

TEST(Inflate, CheckValueAsZlibForAnyLengthAndSplit) {
    Bytes data = Make("random", 40, 9);
    for (unsigned n = 0; n <= data.size(); n++) {
        uint32_t want = (uint32_t)crc32(0, data.data(), n);
        for (unsigned split = 0; split <= n; split += 3) {
            uint32_t crc =
                ZipCrc32(ZipCrc32(0, data.data(), split), data.data() + split, n - split);
            EXPECT_EQ(crc, want) << n << " split at " << split;
        }
    }
}

}  // namespace
