// The unattended run: the answer file's reader, the table of the run's questions with their
// answers, and the exit code. Portable: it knows the questions by their string and template
// ids only; the unattended seat (setup/connect.cpp) asks it and acts on its answers.
#include "setup/answers.h"

#include <string.h>

#include "base/format.h"
#include "base/globals.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/path.h"
#include "base/seat.h"
#include "res/resource.h"
#include "res/strings.h"
#include "sys/sys.h"

AnswerT Answers[ANSWER_COUNT];
uint32_t UnattendedMode;
char AnswerFile[260];
uint32_t RunStopCode;
uint32_t SetupExitCode;

// ---- The answer file ----------------------------------------------------------------------

enum AnswerKind { KIND_FOLDER, KIND_WORD, KIND_NUMBER, KIND_TEXT };
// A folder is at most what the folder dialogs' field holds.
enum { ANSWER_FILE_MAX = 65536, ANSWER_LINE_MAX = 511, FOLDER_MAX = 255 };

static const char* const kYesNo[] = {"no", "yes", nullptr};
static const char* const kRestart[] = {"never", "ask", "allow", nullptr};
static const char* const kModemModes[] = {"detect", "skip", "port", nullptr};
static const char* const kCacheSizes[] = {"5", "10", "20", nullptr};

// One row per key: where it is, what it takes, where it goes and its limits (the length of a
// folder or text, the range of a number; a word must be one of the row's words).
static const struct AnswerKey {
    const char* section;
    const char* key;
    int kind;
    int target;
    int32_t min, max;
    const char* const* words;
} kAnswerKeys[] = {
    {"Install", "DestDir", KIND_FOLDER, ANSWER_DEST_DIR, 3, FOLDER_MAX, nullptr},
    {"Install", "PreviousDir", KIND_FOLDER, ANSWER_PREVIOUS_DIR, 0, FOLDER_MAX, nullptr},
    {"Install", "Cache", KIND_WORD, ANSWER_CACHE, 0, 0, kCacheSizes},
    {"Install", "DesktopItems", KIND_WORD, ANSWER_DESKTOP_ITEMS, 0, 0, kYesNo},
    {"Install", "StartMenu", KIND_WORD, ANSWER_START_MENU, 0, 0, kYesNo},
    {"Install", "AddOns", KIND_WORD, ANSWER_ADDONS, 0, 0, kYesNo},
    {"Install", "PrintGuide", KIND_WORD, ANSWER_PRINT_GUIDE, 0, 0, kYesNo},
    {"Install", "Restart", KIND_WORD, ANSWER_RESTART, 0, 0, kRestart},
    {"Modem", "Mode", KIND_WORD, ANSWER_MODEM_MODE, 0, 0, kModemModes},
    {"Modem", "Port", KIND_NUMBER, ANSWER_MODEM_PORT, 1, 4, nullptr},
    {"Modem", "Speed", KIND_NUMBER, ANSWER_MODEM_SPEED, 0, 11, nullptr},
    {"Modem", "Profile", KIND_TEXT, ANSWER_MODEM_PROFILE, 1, 15, nullptr},
    {"Modem", "Description", KIND_TEXT, ANSWER_MODEM_DESCRIPTION, 1, 59, nullptr},
};
static_assert(sizeof kAnswerKeys / sizeof kAnswerKeys[0] == ANSWER_COUNT, "one row per key");

static const AnswerKey* KeyRow(int target) {
    for (const AnswerKey& row : kAnswerKeys)
        if (row.target == target) return &row;
    return nullptr;
}

static int IsBlank(char c) { return c == ' ' || c == '\t'; }

// Cuts blanks from both ends of text[0..n) in place; returns the new start and length.
static char* Trim(char* text, size_t* n) {
    while (*n && IsBlank(*text)) text++, (*n)--;
    while (*n && IsBlank(text[*n - 1])) (*n)--;
    text[*n] = 0;
    return text;
}

