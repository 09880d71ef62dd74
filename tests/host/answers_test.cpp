// The unattended run: the answer file's reader, the answers to the run's questions and the
// exit code.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <string>

#include "base/globals.h"
#include "base/log.h"
#include "base/path.h"
#include "base/text.h"
#include "res/resource.h"
#include "setup/answers.h"
#include "setup/connect.h"
#include "setup/options.h"
#include "sys/sys.h"

static std::string Trace() {
    const char* t = LogTraceText();
    return t ? std::string(t, LogTraceUsed()) : std::string();
}

static int Parse(const std::string& text) { return ParseAnswers(text.data(), text.size()); }

TEST(AnswerFile, GoodFile) {
    ResetRunState();
    LogReset();
    // Sections and keys in any case, comments, blanks, CR LF and a missing last line end.
    const std::string text = "; answers for the lab\r\n"
                             "[install]\r\n"
                             "  DestDir =  C:\\KOV Labo  \r\n"
                             "PreviousDir=\r\n"
                             "cache=10\r\n"
                             "DesktopItems = NO\r\n"
                             "StartMenu=yes\n"
                             "AddOns=no\n"
                             "PrintGuide=No\n"
                             "Restart=allow\n"
                             "\n"
                             "# the modem\n"
                             "[ Modem ]\n"
                             "Mode=port\n"
                             "Port=3\n"
                             "Speed=11\n"
                             "Profile=CLASS34.MDM\n"
                             "Description=Modem du labo";
    ASSERT_EQ(Parse(text), 1) << Trace();
    EXPECT_STREQ(Answers[ANSWER_DEST_DIR].text, "C:\\KOV Labo");
    EXPECT_TRUE(Answers[ANSWER_PREVIOUS_DIR].given);
    EXPECT_STREQ(Answers[ANSWER_PREVIOUS_DIR].text, "");
    EXPECT_EQ(Answers[ANSWER_CACHE].number, 1);
    EXPECT_EQ(Answers[ANSWER_DESKTOP_ITEMS].number, ANSWER_NO);
    EXPECT_EQ(Answers[ANSWER_START_MENU].number, ANSWER_YES);
    EXPECT_EQ(Answers[ANSWER_RESTART].number, RESTART_ALLOW);
    EXPECT_EQ(Answers[ANSWER_MODEM_MODE].number, MODEM_PORT);
    EXPECT_EQ(Answers[ANSWER_MODEM_PORT].number, 3);
    EXPECT_EQ(Answers[ANSWER_MODEM_SPEED].number, 11);
    EXPECT_STREQ(Answers[ANSWER_MODEM_DESCRIPTION].text, "Modem du labo");

    // The modem it names replaces the defaults, and the options follow the file.
    UnattendedMode = 1;
    ConnectRun(1);
    ModemSettingsT modem = {2, 3, "CLASS33.MDM", "base"};
    EXPECT_EQ(AnsweredModem(&modem), 1);
    EXPECT_EQ(modem.port, 3);
    EXPECT_EQ(modem.speedIndex, 11);
    EXPECT_STREQ(modem.profile, "CLASS34.MDM");
    EXPECT_STREQ(modem.description, "Modem du labo");
    ApplyAnswerOptions();
    EXPECT_EQ(NoDesktopItems, 1u);
    EXPECT_EQ(NoDesktopItemsOption, 1u);
    EXPECT_EQ(SkipModem, 0u);
}

