// Command-line options. Letters are case-insensitive and '-' equals '/'; after an option
// and its value the rest of the word is skipped, so "-Crash" counts as "-C".
#include "setup/options.h"

#include <stdlib.h>
#include <string.h>

#include "base/globals.h"
#include "setup/answers.h"

// Copies the word at p (up to the next blank) into out, at most max characters; returns
// the position after the whole word.
static const char* TakeWord(const char* p, char* out, int max) {
    int n = 0;
    while (*p && *p != ' ') {
        if (n < max) out[n++] = *p;
        p++;
    }
    out[n] = 0;
    return p;
}

// A value in double quotes is taken whole, blanks included and quotes left out: the relaunch
// quotes a package path such as "D:\KOV 30I\SETUP.EXE". Any other value is one word.
static const char* TakeValue(const char* p, char* out, int max) {
    if (*p != '"') return TakeWord(p, out, max);
    int n = 0;
    for (p++; *p && *p != '"'; p++)
        if (n < max) out[n++] = *p;
    out[n] = 0;
    return *p ? p + 1 : p;
}

static const char* SkipBlanks(const char* p) {
    while (*p == ' ') p++;
    return p;
}

const char* CommandTail(const char* line) {
    if (!line) return "";
    const unsigned char* p = (const unsigned char*)line;
    int quoted = 0;
    while (*p > ' ' || (*p && quoted)) {
        if (*p == '"') quoted = !quoted;
        p++;
    }
    while (*p && *p <= ' ') p++;
    return (const char*)p;
}

void ParseCommandLine(const char* text) {
    if (!text) return;
    ContinuationRun = NoDesktopItems = WriteVersionFile = OfferWin31Choice = 0;
    SkipModemOption = NoDesktopItemsOption = OfferWin31ChoiceOption = 0;

    const char* p = text;
    for (;;) {
        p = SkipBlanks(p);
        if (!*p) break;
        if (*p != '-' && *p != '/') {
            while (*p && *p != ' ') p++;
            continue;
        }
        p++;
        // A lone "-" or "/" is a word of its own: the blank after it ends it, and the next
        // word is parsed as usual.
        char letter = 0;
        if (*p && *p != ' ') letter = *p++;
        if (letter >= 'a' && letter <= 'z') letter = (char)(letter - 'a' + 'A');
        switch (letter) {
        case 'C': CrashMode = 1; break;
        case 'D': NoDesktopItems = NoDesktopItemsOption = 1; break;
        case 'M': SkipModem = SkipModemOption = 1; break;
        case 'R': RestartWindows = 1; break;
        case 'S': OfferWin31Choice = OfferWin31ChoiceOption = 1; break;
        case 'V': WriteVersionFile = 1; break;
        case 'P': {
            // Everything to the end, blanks included, is the previous run's value.
            ContinuationRun = 1;
            p = SkipBlanks(p);
            size_t n = strlen(p);
            if (n > sizeof ContinuationText - 1) n = sizeof ContinuationText - 1;
            memcpy(ContinuationText, p, n);
            ContinuationText[n] = 0;
            return;
        }
        case 'T': {
            char word[20];
            p = TakeWord(SkipBlanks(p), word, 19);
            PackageOffsetGiven = 1;
            PackageOffsetOption = (uint32_t)strtoul(word, nullptr, 10);
            break;
        }
        case 'X':
            p = TakeValue(SkipBlanks(p), InstallFile, sizeof InstallFile - 1);
            InstallFileGiven = 1;
            break;
        case 'U': {
            // The answer file is the next word unless that is an option of its own.
            UnattendedMode = 1;
            const char* next = SkipBlanks(p);
            if (p != next && *next && *next != '-' && *next != '/')
                p = TakeValue(next, AnswerFile, sizeof AnswerFile - 1);
            break;
        }
        default: break;
        }
        while (*p && *p != ' ') p++;
    }
}
