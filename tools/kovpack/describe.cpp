// Reads a package description: INI-style sections, one setting or row per line.
#include "tools/kovpack/kovpack.h"
#include "tools/common/codepage.h"
#include "base/path.h"
#include "package/script.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include <ctype.h>
#include <errno.h>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

std::string Trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return "";
    size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

[[noreturn]] void Fail(const Description& d, int line, const std::string& what) {
    throw BuildError{d.path + ":" + std::to_string(line) + ": " + what};
}

bool SameText(const std::string& a, const char* b) { return SameName(a.c_str(), b); }

// A text of the description (held as UTF-8 while it is parsed) as the setup will hold it.
std::string Ansi(const Description& d, int line, const std::string& text) {
    std::string out;
    size_t at;
    uint32_t c;
    if (Utf8ToCp1252(text, &out, &at, &c)) return out;
    size_t end = at + 1;
    while (end < text.size() && ((unsigned char)text[end] & 0xC0) == 0x80) end++;
    char code[16];
    snprintf(code, sizeof code, "U+%04X", (unsigned)c);
    Fail(d, line,
         "\"" + text.substr(at, end - at) + "\" (" + code +
             ") has no place in Windows-1252, the code page of the setup's texts and names");
}

// A comment runs from a ';' at the start of a line, or after a space or tab, to the end of
// the line; a ';' inside a word ("a;b") is text. A line starting with '#' is a comment too.
// *comment receives what was cut, trimmed.
std::string StripComment(const std::string& line, std::string* comment = nullptr) {
    for (size_t i = 0; i < line.size(); i++)
        if (line[i] == ';' && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t')) {
            if (comment) *comment = Trim(line.substr(i + 1));
            return line.substr(0, i);
        }
    if (comment) comment->clear();
    return line;
}

// Texts the user reads, by field and column: a comment cut from one of them is most often
// the rest of the text ("Kov ; \xC3\xA9dition sp\xC3\xA9ciale"), so it is said.
const struct {
    const char* field;
    int column;
} kShownTexts[] = {
    {"GroupName", 0},     {"ItemTitle", 0},   {"FreshItemTitle", 0}, {"FrameTitle", 0},
    {"NextDiskLabel", 0}, {"SoundEvents", 0}, {"AddOnPrograms", 2},
};

void WarnCutText(const Description& d, int line, const char* field, int column,
                 const std::string& comment) {
    if (comment.empty()) return;
    for (const auto& t : kShownTexts)
        if (t.column == column && SameText(field, t.field))
            NoteWarning(d, line,
                        std::string(field) + ": \"; " + comment +
                            "\" is taken as a comment and left out of the text (a ';' after a "
                            "blank starts a comment; put a comment on a line of its own)");
}

// ${NAME} stands for the value given with -D NAME=VALUE; "$${" is a "${" of the text.
std::string Expand(const Description& d, int line, const std::string& text,
                   const Defines& defines) {
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        if (text.compare(i, 3, "$${") == 0) {
            out += "${";
            i += 2;
            continue;
        }
        if (text.compare(i, 2, "${") != 0) {
            out += text[i];
            continue;
        }
        size_t close = text.find('}', i + 2);
        if (close == std::string::npos)
            Fail(d, line, "\"${\" without its closing } (write $${ for a ${ of the text)");
        std::string name = text.substr(i + 2, close - i - 2);
        auto it = defines.find(name);
        if (it == defines.end())
            Fail(d, line,
                 "${" + name + "} is not defined (give it with -D " +
                     (name.empty() ? "NAME" : name) + "=VALUE)");
        out += it->second;
        i = close;
    }
    return out;
}

