// Modem detection pieces that need no modem: what counts as an answer, the answer deadline
// across the tick-count wrap, the device-control definitions of the speed rows, and the
// search dialog's Skip and Quit buttons with the user's answers. The search itself runs
// against modem peers end to end.
#include <gtest/gtest.h>
#include <string>
#include "tests/win32/ui_testlib.h"
#include "base/globals.h"
#include "modem/internal.h"
#include "modem/modem.h"
#include "res/resource.h"
#include "res/strings.h"
#include "ui/dialogs.h"
#include "ui/frame.h"

namespace {

TEST(ModemAnswer, UpperCaseOkAnywhereInTheBytesRead) {
    struct Case {
        std::string bytes;
        int holdsOk;
    };
    const Case cases[] = {
        {"\r\nOK\r\n", 1},
        {"ATE1QV1\r\r\nOK\r\n", 1},  // after the echo
        {"OK", 1},
        {std::string("\0\xff\r\nOK", 6), 1},  // line noise, a NUL among it, before the answer
        {"\r\nERROR\r\n", 0},
        {"\r\nok\r\n", 0},
        {"\r\nOk\r\n", 0},
        {"\r\noK\r\n", 0},
        {std::string("O\0K", 3), 0},
        {"ATE1QV1\r", 0},
        {"", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AnswerHoldsOk(c.bytes.data(), (unsigned)c.bytes.size()), c.holdsOk)
            << '"' << c.bytes << '"';
}

TEST(ModemAnswer, OnlyTheBytesReadCount) {
    // A full answer buffer has no terminator: the scan stops at its end, and an "O" in
    // the last byte read is not completed by whatever lies beyond it.
    char answer[MODEM_ANSWER_MAX + 2];
    memset(answer, '.', sizeof answer);
    answer[MODEM_ANSWER_MAX - 2] = 'O';
    answer[MODEM_ANSWER_MAX - 1] = 'K';
    EXPECT_EQ(AnswerHoldsOk(answer, MODEM_ANSWER_MAX), 1);
    memset(answer, '.', sizeof answer);
    answer[MODEM_ANSWER_MAX - 1] = 'O';
    answer[MODEM_ANSWER_MAX] = 'K';
    EXPECT_EQ(AnswerHoldsOk(answer, MODEM_ANSWER_MAX), 0);
}

TEST(ModemAnswer, DeadlineHoldsAcrossTheTickWrap) {
    struct Case {
        DWORD now, deadline;
        int reached;
    };
    const Case cases[] = {
        {1000, 4000, 0},
        {3999, 4000, 0},
        {4000, 4000, 1},
        {4001, 4000, 1},
        // 49.7 days after start the count wraps: a deadline 3 s on lies just past zero.
        {0xFFFFFF00u, 0xFFFFFF00u + 3000, 0},
        {5, 0xFFFFFF00u + 3000, 0},
        {0xFFFFFF00u + 3000, 0xFFFFFF00u + 3000, 1},
        {0xFFFFF000u, 100, 0},
        {200, 0xFFFFF000u, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TickReached(c.now, c.deadline), c.reached) << c.now << " " << c.deadline;
}

TEST(ModemSpeeds, EachRowBuildsItsLineSettings) {
    struct Case {
        int index;
        DWORD baud;
    };
    const Case cases[] = {{2, 1200},  {3, 2400},  {5, 9600},  {6, 19200},
                          {8, 38400}, {9, 38400}, {10, 57600}};
    for (const Case& c : cases) {
        std::string definition = std::string("COM1") + ModemSpeeds[c.index].lineSettings;
        DCB dcb;
        ZeroMemory(&dcb, sizeof dcb);
        dcb.DCBlength = sizeof dcb;
        ASSERT_TRUE(BuildCommDCBA(definition.c_str(), &dcb)) << definition;
        EXPECT_EQ(dcb.BaudRate, c.baud) << definition;
        EXPECT_EQ(dcb.ByteSize, 8) << definition;
        EXPECT_EQ(dcb.Parity, NOPARITY) << definition;
        EXPECT_EQ(dcb.StopBits, ONESTOPBIT) << definition;
    }
    // The 300 bit/s row is kept as the client's configuration has it, with a blank before
    // the stop bits; a system that refuses it leaves the port at its previous speed, one
    // that takes it must not make another speed of it.
    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    std::string slow = std::string("COM1") + ModemSpeeds[1].lineSettings;
    if (BuildCommDCBA(slow.c_str(), &dcb)) {
        EXPECT_EQ(dcb.BaudRate, 300u);
    }
}

class ModemSearchDialog_ : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ResetRunState();
        ASSERT_TRUE(CreateFrameWindow("Modem"));
    }
    static void TearDownTestSuite() { DestroyFrameWindow(); }
    void TearDown() override {
        uitest::Stop();
        for (ModelessSlot& slot : ModelessSlots)
            if (slot.templateId) CloseModeless(slot.templateId);
    }
};

TEST_F(ModemSearchDialog_, SkipAndQuitStopTheSearchOnlyWhenConfirmed) {
    struct Case {
        int button;  // on the search dialog
        int answer;  // on the question it asks
        uint32_t abort, quit;
        bool visibleAfter;
    };
    const Case cases[] = {
        {ID_SKIP, IDNO, 0, 0, true},
        {ID_SKIP, IDYES, 1, 0, true},
        {ID_QUIT, ID_RESUME, 0, 0, true},  // "Reprendre": the search goes on, its dialog comes back
        {ID_QUIT, ID_QUIT, 1, 1, false},   // "Quitter"
    };
    for (const Case& c : cases) {
        ModemSearchAbort = 0;
        QuitRequested = 0;
        HWND search = OpenModeless(IDD_MODEMSEARCH, ModemSearchDlgProc);
        ASSERT_TRUE(search);
        std::string question;
        uitest::Act([&](HWND d) {
            if (d == search) return false;
            // The quit confirmation is the dialog with "Reprendre".
            question = GetDlgItem(d, ID_RESUME) ? "confirm quit" : uitest::BoxText(d);
            uitest::Press(d, c.answer);
            return true;
        });
        SendMessageA(search, WM_COMMAND, MAKEWPARAM(c.button, BN_CLICKED),
                     (LPARAM)GetDlgItem(search, c.button));
        uitest::Stop();
        EXPECT_EQ(question, c.button == ID_SKIP ? uitest::Message(IDS_SKIP_MODEM)
                                                : std::string("confirm quit"));
        EXPECT_EQ(ModemSearchAbort, c.abort) << c.button << " " << c.answer;
        EXPECT_EQ(QuitRequested, c.quit) << c.button << " " << c.answer;
        EXPECT_EQ(IsWindowVisible(search) != 0, c.visibleAfter) << c.button << " " << c.answer;
        CloseModeless(IDD_MODEMSEARCH);
    }
    ModemSearchAbort = 0;
    QuitRequested = 0;
}

}  // namespace
