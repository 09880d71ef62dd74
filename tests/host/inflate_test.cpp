// The library's own inflater against zlib's deflate: every block kind and match distance
// zlib makes, output flushed across the window, and damaged streams refused.
#include <gtest/gtest.h>
#include <zlib.h>

#include <stdlib.h>

#include <algorithm>
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

// A writer of deflate streams of its own, so that the streams hold what no encoder makes:
// codes complete, incomplete, over-subscribed, empty or of one code, in the code-length code
// and in both codes of a block, symbols the code lacks, distances past the start, streams cut
// short. zlib's inflater is the judge of what a stream means.
struct BitWriter {
    Bytes out;
    uint32_t acc = 0;
    unsigned n = 0;
    void Put(uint32_t v, unsigned bits) {
        for (unsigned i = 0; i < bits; i++) {
            acc |= ((v >> i) & 1u) << n;
            if (++n == 8) {
                out.push_back((unsigned char)acc);
                acc = 0;
                n = 0;
            }
        }
    }
    // A Huffman code goes out first bit first, which is its most significant.
    void PutCode(uint32_t code, unsigned len) {
        for (unsigned i = len; i-- > 0;) Put((code >> i) & 1u, 1);
    }
    Bytes Done() {
        Bytes b = out;
        if (n) b.push_back((unsigned char)acc);
        return b;
    }
};

// Canonical codes from lengths, as every decoder assigns them; codes past a full code space
// (an over-subscribed set) wrap and are still written, the decoder refuses the set anyway.
std::vector<uint32_t> Canonical(const std::vector<uint8_t>& len) {
    unsigned count[16] = {}, next[16] = {};
    for (uint8_t l : len) count[l]++;
    count[0] = 0;
    uint32_t code = 0;
    for (unsigned b = 1; b < 16; b++) {
        code = (code + count[b - 1]) << 1;
        next[b] = code;
    }
    std::vector<uint32_t> codes(len.size());
    for (size_t i = 0; i < len.size(); i++)
        if (len[i]) codes[i] = next[len[i]]++ & ((1u << len[i]) - 1);
    return codes;
}

// Lengths for n symbols of which `used` get a code: a complete code made by splitting leaves,
// then spoiled as shape says.
std::vector<uint8_t> Lengths(std::mt19937& rng, unsigned n, unsigned used, unsigned most,
                             int shape) {
    std::vector<uint8_t> len(n, 0);
    if (used > n) used = n;
    std::vector<uint8_t> leaves = {0};
    while (leaves.size() < used) {
        size_t i = rng() % leaves.size();
        if (leaves[i] >= most) {
            bool any = false;
            for (uint8_t d : leaves) any = any || d < most;
            if (!any) break;
            continue;
        }
        uint8_t d = (uint8_t)(leaves[i] + 1);
        leaves[i] = d;
        leaves.push_back(d);
    }
    if (leaves.size() == 1) leaves[0] = 1;  // one code alone: one bit
    std::vector<unsigned> symbols(n);
    for (unsigned i = 0; i < n; i++) symbols[i] = i;
    std::shuffle(symbols.begin(), symbols.end(), rng);
    for (size_t i = 0; i < leaves.size() && i < n; i++) len[symbols[i]] = leaves[i];
    switch (shape) {
    case 1: {  // incomplete: one code dropped
        unsigned k = symbols[rng() % std::min<size_t>(leaves.size(), n)];
        len[k] = 0;
        break;
    }
    case 2: {  // incomplete: one code made longer
        unsigned k = symbols[rng() % std::min<size_t>(leaves.size(), n)];
        if (len[k] < most) len[k]++;
        break;
    }
    case 3: {  // over-subscribed: one more code, or one code made shorter
        unsigned k = symbols[rng() % n];
        if (!len[k]) len[k] = (uint8_t)(1 + rng() % most);
        else if (len[k] > 1) len[k]--;
        break;
    }
    case 4:  // anything
        for (auto& l : len) l = rng() % 3 ? 0 : (uint8_t)(rng() % (most + 1));
        break;
    }
    return len;
}

void PutSymbol(BitWriter& w, std::mt19937& rng, const std::vector<uint8_t>& len,
               const std::vector<uint32_t>& codes, unsigned symbol) {
    if (symbol < len.size() && len[symbol]) w.PutCode(codes[symbol], len[symbol]);
    else w.Put(rng(), 1 + rng() % 15);  // a symbol the code lacks: whatever bits
}