// How the description's bytes are to be read: a byte-order mark or an "Encoding =" line of
// [Setup] decide; without either, text that is valid UTF-8 is UTF-8 and anything else is
// Windows-1252. Returns the lines as UTF-8.
std::vector<std::string> DecodeLines(Description& d, std::string bytes) {
    auto bom = [&](const char* mark, size_t n) { return bytes.compare(0, n, mark, n) == 0; };
    if (bom("\xFF\xFE", 2) || bom("\xFE\xFF", 2))
        throw BuildError{d.path + ": UTF-16 text (it begins with a UTF-16 byte-order mark); save "
                                  "the description as UTF-8 or Windows-1252"};
    size_t nul = bytes.find('\0');
    if (nul != std::string::npos)
        Fail(d, 1 + (int)std::count(bytes.begin(), bytes.begin() + nul, '\n'),
             "a NUL byte: UTF-16 or binary data, not a description; save it as UTF-8 or "
             "Windows-1252");
    bool marked = bom("\xEF\xBB\xBF", 3);
    if (marked) bytes.erase(0, 3);

    std::vector<std::string> lines;
    std::stringstream in(bytes);
    for (std::string raw; std::getline(in, raw);) lines.push_back(raw);

    // The Encoding line is looked for before anything is parsed, since it says how to parse.
    int declared = 0, declaredLine = 0;  // 1: UTF-8, 2: Windows-1252
    bool inSetup = false;
    for (size_t i = 0; i < lines.size(); i++) {
        std::string text = Trim(StripComment(lines[i]));
        if (text.empty() || text[0] == '#') continue;
        if (text[0] == '[') {
            inSetup =
                text.back() == ']' && SameText(Trim(text.substr(1, text.size() - 2)), "Setup");
            continue;
        }
        size_t eq = text.find('=');
        if (!inSetup || eq == std::string::npos || !SameText(Trim(text.substr(0, eq)), "Encoding"))
            continue;
        std::string v = Trim(text.substr(eq + 1));
        int line = (int)i + 1;
        int kind = SameText(v, "UTF-8") || SameText(v, "UTF8")            ? 1
                   : SameText(v, "Windows-1252") || SameText(v, "CP1252") ? 2
                                                                          : 0;
        if (!kind) Fail(d, line, "Encoding: \"" + v + "\" is neither UTF-8 nor Windows-1252");
        if (declared)
            Fail(d, line,
                 "Encoding given twice (first at line " + std::to_string(declaredLine) + ")");
        declared = kind, declaredLine = line;
    }
    if (marked && declared == 2)
        Fail(d, declaredLine,
             "Encoding says Windows-1252 but the file begins with a UTF-8 byte-order mark");
    bool utf8 = marked || declared == 1 || (!declared && IsUtf8(bytes));
    d.encoding = utf8 ? "UTF-8" : "Windows-1252";
    // Text said to be Windows-1252 whose every high byte is part of a UTF-8 sequence was
    // almost surely saved as UTF-8: read as declared, "\xC3\x89" would install as two letters.
    bool looksUtf8 = declared == 2 && IsUtf8(bytes);
    for (size_t i = 0; i < lines.size(); i++) {
        if (!utf8) {
            std::string read = Cp1252ToUtf8(lines[i]);
            if (looksUtf8 && read != lines[i]) {
                looksUtf8 = false;
                NoteWarning(d, (int)i + 1,
                            "Encoding says Windows-1252, but the description is valid UTF-8: "
                            "this line reads \"" +
                                Trim(read) + "\", as UTF-8 \"" + Trim(lines[i]) +
                                "\" (say Encoding = UTF-8, or save the file as Windows-1252)");
            }
            lines[i] = read;
        } else if (!IsUtf8(lines[i])) {
            NoteError(d, (int)i + 1,
                      std::string("not valid UTF-8, though the description is read as UTF-8 (") +
                          (marked ? "it begins with a UTF-8 byte-order mark" : "Encoding = UTF-8") +
                          ")");
            lines[i].clear();
        }
    }
    return lines;
}

// The script field a [Setup] key names: a text, number, flag or version; null for others.
const ScriptField* SetupField(const std::string& key) {
    const ScriptField* f = FindScriptField(key.c_str());
    if (!f) return nullptr;
    switch (f->kind) {
    case SCRIPT_TEXT:
    case SCRIPT_NUMBER8:
    case SCRIPT_NUMBER32:
    case SCRIPT_YES:
    case SCRIPT_FLAG:
    case SCRIPT_VERSION: return f;
    }
    return nullptr;
}

// The script field a section carries: a list or a counted table; null for others.
const ScriptField* SectionField(const std::string& name) {
    const ScriptField* f = FindScriptField(name.c_str());
    return f && (f->kind == SCRIPT_LIST || f->kind == SCRIPT_KEYS || f->kind == SCRIPT_WORDS)
               ? f
               : nullptr;
}

// Numbers: decimal or 0x hexadecimal, within max.
uint32_t Number(const Description& d, int line, const std::string& field, const std::string& text,
                uint64_t max) {
    // Base 16 only after "0x": a leading zero must not turn "010" into octal 8.
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* p = text.c_str();
    char* end;
    errno = 0;
    unsigned long long v = strtoull(p, &end, hex ? 16 : 10);
    if (text.empty() || !isxdigit((unsigned char)text[hex ? 2 : 0]) || *end || errno || v > max)
        Fail(d, line,
             field + ": \"" + text + "\" is not a number from 0 to " + std::to_string(max));
    return (uint32_t)v;
}

// Versions in two bytes, "major.minor", stored major first.
uint16_t Version(const Description& d, int line, const std::string& field,
                 const std::string& text) {
    size_t dot = text.find('.');
    if (dot == std::string::npos)
        Fail(d, line, field + ": \"" + text + "\" is not a version major.minor");
    uint32_t major = Number(d, line, field, text.substr(0, dot), 255);
    uint32_t minor = Number(d, line, field, text.substr(dot + 1), 255);
    return (uint16_t)(major | minor << 8);
}

