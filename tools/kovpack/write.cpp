// Writes the package: the install script and file table, then every file's stored bytes
// (the decompression library and the quick reference text as they are, every other file
// as a zip archive of one deflated member), either bare or appended to the setup stub.
#include "tools/kovpack/kovpack.h"
#include "base/globals.h"
#include "base/bytes.h"
#include "base/path.h"
#include "package/package.h"
#include "package/script.h"
#include <ctype.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <zlib.h>

namespace {

void Put16(std::string& s, unsigned v) {
    char b[2];
    PutU16(b, (uint16_t)v);
    s.append(b, 2);
}
void Put32(std::string& s, uint32_t v) {
    char b[4];
    PutU32(b, v);
    s.append(b, 4);
}

struct Out {
    std::string bytes;
    void U16(unsigned v) { Put16(bytes, v); }
    void U32(uint32_t v) { Put32(bytes, v); }
    void Text(const std::string& s) { U16((unsigned)s.size()), bytes += s; }
};

[[noreturn]] void Fail(const Description& d, int line, const std::string& what) {
    throw BuildError{d.path + ":" + std::to_string(line) + ": " + what};
}

int SetupLine(const Description& d, const char* name) {
    for (size_t i = 0; i < d.setup.size(); i++)
        if (d.setup[i].first == name) return d.setupLines[i];
    return 0;
}

void CheckText(const Description& d, int line, const std::string& field, const std::string& text,
               unsigned size) {
    if (text.size() > size - 1)
        Fail(d, line,
             field + ": " + std::to_string(text.size()) + " bytes, at most " +
                 std::to_string(size - 1));
}

uint16_t FlagValue(const Description& d, const ScriptField& k) {
    std::string v = SetupValue(d, k.name);
    if (v.empty()) return 0;
    // Decimal, or hexadecimal after "0x"; a leading zero is not octal.
    bool hex = v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X');
    char* end;
    errno = 0;
    unsigned long n = strtoul(v.c_str(), &end, hex ? 16 : 10);
    if (!isxdigit((unsigned char)v[hex ? 2 : 0]) || *end || errno || n > 0xFFFF)
        Fail(d, SetupLine(d, k.name),
             std::string(k.name) + ": \"" + v + "\" is not a number from 0 to 65535");
    return (uint16_t)n;
}

void CheckCount(const Description& d, int line, const char* field, size_t n, size_t most,
                const char* what) {
    if (n > most)
        Fail(d, line,
             std::string(field) + ": " + std::to_string(n) + " " + what + ", at most " +
                 std::to_string(most));
}

// Texts that become paths must stay below their folder, as the setup's reader demands; they
// are written with '\\' separators, the form the reader compares.
void PutList(Out& o, const Description& d, const ScriptField& f) {
    const DescList& l = Section(d, f.name);
    CheckCount(d, l.line, f.name, l.rows.size(), f.size, "rows");
    o.U16((unsigned)l.rows.size());
    for (size_t i = 0; i < l.rows.size(); i++)
        for (size_t k = 0; k < l.rows[i].size(); k++) {
            std::string t = l.rows[i][k];
            CheckText(d, l.line, f.name, t, 128);
            if (f.rule[k] != NAME_FREE) {
                BackslashSeparators(&t[0]);
                if (!IsSafeListName(f.rule[k], t.c_str()))
                    Fail(d, l.rowLines[i],
                         std::string(f.name) + ": \"" + t +
                             "\" must be a relative name below its folder (no drive, no leading "
                             "backslash, no dots-only part, no device name" +
                             (f.rule[k] == NAME_PLAIN ? ", no wildcard)" : ")"));
            }
            o.Text(t);
        }
}

void PutWords(Out& o, const Description& d, const ScriptField& f) {
    const DescList& l = Section(d, f.name);
    CheckCount(d, l.line, f.name, l.values.size(), f.size, "values");
    o.U16((unsigned)l.values.size());
    for (uint32_t v : l.values) o.U16(v);
}

void PutTools(Out& o, const Description& d, const ScriptField& f) {
    if (d.tools.size() > f.size)
        Fail(d, d.tools[f.size].line,
             "ToolModule: more than " + std::to_string(f.size) + " tool modules");
    o.U16((unsigned)d.tools.size());
    for (const DescTool& t : d.tools) {
        CheckText(d, t.line, "ToolModule name", t.name, 32);
        std::string name = t.name;
        BackslashSeparators(&name[0]);
        if (!IsSafeListName(NAME_PLAIN, name.c_str()))
            Fail(d, t.line,
                 "ToolModule \"" + t.name + "\" must be a file name below the tool folder");
        if (t.keys.size() > 0xFFFF || t.companions.size() > 0xFFFF)
            Fail(d, t.line, "ToolModule " + t.name + ": more than 65535 keys or companions");
        o.Text(name);
        o.U32(t.minVersion);
        o.U16((unsigned)t.keys.size());
        for (uint32_t key : t.keys) o.U32(key);
        o.U16((unsigned)t.companions.size());
        for (const auto& c : t.companions) {
            CheckText(d, t.line, "ToolModule companion", c, 32);
            std::string companion = c;
            BackslashSeparators(&companion[0]);
            if (!IsSafeListName(NAME_PLAIN, companion.c_str()))
                Fail(d, t.line,
                     "ToolModule " + t.name + ": companion \"" + c +
                         "\" must be a relative path below the install folder");
            o.Text(companion);
        }
    }
}

// Entry names are written with '\\' separators, the form the setup compares and writes.
std::string EntryName(std::string entry) {
    if (!entry.empty()) BackslashSeparators(&entry[0]);
    return entry;
}

std::string BareName(const std::string& entry) {
    size_t slash = entry.find_last_of("\\/");
    return slash == std::string::npos ? entry : entry.substr(slash + 1);
}

std::string DirPart(const std::string& entry) {
    size_t slash = entry.find_last_of("\\/");
    return slash == std::string::npos ? "" : entry.substr(0, slash);
}

bool ReadFile(const std::string& path, std::string& out, time_t* mtime) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
        fclose(f);
        return false;
    }
    out.resize((size_t)st.st_size);
    size_t got = out.empty() ? 0 : fread(&out[0], 1, out.size(), f);
    fclose(f);
    *mtime = st.st_mtime;
    return got == out.size();
}