// Stores one value by its row; 0 with a log line when it is not acceptable.
static int StoreValue(const AnswerKey& row, const char* value, unsigned line) {
    AnswerT& a = Answers[row.target];
    size_t n = strlen(value);
    switch (row.kind) {
    case KIND_FOLDER:
    case KIND_TEXT:
        if ((int32_t)n < row.min || (int32_t)n > row.max) {
            LogPrintf("Answer file line %u: %s must be %d to %d characters long", line, row.key,
                      (int)row.min, (int)row.max);
            return 0;
        }
        for (const char* p = value; *p; p++)
            if ((unsigned char)*p < ' ') {
                LogPrintf("Answer file line %u: %s holds a control character", line, row.key);
                return 0;
            }
        if (row.kind == KIND_FOLDER && n && !IsValidInstallPath(value)) {
            LogPrintf("Answer file line %u: %s = %s is not a folder such as C:\\KOV", line, row.key,
                      value);
            return 0;
        }
        CopyText(a.text, value, sizeof a.text);
        break;
    case KIND_WORD: {
        int i = 0;
        while (row.words[i] && !SameName(row.words[i], value)) i++;
        if (!row.words[i]) {
            char allowed[128] = "";
            for (int w = 0; row.words[w]; w++) {
                if (w) AppendText(allowed, ", ", sizeof allowed);
                AppendText(allowed, row.words[w], sizeof allowed);
            }
            LogPrintf("Answer file line %u: %s = %s is not one of %s", line, row.key, value,
                      allowed);
            return 0;
        }
        a.number = i;
        break;
    }
    case KIND_NUMBER: {
        int32_t number = 0;
        int digits = 0;
        for (const char* p = value; *p; p++, digits++) {
            if (*p < '0' || *p > '9' || digits >= 9) {
                digits = 0;
                break;
            }
            number = number * 10 + (*p - '0');
        }
        if (!digits || number < row.min || number > row.max) {
            LogPrintf("Answer file line %u: %s = %s is not a number from %d to %d", line, row.key,
                      value, (int)row.min, (int)row.max);
            return 0;
        }
        a.number = number;
        break;
    }
    }
    a.given = 1;
    return 1;
}

// One line: a comment, a section or a key. 0 with a log line when it is wrong; section
// holds the current section (empty before the first).
static int ParseLine(char* text, size_t n, unsigned line, char* section, unsigned sectionSize) {
    text = Trim(text, &n);
    if (!n || text[0] == ';' || text[0] == '#') return 1;
    if (n > ANSWER_LINE_MAX) {
        LogPrintf("Answer file line %u: longer than %u characters", line,
                  (unsigned)ANSWER_LINE_MAX);
        return 0;
    }
    if (text[0] == '[') {
        if (text[n - 1] != ']') {
            LogPrintf("Answer file line %u: a section name must end with ]", line);
            section[0] = 0;
            return 0;
        }
        size_t m = n - 2;
        char* name = Trim(text + 1, &m);
        section[0] = 0;
        for (const AnswerKey& row : kAnswerKeys)
            if (SameName(row.section, name)) CopyText(section, row.section, sectionSize);
        if (!section[0]) {
            LogPrintf("Answer file line %u: unknown section [%s]", line, name);
            return 0;
        }
        return 1;
    }
    char* equals = strchr(text, '=');
    if (!equals) {
        LogPrintf("Answer file line %u: no = in \"%s\"", line, text);
        return 0;
    }
    size_t keyLength = (size_t)(equals - text), valueLength = strlen(equals + 1);
    char* key = Trim(text, &keyLength);
    char* value = Trim(equals + 1, &valueLength);
    if (!section[0]) {
        LogPrintf("Answer file line %u: %s is outside a section", line, key);
        return 0;
    }
    for (const AnswerKey& row : kAnswerKeys) {
        if (!SameName(row.section, section) || !SameName(row.key, key)) continue;
        if (Answers[row.target].given) {
            LogPrintf("Answer file line %u: %s is given twice", line, row.key);
            return 0;
        }
        return StoreValue(row, value, line);
    }
    LogPrintf("Answer file line %u: unknown key %s in [%s]", line, key, section);
    return 0;
}