// One block of dynamic codes.
void DynamicBlock(BitWriter& w, std::mt19937& rng, bool last, unsigned& made) {
    w.Put(last, 1);
    w.Put(2, 2);
    unsigned nlen = 257 + rng() % 30, ndist = 1 + rng() % 30,
             ncode = rng() % 2 ? 19 : 4 + rng() % 16;
    if (rng() % 16 == 0) nlen = 257 + 29 + rng() % 3;  // too many: 287, 288
    static const uint8_t order[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                      11, 4,  12, 3, 13, 2, 14, 1, 15};
    int shapes[3];
    for (int& sh : shapes) sh = rng() % 5 ? 0 : 1 + rng() % 4;
    // The code-length code: what the lengths to send need, in the slots the count sends.
    std::vector<uint8_t> litLen =
        Lengths(rng, std::min(nlen, 286u), 2 + rng() % std::min(nlen, 286u), 15, shapes[1]);
    litLen.resize(nlen, 0);
    // Mostly with an end of block: its length taken from another symbol's.
    if (rng() % 8 && !litLen[256])
        for (unsigned i = 0; i < 256; i++)
            if (litLen[i]) {
                std::swap(litLen[i], litLen[256]);
                break;
            }
    std::vector<uint8_t> distLen;
    unsigned distUsed = rng() % 8 == 0 ? rng() % 2 : 1 + rng() % ndist;
    distLen =
        distUsed ? Lengths(rng, ndist, distUsed, 15, shapes[2]) : std::vector<uint8_t>(ndist, 0);
    std::vector<uint8_t> all = litLen;
    all.insert(all.end(), distLen.begin(), distLen.end());
    std::vector<uint8_t> clen(19, 0);
    {
        std::vector<unsigned> need;
        for (uint8_t l : all)
            if (std::find(need.begin(), need.end(), l) == need.end()) need.push_back(l);
        // A code-length code of one code is refused whatever it holds: give it two. The run
        // of zeros too, maybe.
        if (need.size() == 1) need.push_back(need[0] ? 0 : 1);
        if (rng() % 4 == 0 && std::find(need.begin(), need.end(), 0u) != need.end())
            need.push_back(17);
        // Mostly as many slots as the lengths need; the others get no code.
        if (rng() % 8) {
            ncode = 4;
            for (unsigned i = 0; i < 19; i++)
                if (std::find(need.begin(), need.end(), order[i]) != need.end())
                    ncode = std::max(ncode, i + 1);
        }
        std::vector<unsigned> slots;
        for (unsigned i = 0; i < ncode; i++) slots.push_back(order[i]);
        std::vector<uint8_t> lengths =
            Lengths(rng, (unsigned)need.size(), (unsigned)need.size(), 7, shapes[0]);
        for (size_t i = 0; i < need.size(); i++)
            if (std::find(slots.begin(), slots.end(), need[i]) != slots.end())
                clen[need[i]] = lengths[i];
    }
    w.Put(nlen - 257, 5);
    w.Put(ndist - 1, 5);
    w.Put(ncode - 4, 4);
    for (unsigned i = 0; i < ncode; i++) w.Put(clen[order[i]], 3);
    std::vector<uint32_t> ccodes = Canonical(clen);
    for (size_t i = 0; i < all.size(); i++) {
        if (clen[0] && clen[17] && all[i] == 0 && rng() % 3 == 0) {  // a run of zeros
            unsigned run = 3;
            while (run < 10 && i + run < all.size() && all[i + run] == 0) run++;
            if (run > 3 || (i + 2 < all.size() && all[i + 1] == 0 && all[i + 2] == 0)) {
                w.PutCode(ccodes[17], clen[17]);
                w.Put(run - 3, 3);
                i += run - 1;
                continue;
            }
        }
        PutSymbol(w, rng, clen, ccodes, all[i]);
    }
    std::vector<uint32_t> lcodes = Canonical(litLen), dcodes = Canonical(distLen);
    // The data: literals, matches at distances near the output so far, maybe a symbol the
    // code lacks, then the end of the block.
    unsigned symbols = rng() % 40;
    static const unsigned distBase[30] = {
        1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
        193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    for (unsigned k = 0; k < symbols; k++) {
        // Mostly symbols the code has, and distances within what was made so far.
        unsigned sym = rng() % nlen;
        if (rng() % 16) {
            std::vector<unsigned> have;
            for (unsigned i = 0; i < nlen; i++)
                if (litLen[i] && i != 256) have.push_back(i);
            if (!have.empty()) sym = have[rng() % have.size()];
        }
        if (sym == 256) continue;
        PutSymbol(w, rng, litLen, lcodes, sym);
        if (sym < 256) {
            made++;
            continue;
        }
        w.Put(rng(), sym < 265 || sym == 285 ? 0 : (sym - 261) / 4);
        unsigned d = rng() % ndist;
        if (rng() % 16) {
            std::vector<unsigned> have;
            for (unsigned i = 0; i < ndist; i++)
                if (distLen[i] && distBase[i] <= made) have.push_back(i);
            if (!have.empty()) d = have[rng() % have.size()];
        }
        PutSymbol(w, rng, distLen, dcodes, d);
        w.Put(rng() % 4 ? 0 : rng(), d < 4 ? 0 : (d - 2) / 2);
        made += 3;
    }
    PutSymbol(w, rng, litLen, lcodes, 256);
}

// A fixed block: any symbol, the two the code has but no stream may use included.
void FixedBlock(BitWriter& w, std::mt19937& rng, bool last) {
    w.Put(last, 1);
    w.Put(1, 2);
    std::vector<uint8_t> len(288);
    for (unsigned i = 0; i < 288; i++) len[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    std::vector<uint32_t> codes = Canonical(len);
    unsigned symbols = rng() % 30;
    for (unsigned k = 0; k < symbols; k++) {
        unsigned sym = rng() % 8 == 0 ? 257 + rng() % 31 : rng() % 256;
        if (sym == 256) continue;
        w.PutCode(codes[sym], len[sym]);
        if (sym > 256) {
            w.Put(rng(), sym < 265 || sym >= 285 ? 0 : (sym - 261) / 4);
            unsigned d = rng() % 16 == 0 ? 30 + rng() % 2 : rng() % 6;
            w.PutCode(d, 5);
            w.Put(rng(), d < 4 || d >= 30 ? 0 : (d - 2) / 2);
        }
    }
    w.PutCode(codes[256], 7);
}

Bytes Generated(unsigned seed) {
    std::mt19937 rng(seed);
    BitWriter w;
    unsigned blocks = 1 + rng() % 3, made = 0;
    for (unsigned b = 0; b < blocks; b++) {
        bool last = b + 1 == blocks;
        if (rng() % 4 == 0) FixedBlock(w, rng, last);
        else DynamicBlock(w, rng, last, made);
    }
    Bytes stream = w.Done();
    if (rng() % 16 == 0 && !stream.empty()) stream.resize(rng() % stream.size());  // cut short
    stream.push_back((unsigned char)rng());  // what follows the stream in a file
    return stream;
}

// zlib's reading of a raw stream: 1 with its output when it reached the stream's end.
int ZlibInflate(const Bytes& stream, Bytes* out) {
    z_stream z = {};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return 0;
    z.next_in = (Bytef*)stream.data();
    z.avail_in = (uInt)stream.size();
    out->clear();
    int r;
    do {
        unsigned char buffer[4096];
        z.next_out = buffer;
        z.avail_out = sizeof buffer;
        r = inflate(&z, Z_NO_FLUSH);
        out->insert(out->end(), buffer, buffer + (sizeof buffer - z.avail_out));
    } while (r == Z_OK && z.avail_in > 0);
    inflateEnd(&z);
    return r == Z_STREAM_END;
}

struct Agreement {
    unsigned long streams = 0, decoded = 0, refused = 0, disagreed = 0;
};

Agreement CompareWithZlib(unsigned long count, unsigned seed) {
    Agreement a;
    for (unsigned long i = 0; i < count; i++) {
        Bytes stream = Generated(seed + (unsigned)i), ours, theirs;
        int zlibOk = ZlibInflate(stream, &theirs);
        int r = InflateAll(stream, &ours, nullptr, 1 + (unsigned)(i % 97));
        a.streams++;
        if ((r == INFLATE_OK) != (zlibOk == 1) || (zlibOk && ours != theirs)) {
            if (a.disagreed++ < 5)
                ADD_FAILURE() << "stream " << i << " (seed " << seed + i << "): ours " << r
                              << ", zlib " << (zlibOk ? "decodes" : "refuses");
            continue;
        }
        ++(zlibOk ? a.decoded : a.refused);
    }
    return a;
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

// Streams of every code shape, judged by zlib: what zlib refuses is refused, what it decodes
// decodes to the same bytes. KOV_INFLATE_STREAMS sets the count (bench/inflate-zlib.sh runs
// hundreds of thousands; make test a few thousand).
TEST(Inflate, AgreesWithZlibOnEveryCodeShape) {
    unsigned long count = 4000;
    if (const char* n = getenv("KOV_INFLATE_STREAMS")) count = strtoul(n, nullptr, 10);
    unsigned seed = 20261211;
    if (const char* n = getenv("KOV_INFLATE_SEED")) seed = (unsigned)strtoul(n, nullptr, 10);
    Agreement a = CompareWithZlib(count, seed);
    EXPECT_EQ(a.disagreed, 0u);
    // The writer must reach both sides: a test of only refusals would prove nothing.
    EXPECT_GT(a.decoded, count / 20);
    EXPECT_GT(a.refused, count / 20);
    printf("inflate against zlib: %lu streams, %lu decoded alike, %lu refused alike, %lu "
           "disagreements\n",
           a.streams, a.decoded, a.refused, a.disagreed);
}

// The shapes the code used to take and zlib refuses, one of each, written bit by bit.
TEST(Inflate, RefusesIncompleteCodesAsZlibDoes) {
    // One dynamic block of 257 literal/length and ndist distance lengths sent through the
    // code-length code clen, then "AAAA" and the end of the block; no match, so the distance
    // code is built and never used.
    auto block = [](const std::vector<uint8_t>& clen, const std::vector<uint8_t>& lengths,
                    unsigned ndist) {
        BitWriter w;
        w.Put(1, 1);
        w.Put(2, 2);
        w.Put(0, 5);  // 257 lit/len lengths
        w.Put(ndist - 1, 5);
        w.Put(19 - 4, 4);
        static const uint8_t order[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                          11, 4,  12, 3, 13, 2, 14, 1, 15};
        for (unsigned i = 0; i < 19; i++) w.Put(clen[order[i]], 3);
        std::vector<uint32_t> ccodes = Canonical(clen);
        for (uint8_t l : lengths) w.PutCode(ccodes[l], clen[l]);
        std::vector<uint8_t> lit(lengths.begin(), lengths.begin() + 257);
        std::vector<uint32_t> codes = Canonical(lit);
        for (int k = 0; k < 4; k++) w.PutCode(codes['A'], lit['A']);
        w.PutCode(codes[256], lit[256]);
        return w.Done();
    };
    std::vector<uint8_t> twoBits(19, 0);
    twoBits[0] = 1, twoBits[1] = 2, twoBits[2] = 2;  // complete: lengths 0, 1 and 2 sendable
    auto lengths = [](std::vector<std::pair<unsigned, uint8_t>> set, unsigned ndist) {
        std::vector<uint8_t> l(257 + ndist, 0);
        for (auto& p : set) l[p.first] = p.second;
        return l;
    };
    struct Case {
        const char* what;
        Bytes stream;
        bool zlibDecodes;
    } cases[] = {
        {"complete codes", block(twoBits, lengths({{'A', 1}, {256, 1}, {257, 1}, {258, 1}}, 2), 2),
         true},
        {"incomplete literal/length code",
         block(twoBits, lengths({{'A', 1}, {256, 2}, {257, 1}, {258, 1}}, 2), 2), false},
        {"incomplete distance code",
         block(twoBits, lengths({{'A', 1}, {256, 1}, {257, 2}, {258, 1}}, 2), 2), false},
        {"one distance code of one bit",
         block(twoBits, lengths({{'A', 1}, {256, 1}, {257, 1}}, 1), 1), true},
        {"no distance code", block(twoBits, lengths({{'A', 1}, {256, 1}}, 1), 1), true},
        {"incomplete code-length code",
         block(
             [] {
                 std::vector<uint8_t> c(19, 0);
                 c[0] = 2;
                 c[1] = 2;
                 c[2] = 2;
                 return c;
             }(),
             lengths({{'A', 1}, {256, 1}, {257, 1}, {258, 1}}, 2), 2),
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes theirs, ours;
        ASSERT_EQ(ZlibInflate(c.stream, &theirs), c.zlibDecodes ? 1 : 0);
        EXPECT_EQ(InflateAll(c.stream, &ours, nullptr),
                  c.zlibDecodes ? INFLATE_OK : INFLATE_BAD_DATA);
        if (c.zlibDecodes) {
            EXPECT_EQ(ours, theirs);
            EXPECT_EQ(std::string(ours.begin(), ours.end()), "AAAA");
        }
    }
}

}  // namespace
