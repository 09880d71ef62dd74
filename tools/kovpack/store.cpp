// Stores every file of the package: the plain entries copied as they are, every other one as
// a zip archive of one deflated member. Files up to the whole-file limit are compressed whole on every
// core, with zlib and with libdeflate, keeping the smaller stream; larger files are deflated
// in streamed chunks by the writer itself, so memory stays bounded whatever the file size.
#include "tools/kovpack/kovpack.h"
#include "tools/common/codepage.h"
#include "base/bytes.h"
#include <errno.h>
#include <libdeflate.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <zlib.h>
#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// Input bytes of files being compressed or waiting to be written, beyond the one the
// writer waits for, as a multiple of the whole-file limit: what bounds the memory of the
// workers running ahead.
const uint64_t kInFlightLimits = 3;
const size_t kChunk = 1u << 20;
// The central directory comment of the sealed entry: this text, then the script's CRC-32 in
// eight hex digits, patched in once the script is final.
const char kSealText[] = "kovpack script crc32 ";

void DosTime(time_t mtime, unsigned* time, unsigned* date) {
    struct tm t;
    localtime_r(&mtime, &t);
    if (t.tm_year < 80)
        t.tm_year = 80, t.tm_mon = 0, t.tm_mday = 1, t.tm_hour = t.tm_min = t.tm_sec = 0;
    if (t.tm_year > 207)  // the last year a zip date holds
        t.tm_year = 207, t.tm_mon = 11, t.tm_mday = 31, t.tm_hour = 23, t.tm_min = 59,
        t.tm_sec = 58;
    *time = (unsigned)(t.tm_hour << 11 | t.tm_min << 5 | t.tm_sec / 2);
    *date = (unsigned)((t.tm_year - 80) << 9 | (t.tm_mon + 1) << 5 | t.tm_mday);
}

std::string LocalHeader(const EntrySource& e, uint32_t crc, uint32_t packed) {
    unsigned dosTime, dosDate;
    DosTime(e.mtime, &dosTime, &dosDate);
    std::string z;
    Put32(z, 0x04034b50), Put16(z, 20), Put16(z, 0), Put16(z, 8);
    Put16(z, dosTime), Put16(z, dosDate), Put32(z, crc);
    Put32(z, packed), Put32(z, (uint32_t)e.size);
    Put16(z, (unsigned)e.bare.size()), Put16(z, 0);
    return z + e.bare;
}

// The central directory and end record after `local` bytes of header and data.
std::string Tail(const EntrySource& e, uint32_t crc, uint32_t packed, uint64_t local) {
    unsigned dosTime, dosDate;
    DosTime(e.mtime, &dosTime, &dosDate);
    std::string comment = e.sealed ? std::string(kSealText) + "00000000" : "";
    std::string z;
    Put32(z, 0x02014b50), Put16(z, 20), Put16(z, 20), Put16(z, 0), Put16(z, 8);
    Put16(z, dosTime), Put16(z, dosDate), Put32(z, crc);
    Put32(z, packed), Put32(z, (uint32_t)e.size);
    Put16(z, (unsigned)e.bare.size()), Put16(z, 0), Put16(z, (unsigned)comment.size());
    Put16(z, 0), Put16(z, 0), Put32(z, 0x20), Put32(z, 0);
    z += e.bare + comment;
    uint32_t centralSize = (uint32_t)z.size();
    Put32(z, 0x06054b50), Put16(z, 0), Put16(z, 0), Put16(z, 1), Put16(z, 1);
    Put32(z, centralSize), Put32(z, (uint32_t)local), Put16(z, 0);
    return z;
}

// Where the seal's hex digits sit, counted back from the end of the archive.
const uint64_t kSealFromEnd = 22 + 8;

uint32_t Crc(uint32_t crc, const char* p, size_t n) {
    while (n) {
        uInt part = n > 0x40000000 ? 0x40000000 : (uInt)n;
        crc = (uint32_t)crc32(crc, (const Bytef*)p, part);
        p += part, n -= part;
    }
    return crc;
}