// What one key needs of another, once every line has been read.
static int CheckTogether(void) {
    int ok = 1;
    int port = Answers[ANSWER_MODEM_MODE].given && Answers[ANSWER_MODEM_MODE].number == MODEM_PORT;
    static const int kPortKeys[] = {ANSWER_MODEM_PORT, ANSWER_MODEM_SPEED, ANSWER_MODEM_PROFILE,
                                    ANSWER_MODEM_DESCRIPTION};
    for (int id : kPortKeys) {
        if (Answers[id].given && !port) {
            LogPrintf("Answer file: Modem %s needs Mode = port", KeyRow(id)->key);
            ok = 0;
        }
    }
    if (port && !Answers[ANSWER_MODEM_PORT].given) {
        LogPrintf("Answer file: Mode = port needs Port");
        ok = 0;
    }
    return ok;
}

int ParseAnswers(const char* text, unsigned long size) {
    memset(Answers, 0, sizeof Answers);
    char section[32] = "";
    char buffer[ANSWER_LINE_MAX + 2];
    int ok = 1;
    unsigned line = 0;
    unsigned long start = 0;
    while (start < size) {
        unsigned long end = start;
        while (end < size && text[end] != '\n') end++;
        line++;
        unsigned long n = end - start;
        if (n && text[start + n - 1] == '\r') n--;
        if (memchr(text + start, 0, n)) {
            LogPrintf("Answer file line %u: holds a zero byte", line);
            ok = 0;
        } else if (n > ANSWER_LINE_MAX) {
            LogPrintf("Answer file line %u: longer than %u characters", line,
                      (unsigned)ANSWER_LINE_MAX);
            ok = 0;
        } else {
            memcpy(buffer, text + start, n);
            buffer[n] = 0;
            if (!ParseLine(buffer, n, line, section, sizeof section)) ok = 0;
        }
        start = end + 1;
    }
    if (!CheckTogether()) ok = 0;
    if (!ok) memset(Answers, 0, sizeof Answers);
    return ok;
}

int ReadAnswerFile(const char* path) {
    SysFile f = SysOpen(path, SYS_READ);
    long size = f ? SysFileSize(f) : -1;
    if (!f || size < 0 || size > ANSWER_FILE_MAX) {
        if (f) SysClose(f);
        LogPrintf("Answer file %s cannot be read%s", path,
                  size > ANSWER_FILE_MAX ? " (larger than 64 KB)" : "");
        return 0;
    }
    char* text = (char*)MemAlloc((unsigned long)size + 1);
    long got = SysRead(f, text, (unsigned long)size);
    SysClose(f);
    if (got != size) {
        MemFree(text);
        LogPrintf("Answer file %s cannot be read", path);
        return 0;
    }
    int ok = ParseAnswers(text, (unsigned long)size);
    MemFree(text);
    if (!ok) {
        LogPrintf("Answer file %s is not valid", path);
        return 0;
    }
    unsigned given = 0;
    for (const AnswerT& a : Answers) given += a.given;
    LogPrintf("Answer file %s: %u answers", path, given);
    return 1;
}

// The word or number of a key as the file wrote it, for the log.
static const char* ValueText(int id) {
    static char text[16];
    const AnswerKey* row = KeyRow(id);
    if (row->kind == KIND_WORD) return row->words[Answers[id].number];
    if (row->kind == KIND_NUMBER) {
        Format(text, sizeof text, "%d", (int)Answers[id].number);
        return text;
    }
    return Answers[id].text;
}

void ApplyAnswerOptions(void) {
    if (!UnattendedMode) return;
    const AnswerT& desktop = Answers[ANSWER_DESKTOP_ITEMS];
    if (desktop.given && desktop.number == ANSWER_NO) {
        LogPrintf("Answer file: DesktopItems = no: no group and no shortcuts");
        NoDesktopItems = NoDesktopItemsOption = 1;
    }
    const AnswerT& modem = Answers[ANSWER_MODEM_MODE];
    if (modem.given && modem.number == MODEM_SKIP) {
        LogPrintf("Answer file: Modem Mode = skip: the modem defaults are used");
        SkipModem = SkipModemOption = 1;
    }
}

