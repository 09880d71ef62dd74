// Lists a package, or a setup program carrying one, through the setup's own reader.
#include "tools/kovpack/kovpack.h"
#include "tools/common/codepage.h"
#include "base/bytes.h"
#include "base/globals.h"
#include "base/log.h"
#include "base/path.h"
#include "package/package.h"
#include "package/script.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

// Texts are held in Windows-1252; a UTF-8 terminal gets them as UTF-8 unless --raw is given.
bool g_convert;
std::string Shown(const char* text) { return g_convert ? Cp1252ToUtf8(text) : text; }

// The listing is a description kovpack reads back: a text is written as it would be in one,
// with "${" as "$${". What the syntax cannot hold is said on standard error, since a build
// from the listing would differ there.
std::string Written(const char* field, const char* text, bool column) {
    std::string t = Shown(text), out;
    const char* why = nullptr;
    if (!t.empty() && (strchr(" \t", t[0]) || strchr(" \t", t.back())))
        why = "blanks at its ends are trimmed";
    else if (t.find(" ;") != std::string::npos || t.find("\t;") != std::string::npos)
        why = "a ';' after a blank starts a comment";
    else if (t.find_first_of("\r\n") != std::string::npos) why = "it holds a line break";
    else if (column && t.find('|') != std::string::npos) why = "'|' separates the columns of a row";
    else if (column && !t.empty() && strchr(";#[", t[0]))
        why = "a row cannot begin with ';', '#' or '['";
    if (why)
        fprintf(stderr, "kovpack: note: %s: \"%s\" cannot be read back as written: %s\n", field,
                t.c_str(), why);
    for (size_t i = 0; i < t.size(); i++) {
        if (t.compare(i, 2, "${") == 0) out += '$';
        out += t[i];
    }
    return out;
}

void Text(const char* name, const char* value) {
    std::string v = Written(name, value, false);
    printf("%s =%s%s\n", name, v.empty() ? "" : " ", v.c_str());
}
void Number(const char* name, long long value) { printf("%s = %lld\n", name, value); }

void PrintList(const char* name, const TextList& l) {
    printf("\n[%s]\n", name);
    for (unsigned i = 0; i < l.count; i++) {
        std::string row = Written(name, l.a[i], true);
        if (l.b) row += " | " + Written(name, l.b[i], true);
        if (l.c) row += " | " + Written(name, l.c[i], true);
        if (row.empty())
            fprintf(stderr, "kovpack: note: %s: an empty row cannot be read back\n", name);
        printf("%s\n", row.c_str());
    }
}

void PrintWords(const char* name, const WordTable& w) {
    printf("\n[%s]\n", name);
    for (unsigned i = 0; i < w.count; i++)
        printf("%u.%u\n", w.value[i] & 255u, (unsigned)w.value[i] >> 8);
}

// Pads to a number of characters, not bytes: a UTF-8 name with accents lines up too.
std::string Padded(const std::string& text, size_t width) {
    size_t chars = 0;
    for (unsigned char c : text) chars += (c & 0xC0) != 0x80;
    return chars < width ? text + std::string(width - chars, ' ') : text;
}

// What the reader's failure means, from its number and the last line it logged.
std::string ReaderFailure() {
    static const struct {
        unsigned number;
        const char* words;
    } kWords[] = {
        {FATAL_PACKAGE_OPEN, "the file cannot be opened"},
        {FATAL_SCRIPT_SEEK, "the package offset lies outside the file"},
        {FATAL_SCRIPT_MAGIC, "no install script at the package offset (it must begin with RS)"},
        {FATAL_SCRIPT_FIELD,
         "a setting, list or count of the install script is cut short or too long"},
        {FATAL_SCRIPT_RECORD,
         "a tool module or file table entry is cut short or refused, or the file data does not "
         "fit the file"},
        {FATAL_DB_KIND, "ExpectedDbKind is cut short or too long"},
        {FATAL_DB_KIND_CODE, "ExpectedDbKindCode is cut short or too long"},
        {FATAL_SKIP_SEARCH, "SkipPreviousSearch is cut short or too long"},
        {FATAL_NO_MIGRATION, "NoMigration is cut short or too long"},
    };
    std::string words = "the install script cannot be read";
    for (const auto& w : kWords)
        if (w.number == SetupError) words = w.words;
    // The reader's last log line says which field.
    std::string trace = LogTraceText() ? std::string(LogTraceText(), LogTraceUsed()) : "";
    while (!trace.empty() && (trace.back() == '\n' || trace.back() == '\r')) trace.pop_back();
    size_t last = trace.find_last_of('\n');
    std::string line = last == std::string::npos ? trace : trace.substr(last + 1);
    while (!line.empty() && line.back() == '\r') line.pop_back();
    return line.empty() ? words : words + " (" + line + ")";
}

