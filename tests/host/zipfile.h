// Single-member zip archives as the package builder writes them (deflate, central
// directory at the end), with knobs for the damaged and hostile variants.
#pragma once
#include <zlib.h>
#include <string>

struct ZipKnobs {
    bool descriptor = false;  // sizes after the data (then 0 in the local header)
    long headerSize = 0;      // added to the size in the local header
    long descriptorSize = 0;  // added to the size the descriptor gives
    long centralSize = 0;     // added to the size the central directory gives
    bool flipData = false;    // damages the check value
};

inline void ZipPut16(std::string& s, unsigned v) {
    s += (char)(v & 255);
    s += (char)(v >> 8 & 255);
}
inline void ZipPut32(std::string& s, unsigned long v) {
    ZipPut16(s, v & 0xFFFF);
    ZipPut16(s, v >> 16 & 0xFFFF);
}

inline std::string ZipDeflate(const std::string& data) {
    z_stream z = {};
    deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, data.size()) + 16, '\0');
    z.next_in = (Bytef*)data.data();
    z.avail_in = (uInt)data.size();
    z.next_out = (Bytef*)&out[0];
    z.avail_out = (uInt)out.size();
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

inline std::string MakeZip(const std::string& name, const std::string& data, ZipKnobs k = {}) {
    std::string packed = ZipDeflate(data);
    unsigned long crc = crc32(0, (const Bytef*)data.data(), (uInt)data.size());
    if (k.flipData) crc ^= 1;
    unsigned long size = data.size();
    std::string z;
    ZipPut32(z, 0x04034B50);
    ZipPut16(z, 20);
    ZipPut16(z, k.descriptor ? 8 : 0);
    ZipPut16(z, 8);
    ZipPut32(z, 0);
    ZipPut32(z, k.descriptor ? 0 : crc);
    ZipPut32(z, k.descriptor ? 0 : packed.size());
    ZipPut32(z, k.descriptor ? 0 : size + k.headerSize);
    ZipPut16(z, name.size());
    ZipPut16(z, 0);
    z += name + packed;
    if (k.descriptor) {
        ZipPut32(z, 0x08074B50);
        ZipPut32(z, crc);
        ZipPut32(z, packed.size());
        ZipPut32(z, size + k.descriptorSize);
    }
    size_t at = z.size();
    std::string c;
    ZipPut32(c, 0x02014B50);
    ZipPut16(c, 20);
    ZipPut16(c, 20);
    ZipPut16(c, k.descriptor ? 8 : 0);
    ZipPut16(c, 8);
    ZipPut32(c, 0);
    ZipPut32(c, crc);
    ZipPut32(c, packed.size());
    ZipPut32(c, size + k.headerSize + k.centralSize);
    ZipPut16(c, name.size());
    for (int i = 0; i < 4; i++) ZipPut16(c, 0);
    ZipPut32(c, 0);
    ZipPut32(c, 0);
    c += name;
    z += c;
    ZipPut32(z, 0x06054B50);
    ZipPut32(z, 0);
    ZipPut16(z, 1);
    ZipPut16(z, 1);
    ZipPut32(z, c.size());
    ZipPut32(z, at);
    ZipPut16(z, 0);
    return z;
}

// A member of `bytes` zeros deflated in a stream (the data never sits in memory whole),
// whose local header and central directory both declare `declared` bytes; with descriptor,
// the sizes follow the data and the descriptor declares `declared` too.
inline std::string MakeZeroBomb(const std::string& name, unsigned long bytes,
                                unsigned long declared, bool descriptor = false) {
    z_stream z = {};
    deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string zeros(1 << 20, '\0'), packed, chunk(1 << 16, '\0');
    unsigned long crc = crc32(0, Z_NULL, 0);
    for (unsigned long left = bytes;;) {
        unsigned long n = left < zeros.size() ? left : zeros.size();
        crc = crc32(crc, (const Bytef*)zeros.data(), (uInt)n);
        left -= n;
        z.next_in = (Bytef*)zeros.data();
        z.avail_in = (uInt)n;
        int flush = left ? Z_NO_FLUSH : Z_FINISH;
        do {
            z.next_out = (Bytef*)&chunk[0];
            z.avail_out = (uInt)chunk.size();
            deflate(&z, flush);
            packed.append(chunk, 0, chunk.size() - z.avail_out);
        } while (z.avail_out == 0);
        if (!left) break;
    }
    deflateEnd(&z);
    std::string zip;
    ZipPut32(zip, 0x04034B50);
    ZipPut16(zip, 20);
    ZipPut16(zip, descriptor ? 8 : 0);
    ZipPut16(zip, 8);
    ZipPut32(zip, 0);
    ZipPut32(zip, descriptor ? 0 : crc);
    ZipPut32(zip, descriptor ? 0 : packed.size());
    ZipPut32(zip, descriptor ? 0 : declared);
    ZipPut16(zip, name.size());
    ZipPut16(zip, 0);
    zip += name + packed;
    if (descriptor) {
        ZipPut32(zip, 0x08074B50);
        ZipPut32(zip, crc);
        ZipPut32(zip, packed.size());
        ZipPut32(zip, declared);
    }
    size_t at = zip.size();
    std::string c;
    ZipPut32(c, 0x02014B50);
    ZipPut16(c, 20);
    ZipPut16(c, 20);
    ZipPut16(c, descriptor ? 8 : 0);
    ZipPut16(c, 8);
    ZipPut32(c, 0);
    ZipPut32(c, crc);
    ZipPut32(c, packed.size());
    ZipPut32(c, declared);
    ZipPut16(c, name.size());
    for (int i = 0; i < 4; i++) ZipPut16(c, 0);
    ZipPut32(c, 0);
    ZipPut32(c, 0);
    c += name;
    zip += c;
    ZipPut32(zip, 0x06054B50);
    ZipPut32(zip, 0);
    ZipPut16(zip, 1);
    ZipPut16(zip, 1);
    ZipPut32(zip, c.size());
    ZipPut32(zip, at);
    ZipPut16(zip, 0);
    return zip;
}