std::vector<std::string> SplitColumns(const std::string& line) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t bar = line.find('|', start);
        out.push_back(
            Trim(line.substr(start, bar == std::string::npos ? std::string::npos : bar - start)));
        if (bar == std::string::npos) return out;
        start = bar + 1;
    }
}

std::string Directory(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

BuildError TooMany(const Description& d) {
    return BuildError{d.path + ": " + std::to_string(d.errors) +
                      " errors; stopped there, nothing written"};
}

}  // namespace

void Say(const std::string& text) {
    // Messages quote texts as the setup holds them, in Windows-1252.
    std::string shown = LocaleIsUtf8() && !IsUtf8(text) ? Cp1252ToUtf8(text) : text;
    fprintf(stderr, "kovpack: %s\n", shown.c_str());
}

void NoteError(const Description& d, int line, const std::string& what) {
    d.errors++;
    Say(d.path + ":" + std::to_string(line) + ": " + what);
    if (d.errors >= kMaxErrors) throw TooMany(d);
}

void NoteWarning(const Description& d, int line, const std::string& what) {
    d.warnings++;
    Say(d.path + ":" + std::to_string(line) + ": warning: " + what);
}

const DescList& Section(const Description& d, const char* field) {
    static const DescList none;
    auto it = d.sections.find(field);
    return it == d.sections.end() ? none : it->second;
}

std::string SetupValue(const Description& d, const char* name) {
    for (const auto& kv : d.setup)
        if (SameText(kv.first, name)) return kv.second;
    return "";
}

