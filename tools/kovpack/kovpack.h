// kovpack: builds the install package (script, file table, stored files) from a package
// description, and lists a package back through the setup's own reader.
#pragma once
#include <stdint.h>
#include <stdio.h>
#include <time.h>
#include <map>
#include <string>
#include <vector>

// A builder error names the description file, the line and the field.
struct BuildError {
    std::string text;
};

// A section that carries one field of the script: the rows of a list, or the values of a
// counted table (CarriedRecordIds, the version tables), with the line each came from.
struct DescList {
    std::vector<std::vector<std::string>> rows;
    std::vector<uint32_t> values;
    std::vector<int> rowLines;
    int line = 0;  // where the section starts, for messages
};

struct DescTool {
    std::string name;
    uint32_t minVersion = 0;
    std::vector<uint32_t> keys;
    std::vector<std::string> companions;
    int line = 0;
};

struct DescFile {
    std::string entry;       // name in the file table
    std::string source;      // host path of the file's contents (UTF-8)
    std::string sourceAnsi;  // the same path in Windows-1252 bytes, when it differs
    int line = 0;
};

struct Description {
    std::string path;      // of the description itself, "<stdin>" when read from there
    std::string encoding;  // how its bytes were read: "UTF-8" or "Windows-1252"
    // [Setup]: every text, number and flag of the script by name, with the line it came from.
    std::vector<std::pair<std::string, std::string>> setup;
    std::vector<int> setupLines;
    std::string resourceTag;
    int resourceTagLine = 0;
    // The list and table sections, by the name of the script field they carry.
    std::map<std::string, DescList> sections;
    std::vector<DescTool> tools;
    std::vector<DescFile> files;
    // Errors and warnings are said as they are found and counted here, so that one run names
    // every mistake of a description instead of the first only.
    mutable unsigned errors = 0, warnings = 0;
};
// Past this many errors the checks stop: what follows is mostly the same mistake again.
const unsigned kMaxErrors = 20;
// Says an error of the description at its line, on standard error, and counts it; throws a
// BuildError once kMaxErrors have been said.
void NoteError(const Description& d, int line, const std::string& what);
// The same for a warning (an error with --strict).
void NoteWarning(const Description& d, int line, const std::string& what);
// One line on standard error, "kovpack: " first; texts of the setup held in Windows-1252 are
// shown as UTF-8 on a UTF-8 terminal.
void Say(const std::string& text);
// The section of that script field; an empty one when the description leaves it out.
const DescList& Section(const Description& d, const char* field);

// describe.cpp
// Names given with -D NAME=VALUE, as UTF-8; ${NAME} in the description stands for the value.
typedef std::map<std::string, std::string> Defines;
// Reads the description at path ("-": standard input). An error of one line is said and
// counted, and the next line is read; an error of the whole file (unreadable, UTF-16) is thrown.
Description ReadDescription(const std::string& path, const std::string& sourceDir,
                            const Defines& defines = Defines());
// Looks a [Setup] value up by name; empty when not given.
std::string SetupValue(const Description& d, const char* name);

// write.cpp.
// Appends v little-endian, as every number of the package and of a zip archive is stored.
void Put16(std::string& s, unsigned v);
void Put32(std::string& s, uint32_t v);
struct BuildOptions {
    std::string output;
    std::string stub;           // empty: bare package
    int level = 6;              // zlib's level, 1 to 9: streamed files, --fast, and --smallest
    int bestLevel = 9;          // libdeflate's level for whole files (0: zlib alone)
    bool bothEncoders = false;  // whole files: both encoders, the smaller stream kept
    unsigned jobs = 0;          // compressing threads; 0: one per core
    // Files up to this many MB are read whole and tried with both encoders; larger ones
    // are deflated by zlib in streamed chunks.
    unsigned streamAboveMb = 32;
    bool quiet = false;
    bool strict = false;     // warnings about what the description means are errors
    bool checkOnly = false;  // every check, the source files found, nothing written
};
// Checks everything first and says every error; throws a BuildError that sums them up when
// there is any, before a byte is written.
void BuildPackage(const Description& d, const BuildOptions& o);
// What the description means, checked beyond what the setup's reader demands: names that
// should be entries of [Files]. Errors are noted; warnings are returned, one line each.
std::vector<std::string> CheckMeaning(const Description& d);
// Encodes the script and file table for the given stored and installed sizes.
std::string EncodeScript(const Description& d, const std::vector<uint32_t>& installed,
                         const std::vector<uint32_t>& stored);

// store.cpp: one file of [Files] as it will be stored.
struct EntrySource {
    std::string entry;  // table name, Windows-1252
    std::string bare;   // the archive member's name: the entry's last part
    std::string path;   // host path
    uint64_t size = 0;
    time_t mtime = 0;
    int line = 0;
    bool plain = false;   // stored as it is
    bool sealed = false;  // carries the script's check value in its archive comment
};
struct StoreReport {
    std::string description;  // for messages
    uint64_t totalBytes = 0;  // of every source, for the progress lines
    uint64_t packageStart = 0;
};
// Writes every entry's stored bytes at the current position of out; fills the stored sizes
// and the position of the seal's digits (0 when no entry carries it).
void StoreEntries(FILE* out, const std::string& outPath, const std::vector<EntrySource>& sources,
                  const BuildOptions& o, const StoreReport& report, std::vector<uint32_t>* stored,
                  uint64_t* sealAt);
void WriteSeal(FILE* out, const std::string& outPath, uint64_t sealAt, uint32_t crc);
// The text before the eight hex digits of the seal.
const char* SealText();

// list.cpp
struct ListOptions {
    bool verify = false;  // inflate and check every entry, check the seal
    bool raw = false;     // texts as stored (Windows-1252), not converted for the terminal
};
int ListPackage(const std::string& path, const ListOptions& o);
// Offset of the unique "_ZoffZ_" marker in an image, -1 when absent, -2 when repeated.
long FindOffsetMarker(const std::string& image);
