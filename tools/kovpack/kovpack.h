// kovpack: builds the install package (script, file table, stored files) from a package
// description, and lists a package back through the setup's own reader.
#pragma once
#include <stdint.h>
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
    // The list and table sections, by the name of the script field they carry.
    std::map<std::string, DescList> sections;
    std::vector<DescTool> tools;
    std::vector<DescFile> files;
};
// The section of that script field; an empty one when the description leaves it out.
const DescList& Section(const Description& d, const char* field);

// describe.cpp
Description ReadDescription(const std::string& path, const std::string& sourceDir);
// Looks a [Setup] value up by name; empty when not given.
std::string SetupValue(const Description& d, const char* name);

// write.cpp.
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