// Reads the stored bytes of one entry, front to back.
struct EntryReader {
    FILE* f;
    uint64_t left;
    bool Read(void* p, size_t n) {
        if (n > left || fread(p, 1, n, f) != n) return false;
        left -= n;
        return true;
    }
};

// Checks one stored archive as the decompression library reads it, and as any unzip would:
// the local header, the deflate stream inflated in full against its CRC and size, then the
// central directory and end record. Returns the problem in words, or "".
std::string CheckArchive(FILE* f, const PackageEntry* e, std::string* comment) {
    if (fseeko(f, (off_t)e->offset, SEEK_SET) != 0) return "cannot seek to its data";
    EntryReader r{f, e->storedSize};
    unsigned char h[30];
    if (!r.Read(h, 30) || GetU32(h) != 0x04034b50) return "no zip archive (no local header)";
    unsigned flags = GetU16(h + 6), method = GetU16(h + 8), nameLength = GetU16(h + 26);
    uint32_t crcWanted = GetU32(h + 14), packed = GetU32(h + 18), size = GetU32(h + 22);
    std::string name(nameLength, '\0'), bare = e->name;
    size_t slash = bare.find_last_of("\\/");
    if (slash != std::string::npos) bare = bare.substr(slash + 1);
    std::vector<char> extra(GetU16(h + 28));
    if (!r.Read(&name[0], nameLength) || !r.Read(extra.data(), extra.size()))
        return "the archive's local header is cut short";
    if (flags & 1) return "the member is encrypted";
    if (method != 8 && method != 0)
        return "the member is compressed with method " + std::to_string(method) +
               ", not deflate (8)";
    if (!SameName(name.c_str(), bare.c_str()) || name.size() != strlen(name.c_str()))
        return "the member is named \"" + name + "\", not \"" + bare + "\"";
    if (size != e->installedSize)
        return "the member holds " + std::to_string(size) + " bytes, the file table says " +
               std::to_string(e->installedSize);
    if (packed > r.left) return "the member's data runs past the entry";

    z_stream z = {};
    if (method == 8 && inflateInit2(&z, -15) != Z_OK) return "inflate cannot start";
    std::vector<unsigned char> in(1 << 16), out(1 << 16);
    uint32_t crc = 0, left = packed;
    uint64_t total = 0;
    int status = method == 8 ? Z_OK : Z_STREAM_END;
    std::string problem;
    while (problem.empty() && left) {
        size_t n = left < in.size() ? left : in.size();
        if (!r.Read(in.data(), n)) problem = "the member's data cannot be read";
        left -= (uint32_t)n;
        if (method == 0) {
            crc = (uint32_t)crc32(crc, in.data(), (uInt)n);
            total += n;
            continue;
        }
        z.next_in = in.data();
        z.avail_in = (uInt)n;
        while (problem.empty() && z.avail_in && status != Z_STREAM_END) {
            z.next_out = out.data();
            z.avail_out = (uInt)out.size();
            status = inflate(&z, Z_NO_FLUSH);
            if (status != Z_OK && status != Z_STREAM_END)
                problem =
                    "the deflate data is damaged (" + std::string(z.msg ? z.msg : "inflate") + ")";
            size_t made = out.size() - z.avail_out;
            crc = (uint32_t)crc32(crc, out.data(), (uInt)made);
            total += made;
        }
        if (problem.empty() && status == Z_STREAM_END && (z.avail_in || left))
            problem = "the deflate data ends before the member's packed size";
    }
    if (method == 8) inflateEnd(&z);
    if (!problem.empty()) return problem;
    if (status != Z_STREAM_END) return "the deflate data is cut short";
    if (total != size)
        return "the member inflates to " + std::to_string(total) + " bytes, not " +
               std::to_string(size);
    if (crc != crcWanted) return "the member's CRC does not match its data (damaged data)";

    unsigned char c[46];
    if (!r.Read(c, 46) || GetU32(c) != 0x02014b50) return "no central directory after the data";
    if (GetU32(c + 16) != crcWanted || GetU32(c + 20) != packed || GetU32(c + 24) != size ||
        GetU16(c + 10) != method)
        return "the central directory differs from the local header";
    std::vector<char> rest(GetU16(c + 28) + GetU16(c + 30));
    comment->assign(GetU16(c + 32), '\0');
    if (!r.Read(rest.data(), rest.size()) || !r.Read(&(*comment)[0], comment->size()))
        return "the central directory is cut short";
    unsigned char end[22];
    if (!r.Read(end, 22) || GetU32(end) != 0x06054b50 || GetU16(end + 8) != 1 ||
        GetU16(end + 10) != 1)
        return "no end record of one member";
    if (r.left != (uint64_t)GetU16(end + 20))
        return "the entry holds bytes after the archive's end record";
    return "";
}