TEST(AnswerFile, BadLines) {
    struct Case {
        const char* text;
        const char* logged;
    } cases[] = {
        {"[Install]\nDestination=C:\\KOV\n", "line 2: unknown key Destination in [Install]"},
        {"[Setup]\nDestDir=C:\\KOV\n", "line 1: unknown section [Setup]"},
        {"DestDir=C:\\KOV\n", "line 1: DestDir is outside a section"},
        {"[Install\n", "line 1: a section name must end with ]"},
        {"[Install]\nRestart\n", "line 2: no = in \"Restart\""},
        {"[Install]\nRestart=sometimes\n", "Restart = sometimes is not one of never, ask, allow"},
        {"[Install]\nCache=15\n", "Cache = 15 is not one of 5, 10, 20"},
        {"[Install]\nAddOns=\n", "AddOns =  is not one of no, yes"},
        {"[Modem]\nMode=port\nPort=5\n", "Port = 5 is not a number from 1 to 4"},
        {"[Modem]\nMode=port\nPort=-1\n", "Port = -1 is not a number from 1 to 4"},
        {"[Modem]\nMode=port\nPort=1\nSpeed=3x\n", "Speed = 3x is not a number from 0 to 11"},
        {"[Modem]\nMode=port\nPort=1\nSpeed=99999999999\n", "is not a number from 0 to 11"},
        {"[Modem]\nMode=port\nPort=1\nProfile=ABCDEFGHIJKLMNOP.MDM\n",
         "Profile must be 1 to 15 characters long"},
        {"[Install]\nDestDir=\n", "DestDir must be 3 to 255 characters long"},
        {"[Install]\nDestDir=KOV\n", "DestDir = KOV is not a folder such as C:\\KOV"},
        {"[Install]\nPreviousDir=C:\\a?b\n", "PreviousDir = C:\\a?b is not a folder"},
        {"[Install]\nDestDir=C:\\a\tb\n", "DestDir holds a control character"},
        {"[Install]\nDestDir=C:\\A\ndestdir=C:\\B\n", "line 3: DestDir is given twice"},
        {"[Modem]\nPort=2\n", "Modem Port needs Mode = port"},
        {"[Modem]\nMode=skip\nSpeed=2\n", "Modem Speed needs Mode = port"},
        {"[Modem]\nMode=port\n", "Mode = port needs Port"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ResetRunState();
        LogReset();
        EXPECT_EQ(Parse(c.text), 0);
        EXPECT_NE(Trace().find(c.logged), std::string::npos) << Trace();
        // Nothing of a bad file is used.
        for (const AnswerT& a : Answers) EXPECT_EQ(a.given, 0u);
    }
    // Every bad line is logged, not only the first.
    LogReset();
    EXPECT_EQ(Parse("[Install]\nCache=1\nRestart=no\n"), 0);
    EXPECT_NE(Trace().find("line 2"), std::string::npos);
    EXPECT_NE(Trace().find("line 3"), std::string::npos);
    // A zero byte or an overlong line.
    LogReset();
    EXPECT_EQ(Parse(std::string("[Install]\nAddOns=y\0s\n", 21)), 0);
    EXPECT_NE(Trace().find("line 2: holds a zero byte"), std::string::npos);
    EXPECT_EQ(Parse("[Install]\nDestDir=C:\\" + std::string(600, 'a') + "\n"), 0);
    EXPECT_NE(Trace().find("line 2: longer than 511 characters"), std::string::npos);
}

TEST(AnswerFile, ReadFromDisk) {
    ResetRunState();
    LogReset();
    EXPECT_EQ(ReadAnswerFile("/nonexistent/answers.ini"), 0);
    EXPECT_NE(Trace().find("Answer file /nonexistent/answers.ini cannot be read"),
              std::string::npos);

    std::string path = testing::TempDir() + "answers.ini";
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    fputs("[Install]\r\nRestart=never\r\nAddOns=yes\r\n", f);
    fclose(f);
    EXPECT_EQ(ReadAnswerFile(path.c_str()), 1);
    EXPECT_NE(Trace().find(": 2 answers"), std::string::npos);
    EXPECT_EQ(Answers[ANSWER_ADDONS].number, ANSWER_YES);
}

TEST(AnswerFile, Option) {
    struct Case {
        const char* line;
        uint32_t unattended, skipModem;
        const char* file;
    } cases[] = {
        {"-U C:\\answers.ini -M", 1, 1, "C:\\answers.ini"},
        {"/u   D:\\A.INI", 1, 0, "D:\\A.INI"},
        {"-U -M", 1, 1, ""},
        {"-U /M", 1, 1, ""},
        {"-Unattended C:\\x.ini", 1, 0, ""},
        {"-M -U", 1, 1, ""},
        {"-M", 0, 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        ResetRunState();
        ParseCommandLine(c.line);
        EXPECT_EQ(UnattendedMode, c.unattended);
        EXPECT_EQ(SkipModem, c.skipModem);
        EXPECT_STREQ(AnswerFile, c.file);
    }
}

// Message boxes in an unattended run never reach the screen: each gets its answer from the
// file, its default, or stops the run when it has no safe one.
TEST(Unattended, MessageBoxes) {
    ResetRunState();
    LogReset();
    SysQueueAnswers(nullptr, 0);
    UnattendedMode = 1;
    ConnectRun(1);
    EXPECT_EQ(AskYesNo(Message(IDS_ASK_ADDONS)), 0);  // default: no add-ons
    EXPECT_NE(Trace().find("Default: install the add-ons: No"), std::string::npos);
    EXPECT_EQ(AskRetryCancel(Message(IDS_DESKTOP_LINK_RETRY)), 0);
    EXPECT_EQ(AskNoticeYesNo(Message(IDS_MOVE_DOWNLOADS)), 1);
    EXPECT_EQ(ShowError(Message(IDS_FATAL_ERROR, IDS_FATAL_ADVICE), 18u), SYS_ID_OK);
    EXPECT_EQ(RunStopCode, 0u);
    EXPECT_EQ(SysQuestionsAsked(), 0);

    ASSERT_EQ(Parse("[Install]\nAddOns=yes\nRestart=ask\n"), 1);
    EXPECT_EQ(AskYesNo(Message(IDS_ASK_ADDONS)), 1);
    EXPECT_NE(Trace().find("Answer file: install the add-ons: AddOns = yes: Yes"),
              std::string::npos);
    // Restart = ask: this one question is put to the user after all.
    int yes = SYS_ID_YES;
    SysQueueAnswers(&yes, 1);
    EXPECT_EQ(AskYesNo(Message(IDS_RESTART_NOW)), 1);
    EXPECT_EQ(SysQuestionsAsked(), 1);

    // A full disk has no safe answer: Cancel, and the run stops with its code; from then on
    // every question gets its way out.
    EXPECT_EQ(AskRetryCancel(Message(IDS_DISK_FULL), 'C'), 0);
    EXPECT_EQ(RunStopCode, (uint32_t)EXIT_NO_ANSWER);
    EXPECT_EQ(AskYesNo(Message(IDS_ASK_ADDONS)), 0);
    EXPECT_NE(Trace().find("(the run is stopping)"), std::string::npos);
    EXPECT_EQ(SysQuestionsAsked(), 1);
}

TEST(Unattended, UnknownQuestionsStop) {
    struct Case {
        int kind;
        int answer;
        uint32_t stop;
    } cases[] = {
        {SYS_BOX_YESNO, 0, EXIT_NO_ANSWER},
        {SYS_BOX_RETRYCANCEL, 0, EXIT_NO_ANSWER},
        {SYS_BOX_ERROR, SYS_ID_OK, 0},  // a notice: OK is all there is
    };
    for (const Case& c : cases) {
        ResetRunState();
        UnattendedMode = 1;
        ConnectRun(1);
        int r = c.kind == SYS_BOX_YESNO         ? AskYesNo(MessageT{0, "Une question ?"})
                : c.kind == SYS_BOX_RETRYCANCEL ? AskRetryCancel(MessageT{0, "Encore ?"})
                                                : ShowError(MessageT{0, "Erreur %d"}, 5);
        EXPECT_EQ(r, c.answer);
        EXPECT_EQ(RunStopCode, c.stop);
    }
    // A question is known by the id it is asked with, never by where its text lies: the
    // add-on question's id with any text is answered from the file, its very text without
    // the id is a question nobody foresaw.
    ResetRunState();
    UnattendedMode = 1;
    ConnectRun(1);
    ASSERT_EQ(Parse("[Install]\nAddOns=yes\n"), 1);
    EXPECT_EQ(AskYesNo(MessageT{IDS_ASK_ADDONS, "Installer ?"}), 1);
    EXPECT_EQ(RunStopCode, 0u);
    EXPECT_EQ(AskYesNo(MessageT{0, LoadMessage(1, IDS_ASK_ADDONS)}), 0);
    EXPECT_EQ(RunStopCode, (uint32_t)EXIT_NO_ANSWER);
    // In a run with a user nothing is answered here.
    ResetRunState();
    SysQueueAnswers(nullptr, 0);
    AskYesNo(Message(IDS_DISK_FULL));
    EXPECT_EQ(SysQuestionsAsked(), 1);
    EXPECT_EQ(RunStopCode, 0u);
}

TEST(Unattended, Dialogs) {
    ResetRunState();
    LogReset();
    UnattendedMode = 1;
    ConnectRun(1);
    CopyText(InstallSettings.DestDir, "C:\\Kov30IA", sizeof InstallSettings.DestDir);
    char edit[256] = "C:\\Kov30IA";
    // Without answers: install where proposed, keep the proposed folders.
    EXPECT_EQ(AnswerDialog(IDD_WELCOME_CACHE, nullptr), ID_INSTALL);
    EXPECT_EQ(AnswerDialog(IDD_DESTDIR, edit), ID_CONTINUE);
    EXPECT_STREQ(edit, "C:\\Kov30IA");
    EXPECT_NE(Trace().find("Default: destination folder = C:\\Kov30IA"), std::string::npos);
    EXPECT_EQ(AnswerDialog(IDD_QUICKREF, nullptr), ID_CONTINUE);
    EXPECT_EQ(AnswerDialog(IDD_RESTART, nullptr), ID_CANCEL);
    EXPECT_EQ(AnswerDialog(IDD_NOMODEM, nullptr), ID_SKIP);
    EXPECT_EQ(AnsweredCacheChoice(2), 2);

    // The file's folders go through the review, the same checks as a user's typing.
    ASSERT_EQ(Parse("[Install]\nDestDir=D:\\KOV\nPreviousDir=\nCache=20\nPrintGuide=yes\n"
                    "Restart=allow\n"),
              1);
    EXPECT_EQ(AnswerDialog(IDD_WELCOME, nullptr), ID_SHOWDIRS);
    EXPECT_EQ(AnswerDialog(IDD_DESTDIR_MIGRATE, edit), ID_CONTINUE);
    EXPECT_STREQ(edit, "D:\\KOV");
    EXPECT_EQ(AnswerDialog(IDD_PREVDIR_FOUND, edit), ID_CONTINUE);
    EXPECT_STREQ(edit, "");
    EXPECT_EQ(AnswerDialog(IDD_QUICKREF, nullptr), ID_PRINTNOW);
    EXPECT_EQ(AnswerDialog(IDD_RESTART_EN, nullptr), ID_CONTINUE);
    EXPECT_EQ(AnsweredCacheChoice(1), 1);  // 20 MB does not fit: the largest that does
    EXPECT_EQ(RunStopCode, 0u);

    // The disk-space dialog has no safe answer; the way out follows.
    EXPECT_EQ(AnswerDialog(IDD_DISKSPACE, nullptr), ID_QUIT);
    EXPECT_EQ(RunStopCode, (uint32_t)EXIT_NO_ANSWER);
    EXPECT_EQ(AnswerDialog(IDD_WELCOME, nullptr), ID_QUIT);
    EXPECT_EQ(AnswerDialog(IDD_CONFIRMQUIT, nullptr), ID_QUIT);
    EXPECT_EQ(AnswerDialog(IDD_DESTDIR, edit), ID_CANCEL);

    // A folder the setup refuses stops the run as a bad answer.
    ResetRunState();
    UnattendedMode = 1;
    ConnectRun(1);
    ShowError(Message(IDS_DIR_INVALID));
    EXPECT_EQ(RunStopCode, (uint32_t)EXIT_BAD_ANSWERS);
    // A template nobody foresaw.
    ResetRunState();
    UnattendedMode = 1;
    ConnectRun(1);
    EXPECT_EQ(AnswerDialog(999, nullptr), ID_CANCEL);
    EXPECT_EQ(RunStopCode, (uint32_t)EXIT_NO_ANSWER);
}

TEST(ExitCode, Precedence) {
    struct Case {
        uint32_t stop;
        uint16_t error;
        uint32_t abort, quit;
        int restart;
        uint32_t code;
    } cases[] = {
        {0, 0, 0, 0, 0, EXIT_INSTALLED},
        {0, 0, 0, 0, 1, EXIT_RESTART_NEEDED},
        {0, 18, 0, 0, 0, 18},
        {0, 65535, 0, 0, 1, 65535},  // the largest fatal number, 1000 + a clamped status
        {0, 1028, 1, 0, 0, 1028},    // a declined disk-full retry is reported by number
        {0, 0, 1, 1, 0, EXIT_CANCELLED},
        {0, 0, 0, 1, 0, EXIT_QUIT},
        {EXIT_NO_ANSWER, 9, 1, 1, 0, EXIT_NO_ANSWER},
        {EXIT_BAD_ANSWERS, 0, 0, 1, 0, EXIT_BAD_ANSWERS},
    };
    for (const Case& c : cases) {
        ResetRunState();
        RunStopCode = c.stop;
        SetupError = c.error;
        UserAbort = c.abort;
        QuitRequested = c.quit;
        EXPECT_EQ(RunExitCode(c.restart), c.code);
    }
    // Our own codes lie above every fatal number.
    static_assert(EXIT_OWN_FIRST > 0xFFFF, "fatal numbers are 16 bits");
    for (uint32_t code : {EXIT_QUIT, EXIT_CANCELLED, EXIT_NO_ANSWER, EXIT_BAD_ANSWERS, EXIT_REFUSED,
                          EXIT_RELAUNCHED, EXIT_NO_MEMORY})
        EXPECT_GT(code, (uint32_t)EXIT_OWN_FIRST);
}
