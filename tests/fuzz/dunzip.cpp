// Arbitrary bytes as an archive: extraction must fail cleanly or write one bare-named file.
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <string>

#include "dunzip/unzip.h"
#include "tests/fuzz/tempdir.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::string dir;
    if (dir.empty()) {
        std::string t = FuzzTempPath("fuzzunzip.XXXXXX");
        dir = mkdtemp(&t[0]);
    }
    std::string archive = dir + "/in.zip";
    FILE* f = fopen(archive.c_str(), "wb");
    if (!f) return 0;
    fwrite(data, 1, size, f);
    fclose(f);
    std::string out = dir + "/out";
    mkdir(out.c_str(), 0700);
    UnzipFirstMember(archive.c_str(), out.c_str(), '/');
    // Only bare names can have been written, straight into out.
    if (DIR* d = opendir(out.c_str())) {
        while (dirent* e = readdir(d))
            if (strcmp(e->d_name, ".") && strcmp(e->d_name, ".."))
                unlink((out + "/" + e->d_name).c_str());
        closedir(d);
    }
    if (rmdir(out.c_str()) != 0) abort();  // anything else left there is a fault
    return 0;
}
