// Reads a package description: INI-style sections, one setting or row per line.
#include "tools/kovpack/kovpack.h"
#include "base/path.h"
#include "package/script.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include <ctype.h>
#include <errno.h>
#include <fstream>
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

}  // namespace

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

Description ReadDescription(const std::string& path, const std::string& sourceDir) {
    Description d;
    d.path = path;
    std::ifstream in(path, std::ios::binary);
    if (!in) throw BuildError{"cannot read " + path};
    std::string base = sourceDir.empty() ? Directory(path) : sourceDir;

    enum { NONE, SETUP, FIELD, TOOL, FILES } section = NONE;
    const ScriptField* field = nullptr;
    DescList* list = nullptr;
    std::string raw;
    int line = 0;
    while (std::getline(in, raw)) {
        line++;
        std::string text = Trim(raw);
        if (text.empty() || text[0] == ';' || text[0] == '#') continue;
        if (text[0] == '[') {
            if (text.back() != ']') Fail(d, line, "section header without ]");
            std::string name = Trim(text.substr(1, text.size() - 2));
            field = nullptr;
            list = nullptr;
            if (SameText(name, "Setup")) section = SETUP;
            else if (SameText(name, "Files")) section = FILES;
            else if (name.size() > 11 && SameText(name.substr(0, 11), "ToolModule ")) {
                section = TOOL;
                d.tools.push_back(DescTool{});
                d.tools.back().name = Trim(name.substr(11));
                d.tools.back().line = line;
            } else if ((field = SectionField(name))) {
                section = FIELD;
                list = &d.sections[field->name];
                list->line = line;
            } else {
                Fail(d, line, "unknown section [" + name + "]");
            }
            continue;
        }
        size_t eq = text.find('=');
        switch (section) {
        case NONE: Fail(d, line, "text outside any section");
        case SETUP: {
            if (eq == std::string::npos) Fail(d, line, "expected Name = value");
            std::string key = Trim(text.substr(0, eq)), value = Trim(text.substr(eq + 1));
            if (SameText(key, "ResourceTag")) {
                d.resourceTag = value;
                if (value.size() > 15)
                    Fail(d, line,
                         "ResourceTag: " + std::to_string(value.size()) + " bytes, at most 15");
                break;
            }
            const ScriptField* f = SetupField(key);
            if (!f) Fail(d, line, "unknown setting " + key);
            key = f->name;
            for (const auto& kv : d.setup)
                if (kv.first == key) Fail(d, line, key + " given twice");
            d.setup.push_back({key, value});
            d.setupLines.push_back(line);
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
                std::vector<std::string> row = SplitColumns(text);
                if ((int)row.size() > field->columns)
                    Fail(d, line,
                         "row has " + std::to_string(row.size()) + " columns, the list has " +
                             std::to_string(field->columns));
                row.resize(field->columns);
                list->rows.push_back(row);
            }
            break;
        case TOOL: {
            DescTool& t = d.tools.back();
            if (eq == std::string::npos)
                Fail(d, line, "expected MinVersion, Key or Companion = value");
            std::string key = Trim(text.substr(0, eq)), value = Trim(text.substr(eq + 1));
            if (SameText(key, "MinVersion")) {
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
            if (eq == std::string::npos) {
                f.entry = text;
                f.source = text;
            } else {
                f.entry = Trim(text.substr(0, eq));
                f.source = Trim(text.substr(eq + 1));
            }
            // Sources are host paths; backslashes of an entry-like source become slashes.
            for (char& c : f.source)
                if (c == '\\') c = '/';
            if (!f.source.empty() && f.source[0] != '/') f.source = base + "/" + f.source;
            d.files.push_back(f);
            break;
        }
        }
    }
    return d;
}