int AnsweredModem(ModemSettingsT* settings) {
    if (!UnattendedMode) return 0;
    const AnswerT& mode = Answers[ANSWER_MODEM_MODE];
    if (!mode.given) {
        LogPrintf("Default: modem %s", SkipModem ? "defaults" : "detection");
        return 0;
    }
    if (mode.number != MODEM_PORT) return 0;
    settings->port = Answers[ANSWER_MODEM_PORT].number;
    if (Answers[ANSWER_MODEM_SPEED].given)
        settings->speedIndex = Answers[ANSWER_MODEM_SPEED].number;
    if (Answers[ANSWER_MODEM_PROFILE].given)
        CopyText(settings->profile, Answers[ANSWER_MODEM_PROFILE].text, sizeof settings->profile);
    if (Answers[ANSWER_MODEM_DESCRIPTION].given)
        CopyText(settings->description, Answers[ANSWER_MODEM_DESCRIPTION].text,
                 sizeof settings->description);
    LogPrintf("Answer file: modem on COM%d, speed index %d, profile %s", (int)settings->port,
              (int)settings->speedIndex, settings->profile);
    return 1;
}

void NoteModemKept(void) {
    if (UnattendedMode && Answers[ANSWER_MODEM_MODE].given)
        LogPrintf("Answer file: [Modem] not used: the earlier installation's modem is kept");
}

void StopRun(uint32_t code) {
    if (RunStopCode == 0) RunStopCode = code;
}

// ---- The questions ------------------------------------------------------------------------

enum { BOX = 1, DIALOG = 2, NO_KEY = -1, SAFE = 0 };

struct Question;
typedef int (*AnswerFn)(const Question& q, char* edit);

// One row per question of the run. dflt is the answer when the file does not say (an
// unattended install must neither wait nor do what nobody asked for, so it is not always
// the default button); byWord the answers for each word of the key; stopCode, when not 0,
// marks a question with no safe answer: asking it stops the run with that code. Once the
// run is stopping, every question gets its stop answer, the way out of the wizard.
struct Question {
    int kind;
    int id;
    const char* what;
    int dflt;
    int stop;
    uint32_t stopCode;
    int key = NO_KEY;  // the key that decides, when there is one
    int byWord[3] = {};
    AnswerFn answer = nullptr;  // a question whose answer needs more than a word
};

static int FolderAnswer(const Question& q, char* edit);
static int WelcomeAnswer(const Question& q, char* edit);