// One-member zip archive around raw deflate data.
std::string ZipOne(const std::string& name, const std::string& data, time_t mtime, int level) {
    z_stream z = {};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw BuildError{"deflate cannot start"};
    std::string packed(deflateBound(&z, (uLong)data.size()), '\0');
    z.next_in = (Bytef*)data.data();
    z.avail_in = (uInt)data.size();
    z.next_out = (Bytef*)&packed[0];
    z.avail_out = (uInt)packed.size();
    int r = deflate(&z, Z_FINISH);
    packed.resize(z.total_out);
    deflateEnd(&z);
    if (r != Z_STREAM_END) throw BuildError{"deflate failed for " + name};
    uint32_t crc = (uint32_t)crc32(0, (const Bytef*)data.data(), (uInt)data.size());

    struct tm t;
    localtime_r(&mtime, &t);
    if (t.tm_year < 80)
        t.tm_year = 80, t.tm_mon = 0, t.tm_mday = 1, t.tm_hour = t.tm_min = t.tm_sec = 0;
    unsigned dosTime = (unsigned)(t.tm_hour << 11 | t.tm_min << 5 | t.tm_sec / 2);
    unsigned dosDate = (unsigned)((t.tm_year - 80) << 9 | (t.tm_mon + 1) << 5 | t.tm_mday);

    std::string z2;
    z2.reserve(packed.size() + 2 * name.size() + 100);
    // Local header.
    Put32(z2, 0x04034b50), Put16(z2, 20), Put16(z2, 0), Put16(z2, 8);
    Put16(z2, dosTime), Put16(z2, dosDate), Put32(z2, crc);
    Put32(z2, (uint32_t)packed.size()), Put32(z2, (uint32_t)data.size());
    Put16(z2, (unsigned)name.size()), Put16(z2, 0);
    z2 += name;
    z2 += packed;
    uint32_t central = (uint32_t)z2.size();
    // Central directory.
    Put32(z2, 0x02014b50), Put16(z2, 20), Put16(z2, 20), Put16(z2, 0), Put16(z2, 8);
    Put16(z2, dosTime), Put16(z2, dosDate), Put32(z2, crc);
    Put32(z2, (uint32_t)packed.size()), Put32(z2, (uint32_t)data.size());
    Put16(z2, (unsigned)name.size()), Put16(z2, 0), Put16(z2, 0), Put16(z2, 0), Put16(z2, 0);
    Put32(z2, 0x20), Put32(z2, 0);
    z2 += name;
    uint32_t centralSize = (uint32_t)z2.size() - central;
    // End record.
    Put32(z2, 0x06054b50), Put16(z2, 0), Put16(z2, 0), Put16(z2, 1), Put16(z2, 1);
    Put32(z2, centralSize), Put32(z2, central), Put16(z2, 0);
    return z2;
}

