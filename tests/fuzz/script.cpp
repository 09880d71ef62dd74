// Fuzzes the install script reader: any bytes as a package read with -X, then the look-ups
// and the clean-up that the run does on a script.
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>
#include "base/globals.h"
#include "package/package.h"
#include "tests/fuzz/tempdir.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The reader goes through the file seam, so the input becomes a file.
    static char path[512];
    if (!path[0])
        snprintf(path, sizeof path, "%s_%d.bin", FuzzTempPath("fuzz_script").c_str(),
                 (int)getpid());
    FILE* f = fopen(path, "wb");
    if (!f) return 0;
    fwrite(data, 1, size, f);
    fclose(f);

    ResetRunState();
    strcpy(InstallFile, path);
    InstallFileGiven = 1;
    if (OpenPackage() && ReadInstallScript()) {
        // Every entry's offset must follow the previous one's stored bytes.
        for (unsigned i = 1; i < FileTable->count; i++)
            if (FileTable->entry[i]->offset !=
                FileTable->entry[i - 1]->offset + FileTable->entry[i - 1]->storedSize)
                __builtin_trap();
        if (FileTable->count) FindPackageEntry(FileTable->entry[FileTable->count - 1]->name);
    } else if (SetupError == 0) {
        __builtin_trap();  // a failure always carries its number
    }
    ClosePackage();
    FreeInstallScript();
    return 0;
}
