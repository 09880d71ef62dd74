// Writes the package: the install script and file table, then every file's stored bytes
// (the decompression library and the quick reference text as they are, every other file
// as a zip archive of one deflated member), either bare or appended to the setup stub.
#include "tools/kovpack/kovpack.h"
#include "tools/common/codepage.h"
#include "base/globals.h"
#include "base/bytes.h"
#include "base/path.h"
#include "package/package.h"
#include "package/script.h"
#include <ctype.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <zlib.h>

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

namespace {

struct Out {
    std::string bytes;
    void U16(unsigned v) { Put16(bytes, v); }
    void U32(uint32_t v) { Put32(bytes, v); }
    void Text(const std::string& s) { U16((unsigned)s.size()), bytes += s; }
};

// Every check goes on after an error, so that one run names them all; nothing is written
// while there is any.
void Fail(const Description& d, int line, const std::string& what) { NoteError(d, line, what); }

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
            if (f.rule[k] == NAME_WINDOWS_FILE) {
                BackslashSeparators(&t[0]);
                if (!IsSafeListName(f.rule[k], t.c_str()))
                    Fail(d, l.rowLines[i],
                         std::string(f.name) + ": \"" + t +
                             "\" must name the package's own files of the Windows folder (no "
                             "folder, no name made of wildcards, none of the system's own files)");
            } else if (f.rule[k] != NAME_FREE) {
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
                // The setup keeps the low 8 bits: 300 would quietly mean 44, and -1 mean 255.
                else if (f.kind == SCRIPT_NUMBER8 && !v.empty() &&
                         (v[0] == '-' || atoi(v.c_str()) > 255))
                    Fail(d, SetupLine(d, f.name),
                         std::string(f.name) + ": \"" + v + "\" is not a number from 0 to 255");
            }
            // A title becomes one name in a shell folder, as the setup's reader demands.
            if (f.kind == SCRIPT_TEXT && f.rule[0] != NAME_FREE &&
                !IsSafeListName(f.rule[0], v.c_str()))
                Fail(d, SetupLine(d, f.name),
                     std::string(f.name) + ": \"" + v +
                         "\" must be one name (no \\, /, :, wildcard, control character, device "
                         "name, dots-only name, or dot or blank at the end)");
            // The setup tests only for a leading "yes": "oui" or "non" would both mean no.
            if (f.kind == SCRIPT_YES && !v.empty() && !SameName(v.c_str(), "yes") &&
                !SameName(v.c_str(), "no"))
                Fail(d, SetupLine(d, f.name),
                     std::string(f.name) + ": \"" + v + "\" is neither yes nor no");
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

std::vector<std::string> CheckMeaning(const Description& d) {
    std::vector<std::string> warnings;
    auto inFiles = [&](const std::string& name) {
        std::string n = EntryName(name);
        for (const DescFile& f : d.files)
            if (SameName(EntryName(f.entry).c_str(), n.c_str())) return true;
        return false;
    };
    auto at = [&](int line) { return d.path + ":" + std::to_string(line) + ": "; };
    // The install loop fills a merge table's slot only from an entry of the idb folder; a
    // slot left empty would be read by the migration as an entry of the package.
    for (const char* merge : {"MergedFilesA", "MergedFilesB"}) {
        const DescList& l = Section(d, merge);
        for (size_t i = 0; i < l.rows.size(); i++) {
            std::string name = EntryName(l.rows[i][0]);
            if (!inFiles(name) || !SameName(DirPart(name).c_str(), "idb"))
                Fail(d, l.rowLines[i],
                     std::string(merge) + ": \"" + l.rows[i][0] +
                         "\" is not an entry of [Files] in the idb folder");
        }
    }
    // The guide is offered for printing whenever QuickRefFile is set; without its entry the
    // user would print nothing.
    std::string quickRef = SetupValue(d, "QuickRefFile");
    if (!quickRef.empty() && !inFiles(quickRef))
        warnings.push_back(at(SetupLine(d, "QuickRefFile")) + "warning: QuickRefFile: \"" +
                           quickRef +
                           "\" is not an entry of [Files]; the setup would offer to print a "
                           "guide it does not have");
    // These name files in the destination, which an earlier installation may already hold;
    // a name missing from [Files] is most often a typing error, so it is said.
    std::string client = SetupValue(d, "ClientExeName");
    if (!client.empty() && !inFiles(client))
        warnings.push_back(at(SetupLine(d, "ClientExeName")) + "warning: ClientExeName: \"" +
                           client +
                           "\" is not an entry of [Files]; the program item would start a file "
                           "the package does not install");
    for (const char* list : {"BrowserInstallers", "AddOnPrograms"}) {
        const DescList& l = Section(d, list);
        for (size_t i = 0; i < l.rows.size(); i++)
            if (!l.rows[i][0].empty() && !inFiles(l.rows[i][0]))
                warnings.push_back(at(l.rowLines[i]) + "warning: " + list + ": \"" + l.rows[i][0] +
                                   "\" is not an entry of [Files]; the setup would run a program "
                                   "the package does not install");
    }
    // The setup points each sound event at the destination joined with this name: one the
    // package does not install there leaves the event without its sound.
    const DescList& sounds = Section(d, "SoundEvents");
    for (size_t i = 0; i < sounds.rows.size(); i++)
        if (sounds.rows[i].size() > 1 && !sounds.rows[i][1].empty() && !inFiles(sounds.rows[i][1]))
            warnings.push_back(at(sounds.rowLines[i]) + "warning: SoundEvents: \"" +
                               sounds.rows[i][1] +
                               "\" is not an entry of [Files]; the event would name a sound the "
                               "package does not install (give its folder too)");
    // An installation of this very package is not newer than it: listing its own version
    // makes a run over it ask whether to replace a newer version, and an unattended run stop.
    unsigned ownMajor = 0, ownMinor = 0;
    std::string own = SetupValue(d, "DbVersion");
    if (sscanf(own.c_str(), "%u.%u", &ownMajor, &ownMinor) == 2) {
        for (const char* list : {"ExactNewerVersions", "MinimumNewerVersions"}) {
            const DescList& l = Section(d, list);
            bool minimum = list[0] == 'M';
            // Each pair holds the major number in its low byte, as the search reads it.
            for (size_t i = 0; i < l.values.size() && i < l.rowLines.size(); i++) {
                unsigned major = l.values[i] & 0xFF, minor = (l.values[i] >> 8) & 0xFF;
                if (major != ownMajor) continue;
                if (minor == 0 || (minimum ? minor <= ownMinor : minor == ownMinor))
                    warnings.push_back(at(l.rowLines[i]) + "warning: " + list + ": \"" +
                                       std::to_string(major) + "." + std::to_string(minor) +
                                       "\" takes in the package's own version " + own +
                                       "; a run over its own installation would ask to replace a "
                                       "newer version");
            }
        }
    }
    for (const DescTool& t : d.tools)
        if (!inFiles("tool\\" + t.name))
            warnings.push_back(at(t.line) + "warning: ToolModule " + t.name + ": \"tool\\" +
                               t.name +
                               "\" is not an entry of [Files]; only a copy from an earlier "
                               "installation could be kept");
    return warnings;
}

namespace {

std::string ReadStub(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    struct stat st;
    if (!f) throw BuildError{"cannot read the setup program " + path + ": " + strerror(errno)};
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > (64 << 20)) {
        fclose(f);
        throw BuildError{path + ": not a setup program (not a file, or larger than 64 MB)"};
    }
    std::string out((size_t)st.st_size, '\0');
    size_t got = out.empty() ? 0 : fread(&out[0], 1, out.size(), f);
    fclose(f);
    if (got != out.size()) throw BuildError{"cannot read the setup program " + path};
    return out;
}

// Finds every source and checks every size before a byte of data is read.
std::vector<EntrySource> Sources(const Description& d, uint64_t dataStart, uint64_t* total) {
    std::string quickRef = SetupValue(d, "QuickRefFile");
    bool merging = !Section(d, "MergedFilesA").rows.empty();
    std::vector<EntrySource> out;
    uint64_t installed = 0, plainBytes = 0;
    bool sealed = false;
    for (size_t i = 0; i < d.files.size(); i++) {
        const DescFile& f = d.files[i];
        EntrySource e;
        e.entry = EntryName(f.entry);
        e.bare = BareName(e.entry);
        e.line = f.line;
        e.path = f.source;
        struct stat st;
        int r = stat(e.path.c_str(), &st);
        if (r != 0 && !f.sourceAnsi.empty() && stat(f.sourceAnsi.c_str(), &st) == 0)
            e.path = f.sourceAnsi, r = 0;
        // The entry in UTF-8 like the host path beside it, so the message is in one encoding.
        if (r != 0 || !S_ISREG(st.st_mode)) {
            Fail(d, f.line,
                 "cannot read " + f.source + " for " + Cp1252ToUtf8(f.entry) + ": " +
                     (r != 0 ? strerror(errno) : "not a file"));
            continue;
        }
        e.size = (uint64_t)st.st_size;
        e.mtime = st.st_mtime;
        if (e.size > 0xFFFFFFFFull)
            Fail(d, f.line,
                 f.entry + ": " + std::to_string(e.size) +
                     " bytes, larger than 4 GB; the file table holds 32-bit sizes");
        e.plain = i == 0 || SameName(f.entry.c_str(), quickRef.c_str()) ||
                  (merging && SameName(DirPart(f.entry).c_str(), "idb"));
        if (!e.plain && !sealed) e.sealed = sealed = true;
        installed += e.size;
        if (e.plain) plainBytes += e.size;
        // The setup sums the installed sizes in 32 bits for its disk-space check.
        // Each limit is said once, at the file that passes it.
        if (installed > 0xFFFFFFFFull && installed - e.size <= 0xFFFFFFFFull)
            Fail(d, f.line, "the files up to " + f.entry + " add up to more than 4 GB installed");
        if (e.plain && dataStart + plainBytes > 0x7FFFFFFF &&
            dataStart + plainBytes - e.size <= 0x7FFFFFFF)
            Fail(d, f.line, "the package passes 2 GB at " + f.entry + " (stored as it is)");
        out.push_back(e);
    }
    *total = installed;
    return out;
}

}  // namespace

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
    std::vector<std::string> warnings = CheckMeaning(d);
    for (const auto& w : warnings) Say(w);
    d.warnings += (unsigned)warnings.size();
    StoreReport report;
    report.description = d.path;
    std::vector<EntrySource> sources = Sources(d, script.size(), &report.totalBytes);
    if (d.errors || (opt.strict && d.warnings)) {
        std::string sum = d.path + ": ";
        if (d.errors) sum += std::to_string(d.errors) + (d.errors == 1 ? " error" : " errors");
        if (d.errors && opt.strict && d.warnings) sum += ", and ";
        if (opt.strict && d.warnings)
            sum += std::to_string(d.warnings) + (d.warnings == 1 ? " warning" : " warnings") +
                   " (warnings are errors with --strict)";
        throw BuildError{sum + "; nothing written"};
    }

    std::string stub;
    long marker = -1;
    if (!opt.stub.empty()) {
        stub = ReadStub(opt.stub);
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
    if (opt.checkOnly) {
        if (!opt.quiet)
            Say(d.path + ": no errors" +
                (d.warnings ? ", " + std::to_string(d.warnings) +
                                  (d.warnings == 1 ? " warning" : " warnings")
                            : "") +
                "; " + std::to_string(d.files.size()) + " files found, " +
                std::to_string(report.totalBytes) + " bytes installed; nothing written");
        return;
    }
    report.packageStart = stub.size();
    for (size_t i = 0; i < sources.size(); i++) installed[i] = (uint32_t)sources[i].size;

    std::string temp = opt.output + ".part";
    FILE* out = fopen(temp.c_str(), "wb");
    if (!out) throw BuildError{"cannot create " + temp + ": " + strerror(errno)};
    try {
        WriteAll(out, stub, temp);
        WriteAll(out, script, temp);  // placeholder: same length, sizes filled at the end
        uint64_t sealAt = 0;
        StoreEntries(out, temp, sources, opt, report, &stored, &sealAt);
        uint64_t end = stub.size() + script.size();
        for (uint32_t s : stored) end += s;
        std::string final = EncodeScript(d, installed, stored);
        if (fseeko(out, (off_t)stub.size(), SEEK_SET) != 0)
            throw BuildError{"cannot seek in " + temp};
        WriteAll(out, final, temp);
        if (sealAt)
            WriteSeal(out, temp, sealAt,
                      (uint32_t)crc32(0, (const Bytef*) final.data(), (uInt) final.size()));
        if (fclose(out) != 0) {
            out = nullptr;
            throw BuildError{"cannot write " + temp + ": " + strerror(errno)};
        }
        out = nullptr;
        if (rename(temp.c_str(), opt.output.c_str()) != 0)
            throw BuildError{"cannot rename " + temp + " to " + opt.output};
        if (!opt.quiet)
            fprintf(stderr, "kovpack: %s: %zu files, %llu bytes installed, %llu bytes%s\n",
                    opt.output.c_str(), d.files.size(), (unsigned long long)report.totalBytes,
                    (unsigned long long)end,
                    stub.empty() ? ""
                                 : (", package at offset " + std::to_string(stub.size())).c_str());
    } catch (...) {
        if (out) fclose(out);
        remove(temp.c_str());
        throw;
    }
}