void WriteAll(FILE* f, const std::string& s, const std::string& path) {
    if (!s.empty() && fwrite(s.data(), 1, s.size(), f) != s.size())
        throw BuildError{"cannot write " + path + ": " + strerror(errno)};
}

}  // namespace

std::string EncodeScript(const Description& d, const std::vector<uint32_t>& installed,
                         const std::vector<uint32_t>& stored) {
    Out o;
    o.bytes = SCRIPT_MAGIC;
    for (int n = 0; n < ScriptFieldCount; n++) {
        const ScriptField& f = ScriptFields[n];
        switch (f.kind) {
        case SCRIPT_TEXT:
        case SCRIPT_NUMBER8:
        case SCRIPT_NUMBER32:
        case SCRIPT_YES: {
            std::string v = SetupValue(d, f.name);
            CheckText(d, SetupLine(d, f.name), f.name, v, f.size);
            if (f.kind == SCRIPT_NUMBER8 || f.kind == SCRIPT_NUMBER32) {
                // The setup converts with the runtime's decimal conversion: digits, maybe a sign.
                size_t digits = v.find_first_not_of("0123456789", v[0] == '-' ? 1 : 0);
                if (!v.empty() && (digits != std::string::npos || v == "-"))
                    Fail(d, SetupLine(d, f.name),
                         std::string(f.name) + ": \"" + v + "\" is not a decimal number");
            }
            o.Text(v);
            break;
        }
        case SCRIPT_FLAG: o.U16(FlagValue(d, f)); break;
        case SCRIPT_VERSION: {
            // Two bytes, major and minor.
            std::string v = SetupValue(d, f.name);
            unsigned major = 0, minor = 0;
            char tail;
            if (!v.empty() && (sscanf(v.c_str(), "%u.%u%c", &major, &minor, &tail) != 2 ||
                               major > 255 || minor > 255))
                Fail(d, SetupLine(d, f.name),
                     std::string(f.name) + ": \"" + v + "\" is not major.minor (0 to 255 each)");
            o.bytes += char(major), o.bytes += char(minor);
            break;
        }
        case SCRIPT_KEYS: {
            const DescList& l = Section(d, f.name);
            if (l.values.size() > 0xFFFF)
                Fail(d, l.line, std::string(f.name) + ": more than 65535");
            o.U16((unsigned)l.values.size());
            for (uint32_t id : l.values) o.U32(id);
            break;
        }
        case SCRIPT_LIST: PutList(o, d, f); break;
        case SCRIPT_WORDS: PutWords(o, d, f); break;
        case SCRIPT_TOOLS: PutTools(o, d, f); break;
        case SCRIPT_FILES:
            o.U16((unsigned)d.files.size());
            for (size_t i = 0; i < d.files.size(); i++) {
                o.Text(EntryName(d.files[i].entry));
                o.U32(installed[i]);
                o.U32(stored[i]);
            }
            break;
        }
    }
    return o.bytes;
}

long FindOffsetMarker(const std::string& image) {
    static const char marker[8] = {'_', 'Z', 'o', 'f', 'f', 'Z', '_', 0};
    std::string m(marker, 8);
    size_t first = image.find(m);
    if (first == std::string::npos) return -1;
    if (image.find(m, first + 1) != std::string::npos) return -2;
    return (long)first;
}