Description ReadDescription(const std::string& path, const std::string& sourceDir,
                            const Defines& defines) {
    Description d;
    bool standardInput = path == "-";
    d.path = standardInput ? "<stdin>" : path;
    std::string bytes;
    if (standardInput) {
        char buffer[65536];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, stdin)) > 0) bytes.append(buffer, n);
        if (ferror(stdin))
            throw BuildError{"cannot read the description from standard input: " +
                             std::string(strerror(errno))};
    } else {
        std::ifstream in(path, std::ios::binary);
        if (!in) throw BuildError{"cannot read " + path + ": " + strerror(errno)};
        bytes.assign((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad()) throw BuildError{"cannot read " + path};
    }
    std::vector<std::string> lines = DecodeLines(d, bytes);
    // Sources of a description read from standard input are found from the current folder.
    std::string base = !sourceDir.empty() ? sourceDir : standardInput ? "." : Directory(path);

    enum { NONE, SETUP, FIELD, TOOL, FILES } section = NONE;
    const ScriptField* field = nullptr;
    DescList* list = nullptr;
    // Every section once: a repeated one would otherwise be merged without a word.
    std::vector<std::pair<std::string, int>> seen;
    auto once = [&](const std::string& name, int line) {
        for (const auto& s : seen)
            if (SameText(s.first, name.c_str()))
                Fail(d, line,
                     "section [" + name + "] given twice (first at line " +
                         std::to_string(s.second) + ")");
        seen.push_back({name, line});
    };
    std::vector<int> minVersionLines;
    // One line; an error in it is said and the next line is read.
    auto parseLine = [&](int line, const std::string& raw) {
        std::string comment;
        std::string text = Trim(StripComment(raw, &comment));
        if (text.empty() || text[0] == '#') return;
        text = Trim(Expand(d, line, text, defines));
        if (text.empty()) return;
        if (text[0] == '[') {
            if (text.back() != ']') Fail(d, line, "section header without ]");
            std::string name = Trim(text.substr(1, text.size() - 2));
            field = nullptr;
            list = nullptr;
            if (SameText(name, "Setup")) {
                section = SETUP;
                once("Setup", line);
            } else if (SameText(name, "Files")) {
                section = FILES;
                once("Files", line);
            } else if (name.size() > 11 && SameText(name.substr(0, 11), "ToolModule ")) {
                section = TOOL;
                DescTool t;
                t.name = Ansi(d, line, Trim(name.substr(11)));
                t.line = line;
                once("ToolModule " + Trim(name.substr(11)), line);
                d.tools.push_back(t);
                minVersionLines.push_back(0);
            } else if ((field = SectionField(name))) {
                section = FIELD;
                once(field->name, line);
                list = &d.sections[field->name];
                list->line = line;
            } else {
                Fail(d, line, "unknown section [" + name + "]");
            }
            return;
        }
        size_t eq = text.find('=');
        switch (section) {
        case NONE:
            Fail(d, line,
                 "text outside any section (a description starts with a section such as "
                 "[Setup])");
        case SETUP: {
            if (eq == std::string::npos) Fail(d, line, "expected Name = value");
            std::string key = Trim(text.substr(0, eq)),
                        value = Ansi(d, line, Trim(text.substr(eq + 1)));
            if (SameText(key, "Encoding")) {
                break;
            }
            if (SameText(key, "ResourceTag")) {
                if (d.resourceTagLine)
                    Fail(d, line,
                         "ResourceTag given twice (first at line " +
                             std::to_string(d.resourceTagLine) + ")");
                d.resourceTag = value;
                d.resourceTagLine = line;
                if (value.size() > 15)
                    Fail(d, line,
                         "ResourceTag: " + std::to_string(value.size()) + " bytes, at most 15");
                break;
            }
            const ScriptField* f = SetupField(key);
            if (!f) Fail(d, line, "unknown setting " + key);
            key = f->name;
            for (size_t i = 0; i < d.setup.size(); i++)
                if (d.setup[i].first == key)
                    Fail(d, line,
                         key + " given twice (first at line " + std::to_string(d.setupLines[i]) +
                             ")");
            d.setup.push_back({key, value});
            d.setupLines.push_back(line);
            WarnCutText(d, line, f->name, 0, comment);
            break;
        }
        case FIELD:
            list->rowLines.push_back(line);
            if (field->kind == SCRIPT_KEYS) {
                list->values.push_back(Number(d, line, field->name, text, 0xFFFFFFFFu));
            } else if (field->kind == SCRIPT_WORDS) {
                list->values.push_back(text.find('.') != std::string::npos
                                           ? Version(d, line, "version", text)
                                           : (uint16_t)Number(d, line, "word", text, 0xFFFF));
            } else {
                std::vector<std::string> row = SplitColumns(Ansi(d, line, text));
                if ((int)row.size() > field->columns)
                    Fail(d, line,
                         "row has " + std::to_string(row.size()) + " columns, the list has " +
                             std::to_string(field->columns));
                WarnCutText(d, line, field->name, (int)row.size() - 1, comment);
                row.resize(field->columns);
                list->rows.push_back(row);
            }
            break;
        case TOOL: {
            DescTool& t = d.tools.back();
            if (eq == std::string::npos)
                Fail(d, line, "expected MinVersion, Key or Companion = value");
            std::string key = Trim(text.substr(0, eq)),
                        value = Ansi(d, line, Trim(text.substr(eq + 1)));
            if (SameText(key, "MinVersion")) {
                int& first = minVersionLines.back();
                if (first)
                    Fail(d, line,
                         "MinVersion given twice (first at line " + std::to_string(first) + ")");
                first = line;
                // Either a packed number or four dotted parts a.b.c.d, a byte each.
                if (std::count(value.begin(), value.end(), '.') == 3) {
                    uint32_t v = 0;
                    std::stringstream parts(value);
                    std::string part;
                    while (std::getline(parts, part, '.'))
                        v = v << 8 | Number(d, line, "MinVersion", part, 255);
                    t.minVersion = v;
                } else {
                    t.minVersion = Number(d, line, "MinVersion", value, 0xFFFFFFFFu);
                }
            } else if (SameText(key, "Key")) {
                t.keys.push_back(Number(d, line, "Key", value, 0xFFFFFFFFu));
            } else if (SameText(key, "Companion")) {
                t.companions.push_back(value);
            } else {
                Fail(d, line, "unknown tool module setting " + key);
            }
            break;
        }
        case FILES: {
            DescFile f;
            f.line = line;
            std::string source;
            if (eq == std::string::npos) {
                f.entry = Ansi(d, line, text);
                source = text;
            } else {
                f.entry = Ansi(d, line, Trim(text.substr(0, eq)));
                source = Trim(text.substr(eq + 1));
            }
            // Sources are host paths; backslashes of an entry-like source become slashes.
            for (char& c : source)
                if (c == '\\') c = '/';
            if (!source.empty() && source[0] != '/') source = base + "/" + source;
            // Names on disk are UTF-8 on the machines kovpack runs on; a file named in the
            // code page itself is still found by its Windows-1252 bytes.
            f.source = source;
            std::string ansi;
            size_t at;
            uint32_t c;
            if (Utf8ToCp1252(source, &ansi, &at, &c) && ansi != source) f.sourceAnsi = ansi;
            d.files.push_back(f);
            break;
        }
        }
    };
    for (size_t n = 0; n < lines.size(); n++) {
        try {
            parseLine((int)n + 1, lines[n]);
        } catch (const BuildError& e) {
            d.errors++;
            Say(e.text);
            if (d.errors >= kMaxErrors) throw TooMany(d);
        }
    }
    return d;
}