struct ReadError {
    std::string what;
};

FILE* OpenSource(const EntrySource& e) {
    FILE* f = fopen(e.path.c_str(), "rb");
    if (!f) throw ReadError{"cannot read " + e.path + ": " + strerror(errno)};
    return f;
}

// Reads the whole file; it must still have the size it had when the sizes were checked.
std::string ReadWhole(const EntrySource& e) {
    FILE* f = OpenSource(e);
    std::string data((size_t)e.size, '\0');
    size_t got = data.empty() ? 0 : fread(&data[0], 1, data.size(), f);
    bool more = fgetc(f) != EOF, bad = ferror(f);
    fclose(f);
    if (bad) throw ReadError{"cannot read " + e.path + ": " + strerror(errno)};
    if (got != data.size() || more) throw ReadError{e.path + " changed size while being read"};
    return data;
}

// zlib at the given level, in one call over the whole buffer.
std::string ZlibDeflate(const std::string& data, int level) {
    z_stream z = {};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw ReadError{"deflate cannot start"};
    std::string packed(deflateBound(&z, (uLong)data.size()), '\0');
    z.next_in = (Bytef*)data.data();
    z.avail_in = (uInt)data.size();
    z.next_out = (Bytef*)&packed[0];
    z.avail_out = (uInt)packed.size();
    int r = deflate(&z, Z_FINISH);
    packed.resize(z.total_out);
    deflateEnd(&z);
    if (r != Z_STREAM_END) throw ReadError{"deflate failed"};
    return packed;
}

// libdeflate's raw deflate at the given level; empty when it cannot run.
std::string LibDeflate(const std::string& data, int level) {
    libdeflate_compressor* c = libdeflate_alloc_compressor(level);
    if (!c) return "";
    std::string packed(libdeflate_deflate_compress_bound(c, data.size()), '\0');
    size_t n = libdeflate_deflate_compress(c, data.data(), data.size(), &packed[0], packed.size());
    libdeflate_free_compressor(c);
    packed.resize(n);
    return packed;
}

// One whole-file entry: the archive bytes, ready to write.
std::string StoreWhole(const EntrySource& e, const BuildOptions& o) {
    std::string data = ReadWhole(e);
    if (e.plain) return data;
    uint32_t crc = Crc(0, data.data(), data.size());
    // libdeflate's stream alone, unless it cannot run or both encoders are asked for: at its
    // levels from 8 up it beats zlib's level 9 on nearly every file, in less time.
    std::string packed = o.bestLevel ? LibDeflate(data, o.bestLevel) : "";
    if (packed.empty() || o.bothEncoders) {
        std::string other = ZlibDeflate(data, o.level);
        if (packed.empty() || other.size() < packed.size()) packed.swap(other);
    }
    data = std::string();
    std::string header = LocalHeader(e, crc, (uint32_t)packed.size());
    return header + packed + Tail(e, crc, (uint32_t)packed.size(), header.size() + packed.size());
}

// The work shared by the writer and the workers: whole-file entries compressed ahead, in
// table order, within the in-flight budget.
struct Pipeline {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<size_t> jobs;  // indices of whole-file entries, in table order
    size_t next = 0;           // the next job to start
    size_t wanted = 0;         // the job the writer waits for
    uint64_t inFlight = 0;
    bool stop = false;
    std::vector<std::unique_ptr<std::string>> result;
    std::vector<std::string> error;
    std::vector<char> done;
};