// Checks every entry's stored bytes, and the script against the check value kovpack sealed
// into the first archive; says every problem. True when all is well.
bool VerifyEntries(const std::string& path, uint32_t offset) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) {
        fprintf(stderr, "kovpack: cannot read %s\n", path.c_str());
        return false;
    }
    bool ok = true, sealed = false;
    auto problem = [&](const PackageEntry* e, const std::string& what) {
        fprintf(stderr, "kovpack: %s: entry %s: %s\n", path.c_str(),
                e ? Shown(e->name).c_str() : "-", what.c_str());
        ok = false;
    };
    const InstallSettingsT& s = InstallSettings;
    for (unsigned i = 0; i < FileTable->count; i++) {
        const PackageEntry* e = FileTable->entry[i];
        std::string dir = e->name;
        size_t slash = dir.find_last_of("\\/");
        dir = slash == std::string::npos ? "" : dir.substr(0, slash);
        bool plain = i == 0 || SameName(e->name, s.QuickRefFile) ||
                     (s.MergedFilesA.count && SameName(dir.c_str(), "idb"));
        if (plain) {
            if (e->storedSize != e->installedSize)
                problem(e, "stored as it is, but " + std::to_string(e->storedSize) +
                               " bytes stored for " + std::to_string(e->installedSize) +
                               " installed");
            if (i == 0) {
                char mz[2] = {};
                if (fseeko(f, (off_t)e->offset, SEEK_SET) != 0 || fread(mz, 1, 2, f) != 2 ||
                    mz[0] != 'M' || mz[1] != 'Z')
                    problem(e, "the decompression library is not a program (no MZ)");
            }
            continue;
        }
        std::string comment;
        std::string what = CheckArchive(f, e, &comment);
        if (!what.empty()) {
            problem(e, what);
            continue;
        }
        size_t seal = strlen(SealText());
        if (comment.size() == seal + 8 && comment.compare(0, seal, SealText()) == 0) {
            sealed = true;
            uint32_t start = offset, length = FileTable->entry[0]->offset - offset;
            std::string script(length, '\0');
            unsigned long wanted = strtoul(comment.c_str() + seal, nullptr, 16);
            if (fseeko(f, (off_t)start, SEEK_SET) != 0 || fread(&script[0], 1, length, f) != length)
                problem(nullptr, "cannot read the install script");
            else if ((uint32_t)crc32(0, (const Bytef*)script.data(), length) != wanted)
                problem(nullptr,
                        "the install script differs from what kovpack wrote: its check value "
                        "does not match (a damaged setting, list or file table)");
        }
    }
    fclose(f);
    if (!sealed)
        fprintf(stderr,
                "kovpack: %s: note: no check value for the script; only its form was checked\n",
                path.c_str());
    if (ok)
        printf("; Verified: %u entries, every stored file inflates to its size and CRC%s\n",
               (unsigned)FileTable->count, sealed ? ", the script matches its check value" : "");
    return ok;
}

}  // namespace