// clang-format off
static const Question kQuestions[] = {
    // Message boxes, by the first string of their text.
    {BOX, IDS_DISK_FULL, "disk full", SYS_ID_CANCEL, SYS_ID_CANCEL, EXIT_NO_ANSWER},
    {BOX, IDS_DB_DISK_FULL, "database disk full", SYS_ID_CANCEL, SYS_ID_CANCEL, EXIT_NO_ANSWER},
    {BOX, IDS_LOW_MEMORY, "memory low", SYS_ID_CANCEL, SYS_ID_CANCEL, EXIT_NO_MEMORY},
    {BOX, IDS_SYSTEM_FILE_IN_USE, "system file in use", SYS_ID_CANCEL, SYS_ID_CANCEL,
     EXIT_NO_ANSWER},
    {BOX, IDS_NEWER_INSTALLED, "newer version installed", SYS_ID_NO, SYS_ID_NO, EXIT_NO_ANSWER},
    {BOX, IDS_DESKTOP_LINK_RETRY, "shortcut failed, retry", SYS_ID_CANCEL, SYS_ID_CANCEL, SAFE},
    {BOX, IDS_STARTMENU_LINK_RETRY, "shortcut failed, retry", SYS_ID_CANCEL, SYS_ID_CANCEL, SAFE},
    {BOX, IDS_NEWER_REGISTERED, "replace a newer registered revision", SYS_ID_NO, SYS_ID_NO, SAFE},
    {BOX, IDS_MOVE_DOWNLOADS, "move the earlier downloads", SYS_ID_YES, SYS_ID_YES, SAFE},
    {BOX, IDS_ASK_ADDONS, "install the add-ons", SYS_ID_NO, SYS_ID_NO, SAFE,
     ANSWER_ADDONS, {SYS_ID_NO, SYS_ID_YES}},
    {BOX, IDS_BROWSER_FAILED, "browser install failed, again", SYS_ID_NO, SYS_ID_NO, SAFE},
    {BOX, IDS_RESTART_NOW, "restart now", SYS_ID_NO, SYS_ID_NO, SAFE,
     ANSWER_RESTART, {SYS_ID_NO, ANSWER_ASK_USER, SYS_ID_YES}},
    {BOX, IDS_CANCEL_INSTALL, "cancel the install", SYS_ID_NO, SYS_ID_NO, SAFE},
    {BOX, IDS_CANCEL_OVER_OLD, "cancel the install", SYS_ID_NO, SYS_ID_NO, SAFE},
    {BOX, IDS_CANCEL_RESTORES, "cancel the install", SYS_ID_NO, SYS_ID_NO, SAFE},
    {BOX, IDS_EARLIER_RESTORED, "earlier installation restored", SYS_ID_OK, SYS_ID_OK, SAFE},
    {BOX, IDS_SKIP_SEARCH, "skip the search", SYS_ID_NO, SYS_ID_NO, SAFE},
    {BOX, IDS_SKIP_MODEM, "skip the modem search", SYS_ID_NO, SYS_ID_NO, SAFE},
    {BOX, IDS_DIR_INVALID, "folder refused: not valid", SYS_ID_OK, SYS_ID_OK, EXIT_BAD_ANSWERS},
    {BOX, IDS_DIR_IN_USE, "folder refused: in use", SYS_ID_OK, SYS_ID_OK, EXIT_BAD_ANSWERS},
    {BOX, IDS_DIR_NOT_CLIENT, "folder refused: no earlier installation", SYS_ID_OK, SYS_ID_OK,
     EXIT_BAD_ANSWERS},
    {BOX, IDS_SPACE_NEEDED, "not enough room on the folder's drive", SYS_ID_OK, SYS_ID_OK,
     EXIT_NO_ANSWER},
    {BOX, IDS_ROOT_FULL, "root folder full", SYS_ID_OK, SYS_ID_OK, EXIT_NO_ANSWER},
    // Dialogs, by their template.
    {DIALOG, IDD_WELCOME, "welcome", ID_INSTALL, ID_QUIT, SAFE, NO_KEY, {}, WelcomeAnswer},
    {DIALOG, IDD_WELCOME_CACHE, "welcome", ID_INSTALL, ID_QUIT, SAFE, NO_KEY, {}, WelcomeAnswer},
    {DIALOG, IDD_CONFIRMQUIT, "quit", ID_QUIT, ID_QUIT, SAFE},
    {DIALOG, IDD_PREVDIR_FOUND, "earlier installation folder", ID_CONTINUE, ID_CANCEL, SAFE,
     ANSWER_PREVIOUS_DIR, {}, FolderAnswer},
    {DIALOG, IDD_PREVDIR_NONE, "earlier installation folder", ID_CONTINUE, ID_CANCEL, SAFE,
     ANSWER_PREVIOUS_DIR, {}, FolderAnswer},
    {DIALOG, IDD_DESTDIR_MIGRATE, "destination folder", ID_CONTINUE, ID_CANCEL, SAFE,
     ANSWER_DEST_DIR, {}, FolderAnswer},
    {DIALOG, IDD_DESTDIR, "destination folder", ID_CONTINUE, ID_CANCEL, SAFE,
     ANSWER_DEST_DIR, {}, FolderAnswer},
    {DIALOG, IDD_NOMODEM, "modem not found", ID_SKIP, ID_SKIP, SAFE},
    {DIALOG, IDD_COLOURS16, "16-colour display", ID_CONTINUE, ID_QUIT, SAFE},
    {DIALOG, IDD_INTERRUPTED, "install interrupted", ID_CONTINUE, ID_CONTINUE, SAFE},
    {DIALOG, IDD_FINISHED, "install finished", ID_CONTINUE, ID_CONTINUE, SAFE},
    {DIALOG, IDD_FINISHED_MIGRATED, "install finished", ID_CONTINUE, ID_CONTINUE, SAFE},
    {DIALOG, IDD_SHORTCUT, "shortcut choice", ID_SHORTCUT_OK, ID_SHORTCUT_OK, SAFE,
     ANSWER_START_MENU, {ID_SHORTCUT_OK, ID_SHORTCUT_OK}},
    {DIALOG, IDD_RESTART, "restart now", ID_CANCEL, ID_CANCEL, SAFE,
     ANSWER_RESTART, {ID_CANCEL, ANSWER_ASK_USER, ID_CONTINUE}},
    {DIALOG, IDD_RESTART_EN, "restart now", ID_CANCEL, ID_CANCEL, SAFE,
     ANSWER_RESTART, {ID_CANCEL, ANSWER_ASK_USER, ID_CONTINUE}},
    {DIALOG, IDD_NEXTDISK, "next diskette", ID_QUIT, ID_QUIT, EXIT_NO_ANSWER},
    {DIALOG, IDD_CONTINUATION_DONE, "continuation finished", ID_CONTINUE, ID_CONTINUE, SAFE},
    {DIALOG, IDD_CONTINUATION_NOTE, "continuation notice", ID_CONTINUE, ID_CONTINUE, SAFE},
    {DIALOG, IDD_UPDATE_DONE, "update finished", ID_CONTINUE, ID_CONTINUE, SAFE},
    {DIALOG, IDD_WIN31_FALLBACK, "install the Windows 3.1 edition", ID_CANCEL, ID_CANCEL, SAFE},
    {DIALOG, IDD_SLOWMACHINE, "slow machine", ID_CANCEL, ID_CANCEL, EXIT_NO_ANSWER},
    {DIALOG, IDD_WIN95DISK, "Windows 95 diskette", ID_CANCEL, ID_CANCEL, EXIT_NO_ANSWER},
    {DIALOG, IDD_QUICKREF, "print the quick reference guide", ID_CONTINUE, ID_CANCEL, SAFE,
     ANSWER_PRINT_GUIDE, {ID_CONTINUE, ID_PRINTNOW}},
    {DIALOG, IDD_DISKSPACE, "not enough disk space", ID_QUIT, ID_QUIT, EXIT_NO_ANSWER},
    {DIALOG, IDD_DRIVES, "drive choice", ID_QUIT, ID_QUIT, EXIT_NO_ANSWER},
    {DIALOG, IDD_ADDONS, "add-on selection", ID_INSTALL, ID_CANCEL, SAFE},
};
// clang-format on

