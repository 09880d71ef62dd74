// Where a fuzz target keeps its files: $TMPDIR when set (a memory file system makes the
// long campaigns several times faster), else /tmp.
#pragma once
#include <stdlib.h>

#include <string>

inline std::string FuzzTempPath(const char* name) {
    const char* dir = getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/" + name;
}
