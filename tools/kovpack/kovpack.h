// kovpack: builds the install package (script, file table, stored files) from a package
// description, and lists a package back through the setup's own reader.
#pragma once
#include <stdint.h>
#include <string>
#include <vector>

// A builder error names the description file, the line and the field.
struct BuildError {
    std::string text;
};

struct DescList {
    int columns = 1;
    std::vector<std::vector<std::string>> rows;
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
    std::string entry;   // name in the file table
    std::string source;  // host path of the file's contents
    int line = 0;
};

struct Description {
    std::string path;  // of the description itself
    // [Setup]: every text, number and flag of the script by name, with the line it came from.
    std::vector<std::pair<std::string, std::string>> setup;
    std::vector<int> setupLines;
    std::string resourceTag;
    std::vector<uint32_t> carriedRecordIds;
    std::vector<uint16_t> reservedWords, exactNewer, minimumNewer;
    int wordLines[3] = {};  // section lines of the three word lists
    int idsLine = 0;
    DescList lists[13];  // indexed by ListId
    std::vector<DescTool> tools;
    std::vector<DescFile> files;
};

enum ListId {
    L_SOUND,
    L_PRESERVED,
    L_CREATEDIRS,
    L_WINDELETES,
    L_DESTDELETES,
    L_MERGEDA,
    L_MERGEDB,
    L_BROWSERS,
    L_RESERVED45,
    L_RESERVED46,
    L_ADDONS,
    L_RESERVED48,
    L_COUNT
};

// describe.cpp
Description ReadDescription(const std::string& path, const std::string& sourceDir);
// Looks a [Setup] value up by name; empty when not given.
std::string SetupValue(const Description& d, const char* name);

// write.cpp. The names of every [Setup] setting, in script order.
extern const char* const kSetupKeys[];
extern const int kSetupKeyCount;
struct BuildOptions {
    std::string output;
    std::string stub;  // empty: bare package
    int level = 6;
    bool quiet = false;
};
void BuildPackage(const Description& d, const BuildOptions& o);
// Encodes the script and file table for the given stored and installed sizes.
std::string EncodeScript(const Description& d, const std::vector<uint32_t>& installed,
                         const std::vector<uint32_t>& stored);

// list.cpp
int ListPackage(const std::string& path);
// Offset of the unique "_ZoffZ_" marker in an image, -1 when absent, -2 when repeated.
long FindOffsetMarker(const std::string& image);