static const struct {
    int id;
    const char* name;
} kAnswerNames[] = {
    {SYS_ID_OK, "OK"},
    {SYS_ID_CANCEL, "Cancel"},
    {SYS_ID_RETRY, "Retry"},
    {SYS_ID_YES, "Yes"},
    {SYS_ID_NO, "No"},
    {ID_INSTALL, "Install"},
    {ID_SHOWDIRS, "Show folders"},
    {ID_QUIT, "Quit"},
    {ID_SKIP, "Skip"},
    {ID_CANCEL, "Cancel"},
    {ID_CONTINUE, "Continue"},
    {ID_PRINTNOW, "Print now"},
    {ANSWER_ASK_USER, "ask the user"},
};

static const char* AnswerName(int answer) {
    for (const auto& n : kAnswerNames)
        if (n.id == answer) return n.name;
    return "?";
}

// The folder dialogs: the file's folder, or the one the setup proposes.
static int FolderAnswer(const Question& q, char* edit) {
    if (!edit) return q.dflt;
    if (Answers[q.key].given) {
        CopyText(edit, Answers[q.key].text, FOLDER_MAX + 1);
        LogPrintf("Answer file: %s = %s", q.what, edit[0] ? edit : "(none)");
    } else {
        LogPrintf("Default: %s = %s", q.what, edit[0] ? edit : "(none)");
    }
    return q.dflt;
}