int ListPackage(const std::string& path, const ListOptions& o) {
    g_convert = !o.raw && LocaleIsUtf8();
    // A setup program carries the offset at its marker; anything else is a bare package.
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        fprintf(stderr, "kovpack: cannot read %s\n", path.c_str());
        return 1;
    }
    uint32_t offset = 0;
    std::string resourceTag;  // of a setup program
    // The resource comes before the package, so the first marker is the setup's own even
    // when a stored file happens to contain the same bytes. A bare package begins with its
    // script, whose stored files are not searched at all. Read a chunk at a time, so that
    // listing a large package costs no more memory than building it.
    const std::string mark("_ZoffZ_\0", 8);
    std::string window(1 << 20, '\0');
    in.read(&window[0], 2);
    bool bare = in.gcount() == 2 && window.compare(0, 2, "RS") == 0;
    std::string carry(window, 0, (size_t)in.gcount()), found;
    while (!bare && in) {
        in.read(&window[0], (std::streamsize)window.size());
        carry.append(window, 0, (size_t)in.gcount());
        size_t at = carry.find(mark);
        if (at != std::string::npos) {
            // The offset and the tag follow the marker.
            while (carry.size() < at + 28 && in) {
                in.read(&window[0], 28);
                carry.append(window, 0, (size_t)in.gcount());
            }
            found = carry.substr(at, 28);
            break;
        }
        carry.erase(0, carry.size() > mark.size() ? carry.size() - mark.size() : 0);
    }
    if (found.size() >= 12) {
        for (int i = 0; i < 4; i++) offset |= (uint32_t)(unsigned char)found[8 + i] << (8 * i);
        std::string tag = found.size() == 28 ? found.substr(12, 16) : "";
        tag.resize(strnlen(tag.c_str(), tag.size()));
        printf("; SetupProgram = %s\n; PackageOffset = %lu\n", path.c_str(), (unsigned long)offset);
        resourceTag = Written("ResourceTag", tag.c_str(), false);
        if (offset == 0) {
            fprintf(stderr, "kovpack: %s carries no package (offset 0)\n", path.c_str());
            return 1;
        }
    }
    in.close();

    ResetRunState();
    snprintf(InstallFile, sizeof InstallFile, "%s", path.c_str());
    if (strlen(InstallFile) != path.size()) {
        fprintf(stderr, "kovpack: path too long: %s\n", path.c_str());
        return 1;
    }
    InstallFileGiven = 1;
    PackageOffsetGiven = 1;
    PackageOffsetOption = offset;
    if (!OpenPackage() || !ReadInstallScript()) {
        fprintf(stderr, "kovpack: %s: the setup would refuse this package: %s (fatal error %u)\n",
                path.c_str(), ReaderFailure().c_str(), (unsigned)SetupError);
        ClosePackage();
        FreeInstallScript();
        return 1;
    }
    const InstallSettingsT& s = InstallSettings;
    // Settings first, then the lists and tables, each in script order; what the setup reads
    // and drops is not shown. Written in the description's own syntax, so that the listing
    // builds the same package again and two listings can be compared line by line.
    printf("[Setup]\nEncoding = %s\n", g_convert ? "UTF-8" : "Windows-1252");
    if (!resourceTag.empty()) printf("ResourceTag = %s\n", resourceTag.c_str());
    for (int n = 0; n < ScriptFieldCount; n++) {
        const ScriptField& f = ScriptFields[n];
        if (!f.target) continue;
        switch (f.kind) {
        case SCRIPT_TEXT: Text(f.name, (const char*)f.target); break;
        // An empty number is held as 255 (or -1): written empty again.
        case SCRIPT_NUMBER8: {
            uint8_t v = *(const uint8_t*)f.target;
            if (v == 255) printf("%s =\n", f.name);
            else Number(f.name, v);
            break;
        }
        case SCRIPT_NUMBER32: {
            int32_t v = *(const int32_t*)f.target;
            if (v == -1) printf("%s =\n", f.name);
            else Number(f.name, v);
            break;
        }
        case SCRIPT_YES:
            printf("%s = %s\n", f.name, *(const uint32_t*)f.target ? "yes" : "no");
            break;
        case SCRIPT_FLAG: Number(f.name, *(const uint32_t*)f.target); break;
        case SCRIPT_VERSION: {
            const uint8_t* v = (const uint8_t*)f.target;
            printf("%s = %u.%u\n", f.name, v[0], v[1]);
            break;
        }
        }
    }
    for (int n = 0; n < ScriptFieldCount; n++) {
        const ScriptField& f = ScriptFields[n];
        if (!f.target) continue;
        switch (f.kind) {
        case SCRIPT_KEYS: {
            const uint32_t* keys = *(uint32_t* const*)f.target;
            unsigned count = *(const uint16_t*)f.also;
            printf("\n[%s]\n", f.name);
            for (unsigned i = 0; i < count; i++) printf("0x%08lX\n", (unsigned long)keys[i]);
            break;
        }
        case SCRIPT_LIST: PrintList(f.name, *(const TextList*)f.target); break;
        case SCRIPT_WORDS: PrintWords(f.name, *(const WordTable*)f.target); break;
        }
    }
    for (unsigned i = 0; i < s.ToolModuleCount; i++) {
        const ToolModule& t = s.ToolModules[i];
        uint32_t v = t.minVersion;
        printf("\n[ToolModule %s]\nMinVersion = %u.%u.%u.%u\n",
               Written("ToolModule", t.name, false).c_str(), v >> 24, v >> 16 & 255u, v >> 8 & 255u,
               v & 255u);
        // Keys and companions are held newest first: written in the script's order.
        std::vector<uint32_t> keys;
        std::vector<std::string> companions;
        for (const ToolKey* k = t.keys; k; k = k->next) keys.insert(keys.begin(), k->key);
        for (const ToolCompanion* c = t.companions; c; c = c->next)
            companions.insert(companions.begin(), Written("Companion", c->name, false));
        for (uint32_t k : keys) printf("Key = 0x%08lX\n", (unsigned long)k);
        for (const auto& c : companions) printf("Companion = %s\n", c.c_str());
    }
    printf("\n[Files]\n; %u files, %lu bytes installed, data at %lu\n", (unsigned)FileTable->count,
           (unsigned long)FileTable->total,
           (unsigned long)(FileTable->count ? FileTable->entry[0]->offset : 0));
    printf("%s ; %10s %10s %10s\n", Padded("; name", 40).c_str(), "installed", "stored", "offset");
    uint64_t end = FileTable->count ? FileTable->entry[0]->offset : 0;
    for (unsigned i = 0; i < FileTable->count; i++) {
        const PackageEntry* e = FileTable->entry[i];
        std::string name = Written("Files", e->name, true);
        if (name.find('=') != std::string::npos)
            fprintf(stderr,
                    "kovpack: note: Files: \"%s\" cannot be read back as written: "
                    "'=' separates an entry from its source\n",
                    name.c_str());
        printf("%s ; %10lu %10lu %10lu\n", Padded(name, 40).c_str(),
               (unsigned long)e->installedSize, (unsigned long)e->storedSize,
               (unsigned long)e->offset);
        end = (uint64_t)e->offset + e->storedSize;
    }
    long size = SysFileSize(PackageFile);
    printf("; DataEnd = %llu\n; FileSize = %ld\n", (unsigned long long)end, size);
    int status = (long long)end == size ? 0 : 1;
    if (status) fprintf(stderr, "kovpack: the file data does not end at the end of the file\n");
    if (o.verify && !VerifyEntries(path, offset)) status = 1;
    ClosePackage();
    FreeInstallScript();
    return status;
}