void Worker(Pipeline* p, const std::vector<EntrySource>* sources, const BuildOptions* o) {
    std::unique_lock<std::mutex> hold(p->lock);
    for (;;) {
        p->changed.wait(hold, [&] {
            if (p->stop || p->next >= p->jobs.size()) return true;
            uint64_t size = (*sources)[p->jobs[p->next]].size;
            return p->next == p->wanted ||
                   p->inFlight + size <= kInFlightLimits * ((uint64_t)o->streamAboveMb << 20);
        });
        if (p->stop || p->next >= p->jobs.size()) return;
        size_t job = p->next++;
        const EntrySource& e = (*sources)[p->jobs[job]];
        p->inFlight += e.size;
        hold.unlock();
        std::unique_ptr<std::string> bytes;
        std::string error;
        try {
            bytes.reset(new std::string(StoreWhole(e, *o)));
        } catch (const ReadError& r) {
            error = r.what;
        } catch (const std::bad_alloc&) {
            error = "out of memory compressing " + e.path;
        }
        hold.lock();
        p->result[job] = std::move(bytes);
        p->error[job] = error;
        p->done[job] = 1;
        p->changed.notify_all();
    }
}

}  // namespace

void StoreEntries(FILE* out, const std::string& outPath, const std::vector<EntrySource>& sources,
                  const BuildOptions& o, const StoreReport& report, std::vector<uint32_t>* stored,
                  uint64_t* sealAt) {
    auto position = [&]() -> uint64_t {
        off_t at = ftello(out);
        if (at < 0) throw BuildError{"cannot tell the position in " + outPath};
        return (uint64_t)at;
    };
    auto write = [&](const char* p, size_t n) {
        if (n && fwrite(p, 1, n, out) != n)
            throw BuildError{"cannot write " + outPath + ": " + strerror(errno)};
    };
    auto fail = [&](const EntrySource& e, const std::string& what) -> BuildError {
        return BuildError{report.description + ":" + std::to_string(e.line) + ": " + e.entry +
                          ": " + what};
    };

    const uint64_t wholeLimit = (uint64_t)o.streamAboveMb << 20;
    Pipeline p;
    for (size_t i = 0; i < sources.size(); i++)
        if (sources[i].size <= wholeLimit) p.jobs.push_back(i);
    p.result.resize(p.jobs.size());
    p.error.resize(p.jobs.size());
    p.done.resize(p.jobs.size());
    unsigned threads = o.jobs ? o.jobs : std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::thread> workers;
    struct Join {
        Pipeline& p;
        std::vector<std::thread>& w;
        ~Join() {
            {
                std::lock_guard<std::mutex> hold(p.lock);
                p.stop = true;
            }
            p.changed.notify_all();
            for (auto& t : w) t.join();
        }
    } join{p, workers};
    for (unsigned t = 0; t < threads && t < p.jobs.size(); t++)
        workers.emplace_back(Worker, &p, &sources, &o);

    uint64_t read = 0;
    time_t lastReport = time(nullptr);
    auto progress = [&](size_t index, uint64_t within) {
        time_t now = time(nullptr);
        if (o.quiet || now - lastReport < 2) return;
        lastReport = now;
        const EntrySource& e = sources[index];
        fprintf(stderr, "kovpack: %zu of %zu files, %llu of %llu MB", index + 1, sources.size(),
                (unsigned long long)((read + within) >> 20),
                (unsigned long long)(report.totalBytes >> 20));
        if (e.size > wholeLimit)
            fprintf(stderr, " (%s: %llu of %llu MB)",
                    (LocaleIsUtf8() ? Cp1252ToUtf8(e.entry) : e.entry).c_str(),
                    (unsigned long long)(within >> 20), (unsigned long long)(e.size >> 20));
        fputc('\n', stderr);
    };

    size_t job = 0;
    *sealAt = 0;
    for (size_t i = 0; i < sources.size(); i++) {
        const EntrySource& e = sources[i];
        uint64_t start = position();
        if (e.size <= wholeLimit) {
            std::unique_ptr<std::string> bytes;
            {
                std::unique_lock<std::mutex> hold(p.lock);
                p.wanted = job;
                p.changed.notify_all();
                p.changed.wait(hold, [&] { return (bool)p.done[job]; });
                if (!p.error[job].empty()) throw fail(e, p.error[job]);
                bytes = std::move(p.result[job]);
            }
            write(bytes->data(), bytes->size());
            {
                std::lock_guard<std::mutex> hold(p.lock);
                p.inFlight -= e.size;
                p.wanted = ++job;
            }
            p.changed.notify_all();
        } else {
            // Streamed: header with the sums left open, the data chunk by chunk, then the sums.
            std::unique_ptr<FILE, int (*)(FILE*)> in(nullptr, fclose);
            try {
                in.reset(OpenSource(e));
            } catch (const ReadError& r) {
                throw fail(e, r.what);
            }
            std::string header = e.plain ? "" : LocalHeader(e, 0, 0);
            write(header.data(), header.size());
            z_stream z = {};
            if (!e.plain &&
                deflateInit2(&z, o.level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
                throw BuildError{"deflate cannot start"};
            std::unique_ptr<z_stream, int (*)(z_stream*)> end(e.plain ? nullptr : &z, deflateEnd);
            std::vector<char> chunk(kChunk), packed(kChunk + kChunk / 8);
            uint32_t crc = 0;
            uint64_t got = 0;
            for (;;) {
                size_t n = fread(chunk.data(), 1, chunk.size(), in.get());
                if (ferror(in.get()))
                    throw fail(e, "cannot read " + e.path + ": " + strerror(errno));
                got += n;
                if (got > e.size) break;
                if (e.plain) {
                    write(chunk.data(), n);
                } else {
                    crc = Crc(crc, chunk.data(), n);
                    z.next_in = (Bytef*)chunk.data();
                    z.avail_in = (uInt)n;
                    int flush = n < chunk.size() ? Z_FINISH : Z_NO_FLUSH;
                    int r;
                    do {
                        z.next_out = (Bytef*)packed.data();
                        z.avail_out = (uInt)packed.size();
                        r = deflate(&z, flush);
                        if (r == Z_STREAM_ERROR) throw fail(e, "deflate failed");
                        write(packed.data(), packed.size() - z.avail_out);
                    } while (z.avail_out == 0 || (flush == Z_FINISH && r != Z_STREAM_END));
                }
                progress(i, got);
                if (n < chunk.size()) break;
            }
            if (got != e.size) throw fail(e, e.path + " changed size while being read");
            if (!e.plain) {
                if (z.total_out > 0xFFFFFFFFu) throw fail(e, "compressed to more than 4 GB");
                uint32_t packedSize = (uint32_t)z.total_out;
                uint64_t after = position();
                std::string sums;
                Put32(sums, crc), Put32(sums, packedSize);
                if (fseeko(out, (off_t)(start + 14), SEEK_SET) != 0)
                    throw BuildError{"cannot seek in " + outPath};
                write(sums.data(), sums.size());
                if (fseeko(out, (off_t)after, SEEK_SET) != 0)
                    throw BuildError{"cannot seek in " + outPath};
                std::string tail = Tail(e, crc, packedSize, header.size() + packedSize);
                write(tail.data(), tail.size());
            }
        }
        uint64_t size = position() - start;
        if (size > 0xFFFFFFFFu) throw fail(e, "stored in more than 4 GB");
        (*stored)[i] = (uint32_t)size;
        if (e.sealed) *sealAt = start + size - kSealFromEnd;
        read += e.size;
        // The setup seeks with signed 32-bit offsets.
        if (position() - report.packageStart > 0x7FFFFFFF)
            throw fail(e, "the package passes 2 GB here");
        progress(i, 0);
    }
}

// Writes the script's CRC-32 into the seal (see kSealText).
void WriteSeal(FILE* out, const std::string& outPath, uint64_t sealAt, uint32_t crc) {
    char hex[9];
    snprintf(hex, sizeof hex, "%08X", (unsigned)crc);
    if (fseeko(out, (off_t)sealAt, SEEK_SET) != 0 || fwrite(hex, 1, 8, out) != 8)
        throw BuildError{"cannot write " + outPath + ": " + strerror(errno)};
}

const char* SealText() { return kSealText; }