// Welcome: install where the setup proposes, or review the folders when the file names one.
static int WelcomeAnswer(const Question& q, char* edit) {
    (void)edit;
    if (q.id == IDD_WELCOME && Answers[ANSWER_CACHE].given)
        LogPrintf("Answer file: Cache not used: this install has no graphics cache to choose");
    if (Answers[ANSWER_DEST_DIR].given || Answers[ANSWER_PREVIOUS_DIR].given) {
        LogPrintf("Answer file: folders given: review them");
        return ID_SHOWDIRS;
    }
    LogPrintf("Default: %s: install into %s", q.what, InstallSettings.DestDir);
    return q.dflt;
}

static int Answer(const Question& q, char* edit) {
    if (RunStopCode) {
        LogPrintf("Unattended: %s: %s (the run is stopping)", q.what, AnswerName(q.stop));
        return q.stop;
    }
    if (q.stopCode) {
        StopRun(q.stopCode);
        LogPrintf("Unattended: %s has no safe answer: the run stops with exit code %lu", q.what,
                  (unsigned long)RunStopCode);
        return q.stop;
    }
    if (q.answer) return q.answer(q, edit);
    if (q.key != NO_KEY && Answers[q.key].given) {
        int answer = q.byWord[Answers[q.key].number];
        LogPrintf("Answer file: %s: %s = %s: %s", q.what, KeyRow(q.key)->key, ValueText(q.key),
                  AnswerName(answer));
        return answer;
    }
    LogPrintf("Default: %s: %s", q.what, AnswerName(q.dflt));
    return q.dflt;
}

static const Question* FindQuestion(int kind, int id) {
    if (id == 0) return nullptr;
    for (const Question& q : kQuestions)
        if (q.kind == kind && q.id == id) return &q;
    return nullptr;
}

int AnswerBox(int kind, unsigned messageId, const char* text) {
    const Question* q = FindQuestion(BOX, (int)messageId);
    LogPrintf("Unattended: message \"%s\"", text ? text : "");
    if (q) return Answer(*q, nullptr);
    if (kind == SYS_BOX_ERROR) {
        // A notice with only an OK button: the steps after it decide what happens.
        LogPrintf("Default: notice: OK");
        return SYS_ID_OK;
    }
    // A question nobody foresaw: stop rather than guess.
    StopRun(EXIT_NO_ANSWER);
    int answer = kind == SYS_BOX_RETRYCANCEL ? SYS_ID_CANCEL : SYS_ID_NO;
    LogPrintf("Unattended: unknown question: %s, the run stops with exit code %lu",
              AnswerName(answer), (unsigned long)RunStopCode);
    return answer;
}

int AnswerBoxOrAsk(int kind, unsigned messageId, const char* text) {
    int answer = AnswerBox(kind, messageId, text);
    return answer != ANSWER_ASK_USER ? answer : AskWithSystemBox(kind, messageId, text);
}

int AnswerDialog(int templateId, char* edit) {
    const Question* q = FindQuestion(DIALOG, templateId);
    if (q) return Answer(*q, edit);
    StopRun(EXIT_NO_ANSWER);
    LogPrintf("Unattended: dialog %d has no answer: the run stops with exit code %lu", templateId,
              (unsigned long)RunStopCode);
    return ID_CANCEL;
}

int AnsweredCacheChoice(int fits) {
    const AnswerT& cache = Answers[ANSWER_CACHE];
    if (!cache.given) {
        LogPrintf("Default: graphics cache = %s MB", kCacheSizes[fits]);
        return fits;
    }
    if (cache.number > fits) {
        LogPrintf("Answer file: Cache = %s MB does not fit: %s MB", kCacheSizes[cache.number],
                  kCacheSizes[fits]);
        return fits;
    }
    LogPrintf("Answer file: Cache = %s MB", kCacheSizes[cache.number]);
    return cache.number;
}

uint32_t RunExitCode(int restartWanted) {
    if (RunStopCode) return RunStopCode;
    if (SetupError) return SetupError;
    if (UserAbort) return EXIT_CANCELLED;
    if (QuitRequested) return EXIT_QUIT;
    return restartWanted ? EXIT_RESTART_NEEDED : EXIT_INSTALLED;
}

void ResetAnswerState(void) {
    memset(Answers, 0, sizeof Answers);
    UnattendedMode = 0;
    AnswerFile[0] = 0;
    RunStopCode = 0;
    SetupExitCode = 0;
}
