// Arbitrary bytes as an archive: extraction must fail cleanly or write one bare-named file,
// from the archive file and through a caller's reader (the setup's direct path), which is
// given the member's own name and declared size so that it gets past those checks.
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

namespace {

struct Bytes {
    const uint8_t* data;
    size_t size;
};

long ReadBytes(void* context, uint32_t at, unsigned char* buffer, unsigned size) {
    Bytes* b = (Bytes*)context;
    if (at > b->size) return -1;
    size_t n = size < b->size - at ? size : b->size - at;
    memcpy(buffer, b->data + at, n);
    return (long)n;
}

}  // namespace

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
    if (size >= 30) {
        size_t nameLen = data[26] | data[27] << 8;
        std::string name((const char*)data + 30, nameLen <= size - 30 ? nameLen : 0);
        if (!name.empty() && name != "." && name != ".." &&
            name.find_first_of(std::string("/\\:\0", 4)) == std::string::npos) {
            Bytes b = {data, size};
            uint32_t declared =
                data[22] | data[23] << 8 | data[24] << 16 | (uint32_t)data[25] << 24;
            UnzipMemberTo(ReadBytes, &b, (uint32_t)size, (out + "/" + name).c_str(), declared);
        }
    }
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