void BuildPackage(const Description& d, const BuildOptions& opt) {
    // Everything the reader refuses is refused here first, before any output is written.
    if (d.files.empty())
        throw BuildError{d.path + ": [Files] is empty; the first file must be dunzip32.dll"};
    if (d.files.size() > 0xFFFF) Fail(d, d.files[0xFFFF].line, "more than 65535 files");
    if (!SameName(d.files[0].entry.c_str(), "dunzip32.dll"))
        Fail(d, d.files[0].line, "the first file must be dunzip32.dll, not " + d.files[0].entry);
    for (size_t i = 0; i < d.files.size(); i++) {
        const DescFile& f = d.files[i];
        if (!IsSafeEntryName(f.entry.c_str(), (unsigned)f.entry.size()))
            Fail(d, f.line,
                 "file name \"" + f.entry +
                     "\" must be a relative path below the "
                     "install folder (no drive, no leading backslash, no \"..\" or other dots-only "
                     "part, no device name, at most 259 bytes)");
        // The install loop writes the entry to this name; the archive member takes its last part.
        if (BareName(f.entry).empty())
            Fail(d, f.line, "file name \"" + f.entry + "\" ends with a separator");
        for (size_t j = 0; j < i; j++)
            if (SameName(d.files[j].entry.c_str(), f.entry.c_str()))
                Fail(d, f.line,
                     "file name \"" + f.entry + "\" given twice (line " +
                         std::to_string(d.files[j].line) + ")");
    }
    if (!Section(d, "MergedFilesB").rows.empty() && Section(d, "MergedFilesA").rows.empty())
        Fail(d, Section(d, "MergedFilesB").line,
             "MergedFilesB needs a non-empty MergedFilesA "
             "(the setup holds back merge files only then)");
    // The script once, to validate every setting before reading any file.
    std::vector<uint32_t> installed(d.files.size()), stored(d.files.size());
    std::string script = EncodeScript(d, installed, stored);

    std::string quickRef = SetupValue(d, "QuickRefFile");
    bool merging = !Section(d, "MergedFilesA").rows.empty();

    std::string stub;
    long marker = -1;
    if (!opt.stub.empty()) {
        time_t unused;
        if (!ReadFile(opt.stub, stub, &unused))
            throw BuildError{"cannot read the setup program " + opt.stub};
        marker = FindOffsetMarker(stub);
        if (marker == -1)
            throw BuildError{opt.stub + ": no package offset marker; not a setup program"};
        if (marker == -2)
            throw BuildError{opt.stub + ": the package offset marker occurs more than once"};
        if (marker + 28 > (long)stub.size())
            throw BuildError{opt.stub + ": the offset resource is cut short"};
        if (stub[marker + 8] || stub[marker + 9] || stub[marker + 10] || stub[marker + 11])
            throw BuildError{opt.stub +
                             ": already carries a package; give the plain setup program"};
        uint32_t offset = (uint32_t)stub.size();
        for (int i = 0; i < 4; i++) stub[marker + 8 + i] = char(offset >> (8 * i));
        for (int i = 0; i < 16; i++)
            stub[marker + 12 + i] = i < (int)d.resourceTag.size() ? d.resourceTag[i] : 0;
    }

    std::string temp = opt.output + ".part";
    FILE* out = fopen(temp.c_str(), "wb");
    if (!out) throw BuildError{"cannot create " + temp + ": " + strerror(errno)};
    try {
        WriteAll(out, stub, temp);
        WriteAll(out, script, temp);  // placeholder: same length, sizes filled at the end
        uint64_t position = stub.size() + script.size();
        uint64_t totalIn = 0;
        time_t started = time(nullptr), lastReport = started;
        for (size_t i = 0; i < d.files.size(); i++) {
            const DescFile& f = d.files[i];
            std::string data;
            time_t mtime;
            if (!ReadFile(f.source, data, &mtime))
                Fail(d, f.line, "cannot read " + f.source + " for " + f.entry);
            if (data.size() > 0xFFFFFFFFull) Fail(d, f.line, f.entry + ": larger than 4 GB");
            bool plain = i == 0 || SameName(f.entry.c_str(), quickRef.c_str()) ||
                         (merging && SameName(DirPart(f.entry).c_str(), "idb"));
            std::string bytes = plain ? data : ZipOne(BareName(f.entry), data, mtime, opt.level);
            installed[i] = (uint32_t)data.size();
            stored[i] = (uint32_t)bytes.size();
            WriteAll(out, bytes, temp);
            position += bytes.size();
            totalIn += data.size();
            // The setup seeks with signed 32-bit offsets.
            if (position > 0x7FFFFFFF) Fail(d, f.line, "the package passes 2 GB at " + f.entry);
            time_t now = time(nullptr);
            if (!opt.quiet && now - lastReport >= 2) {
                fprintf(stderr, "kovpack: %zu of %zu files, %llu MB read\n", i + 1, d.files.size(),
                        (unsigned long long)(totalIn >> 20));
                lastReport = now;
            }
        }
        std::string final = EncodeScript(d, installed, stored);
        if (fseek(out, (long)stub.size(), SEEK_SET) != 0)
            throw BuildError{"cannot seek in " + temp};
        WriteAll(out, final, temp);
        if (fclose(out) != 0) {
            out = nullptr;
            throw BuildError{"cannot write " + temp + ": " + strerror(errno)};
        }
        out = nullptr;
        if (rename(temp.c_str(), opt.output.c_str()) != 0)
            throw BuildError{"cannot rename " + temp + " to " + opt.output};
        if (!opt.quiet)
            fprintf(stderr, "kovpack: %s: %zu files, %llu bytes installed, %llu bytes%s\n",
                    opt.output.c_str(), d.files.size(), (unsigned long long)totalIn,
                    (unsigned long long)position,
                    stub.empty() ? ""
                                 : (", package at offset " + std::to_string(stub.size())).c_str());
    } catch (...) {
        if (out) fclose(out);
        remove(temp.c_str());
        throw;
    }
}
