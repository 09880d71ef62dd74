// Unattended runs and the run's exit code. With -U the setup asks nobody: every question of
// the run (the message boxes of base/text.h, the modal dialogs and the shortcut choice, all
// through the unattended seat that setup/connect.cpp puts in place) is answered here, from the answer file read once at the start, or with
// the question's default; a question that has no safe default stops the run with a code a
// script can test. The exit code of every run, interactive or not, comes from RunExitCode.
#pragma once
#include <stdint.h>

#include "base/exitcode.h"

// Keys of the answer file; each is one row of the reader's table.
enum AnswerId {
    ANSWER_DEST_DIR,
    ANSWER_PREVIOUS_DIR,
    ANSWER_CACHE,
    ANSWER_DESKTOP_ITEMS,
    ANSWER_START_MENU,
    ANSWER_ADDONS,
    ANSWER_PRINT_GUIDE,
    ANSWER_RESTART,
    ANSWER_MODEM_MODE,
    ANSWER_MODEM_PORT,
    ANSWER_MODEM_SPEED,
    ANSWER_MODEM_PROFILE,
    ANSWER_MODEM_DESCRIPTION,
    ANSWER_COUNT
};
// Word values of the keys that take words.
enum { ANSWER_NO = 0, ANSWER_YES = 1 };
enum { RESTART_NEVER = 0, RESTART_ASK = 1, RESTART_ALLOW = 2 };
enum { MODEM_DETECT = 0, MODEM_SKIP = 1, MODEM_PORT = 2 };

// One key's value: words and numbers in number (a word's value is its place in the row's
// list), folders and texts in text.
struct AnswerT {
    uint32_t given;
    int32_t number;
    char text[260];
};
extern AnswerT Answers[ANSWER_COUNT];

extern uint32_t UnattendedMode;  // -U: nobody is asked anything
extern char AnswerFile[260];     // -U's file; empty: every question takes its default
extern uint32_t RunStopCode;     // the first code that stopped the run, 0 while none did
extern uint32_t SetupExitCode;   // what the process ends with (main reads it)

// Reads the answer file into Answers, logging every bad line. 1 when it was read and valid;
// 0 with a log line for each fault otherwise.
int ReadAnswerFile(const char* path);
// The same over text in memory (size bytes), for the reader's tests.
int ParseAnswers(const char* text, unsigned long size);
// Applies what the run's options take from the answers (no desktop items, no modem search),
// as the options -D and -M would.
void ApplyAnswerOptions(void);
// The modem of the answer file when it names a port: 1 with settings filled (the rest of
// the record keeps the defaults it holds).
struct ModemSettingsT;
int AnsweredModem(ModemSettingsT* settings);
// Logs that the answer file's modem is not used: the earlier installation's is carried over.
void NoteModemKept(void);
// Keeps the first reason the run stopped.
void StopRun(uint32_t code);

// What the unattended run answers. Message boxes are known by the first string id of their
// text (0 when the text did not come from LoadMessage); dialogs by their template, with the
// folder text in and out for the folder dialogs (null for the others). ANSWER_ASK_USER: the
// question is to be shown after all (Restart = ask).
enum { ANSWER_ASK_USER = -2 };
int AnswerBox(int kind, unsigned messageId, const char* text);
// The unattended seat's questions: AnswerBox, or the question on the screen when the answer
// file says to ask the user.
int AnswerBoxOrAsk(int kind, unsigned messageId, const char* text);
int AnswerDialog(int templateId, char* edit);
#ifdef _WIN32
// The unattended seat's dialogs (answers_win.cpp): the answer, and what the dialog would
// have done with it (the cache choice, the printed guide, the add-ons, the shortcuts).
int AnsweredDialog(int templateId, const char* extraText);
int AnsweredEditDialog(int templateId, char* text, const char* extraText);
int AnsweredShortcutChoice(void);
#endif
// The cache choice for the welcome dialog: what the dialog would preselect (fits: the
// largest choice that fits, 0 to 2), or the answer file's when it fits.
int AnsweredCacheChoice(int fits);

// The exit code for the run's state: the stop code, else the fatal number, else cancelled,
// quit, restart needed (restartWanted: a restart was due when the install ended) or installed.
uint32_t RunExitCode(int restartWanted);

void ResetAnswerState(void);
