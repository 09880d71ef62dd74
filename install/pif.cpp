// DOSGAME.PIF: the program information file that lets Windows run the DOS game of the
// client, written into the Windows folder beside the other PIFs.
#include <string.h>

#include "base/globals.h"
#include "base/log.h"
#include "base/path.h"
#include "base/text.h"
#include "base/write.h"
#include "install/destination.h"
#include "install/install.h"
#include "package/package.h"
#include "record/installrec.h"
#include "res/strings.h"
#include "sys/sys.h"

namespace {

// The file, field by field: offset, size, the bytes that begin it (as many as bytesLen
// says) and the byte that fills the rest.
struct PifField {
    unsigned offset, size;
    const char* bytes;
    unsigned bytesLen;
    unsigned char fill;
};
#define B(text) text, sizeof text - 1
const PifField kPifFields[] = {
    {0, 1, B("\x00"), 0},
    {1, 1, B("\x13"), 0},  // checksum byte, as it is
    {2, 30, B("DOS Game"), ' '},
    {32, 2, B("\x80\x00"), 0},  // maximum memory, kilobytes
    {34, 2, B("\x80\x00"), 0},  // minimum memory, kilobytes
    {36, 63, B(""), ' '},       // program path
    {99, 1, B("\x10"), 0},
    {100, 2, B("\x00\x00"), 0},  // start-up folder: empty
    {102, 63, B(""), ' '},
    {165, 6, B(""), 0},  // parameters: empty
    {171, 58, B(""), ' '},
    {229, 8, B("\x7F\x01\x00\xFF\x19\x50\x00\x00"), 0},  // video, pages, interrupts, 25x80
    {237, 2, B("\x07\x00"), 0},                          // system memory
    {239, 128, B(""), 0},
    {367, 2, B("\xE0\x60"), 0},
    {369, 16, B("MICROSOFT PIFEX"), 0},
    {385, 6, B("\x87\x01\x00\x00\x71\x01"), 0},
    {391, 16, B("WINDOWS 386 3.0"), 0},
    {407, 6, B("\x05\x02\x9D\x01\x68\x00"), 0},
    {413, 21,
     B("\xFF\xFF\xFF\xFF\xE8\x03\x32\x00\x00\x04\x00\x00\x00\x04\x00\x00\x0C\x20\x02\x00\xC9"), 0},
    {434, 21, B(""), 0},
    {455, 62, B(""), ' '},
    {517, 16, B("WINDOWS 286 3.0"), 0},
    {533, 6, B("\xFF\xFF\x1B\x02\x06\x00"), 0},
    {539, 6, B(""), 0},
};
#undef B

}  // namespace

int BuildGamePif(unsigned char* out, const char* programPath) {
    size_t n = strlen(programPath);
    if (n > PIF_PROGRAM_MAX) return 0;
    for (const PifField& f : kPifFields) {
        memset(out + f.offset, f.fill, f.size);
        memcpy(out + f.offset, f.bytes, f.bytesLen);
    }
    memcpy(out + PIF_PROGRAM_AT, programPath, n + 1);
    return 1;
}

int CreateGamePif(void) {
    char program[MAX_PATH_TEXT], pif[MAX_PATH_TEXT], name[50];
    unsigned char data[PIF_SIZE];
    CopyText(name, LoadCaption(IDS_GAME_PROGRAM), sizeof name);
    DestPath(program, name);
    if (!BuildGamePif(data, program)) {
        LogPrintf("Game PIF not written: %s is longer than %u characters", program,
                  (unsigned)PIF_PROGRAM_MAX);
        return 0;
    }
    CopyText(name, LoadCaption(IDS_GAME_PIF), sizeof name);
    JoinPath(pif, WindowsDir, name, (const char*)0);
    // A PIF that was there before the install is the user's: the uninstaller leaves it.
    int existed = PathExists(pif);
    SysFile f = SysCreate(pif);
    if (!f) {
        LogPrintf("Couldn't create game PIF");
        return 0;
    }
    if (!WriteAllRetry(f, data, PIF_SIZE)) {
        SysClose(f);
        SysDelete(pif);  // half a PIF would not run the game
        return 0;
    }
    if (!SysClose(f)) {
        LogPrintf("Couldn't close game PIF");
        return 0;
    }
    LogPrintf("Created %s", pif);
    if (!existed) RecordFile(pif);
    return 1;
}
