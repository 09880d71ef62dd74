// The dialog manager on real dialogs built from the program's templates: the modeless
// table, the pump, modal results, the edit dialog, the welcome dialog's cache choice, the
// quit confirmation and the add-on choice. A thread timer acts as the user.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "tests/win32/ui_testlib.h"
#include "base/globals.h"
#include "base/log.h"
#include "ui/dialogs.h"
#include "ui/frame.h"

namespace {

INT_PTR CALLBACK QuietProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

class Dialogs : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ResetRunState();
        ASSERT_TRUE(CreateFrameWindow("Dialogs"));
    }
    static void TearDownTestSuite() { DestroyFrameWindow(); }
    void SetUp() override {
        SetupError = 0;
        QuitRequested = 0;
        InstallSettings.NextDiskLabel[0] = 0;
        boxes.clear();
    }
    void TearDown() override {
        uitest::Stop();
        for (ModelessSlot& slot : ModelessSlots)
            if (slot.templateId) CloseModeless(slot.templateId);
    }
    // Dismisses every message box, keeping its text; open dialogs are left alone.
    void RecordBoxes() {
        uitest::Act([this](HWND box) {
            if (!GetDlgItem(box, 0xFFFF)) return false;
            boxes.push_back(uitest::BoxText(box));
            uitest::Press(box, IDOK);
            return true;
        });
    }
    std::vector<std::string> boxes;
};

TEST_F(Dialogs, ModelessTableHoldsFour) {
    const int templates[] = {202, 203, 210, 224};
    for (int id : templates) ASSERT_TRUE(OpenModeless(id, QuietProc)) << id;
    RecordBoxes();
    EXPECT_EQ(OpenModeless(225, QuietProc), (HWND)NULL);
    uitest::Stop();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], uitest::Message(34300));
    for (int i = 0; i < MODELESS_SLOTS; i++) {
        EXPECT_EQ(ModelessSlots[i].templateId, templates[i]);
        EXPECT_TRUE(IsWindow(ModelessSlots[i].window));
        EXPECT_EQ(GetWindow(ModelessSlots[i].window, GW_OWNER), FrameWindow);
    }
}

TEST_F(Dialogs, ModelessFailuresAndDoubleClose) {
    RecordBoxes();
    EXPECT_EQ(OpenModeless(203, NULL), (HWND)NULL);       // no procedure
    EXPECT_EQ(OpenModeless(299, QuietProc), (HWND)NULL);  // no such template
    EXPECT_EQ(ModelessSlots[0].templateId, 0);
    HWND dialog = OpenModeless(203, QuietProc);
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(CloseModeless(203));
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_FALSE(CloseModeless(203));
    uitest::Stop();
    char text[512];
    ASSERT_EQ(boxes.size(), 3u);
    wsprintfA(text, uitest::Message(34301).c_str(), 203);
    EXPECT_EQ(boxes[0], text);
    wsprintfA(text, uitest::Message(34302).c_str(), 299);
    EXPECT_EQ(boxes[1], text);
    EXPECT_EQ(boxes[2], uitest::Message(34303));
}

int dispatched;
LRESULT CALLBACK CountingProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_USER + 7) dispatched++;
    return DefWindowProcA(w, m, wp, lp);
}

TEST_F(Dialogs, PumpStopsAtQuit) {
    WNDCLASSA cls = {};
    cls.lpfnWndProc = CountingProc;
    cls.hInstance = GetModuleHandleA(NULL);
    cls.lpszClassName = "PumpTestWindow";
    RegisterClassA(&cls);
    HWND window = CreateWindowExA(0, "PumpTestWindow", "", 0, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
    uitest::Settle(20);
    dispatched = 0;
    PostMessageA(window, WM_USER + 7, 0, 0);
    EXPECT_TRUE(PumpMessages());
    EXPECT_EQ(dispatched, 1);

    PostMessageA(NULL, WM_QUIT, 0, 0);
    PostMessageA(window, WM_USER + 7, 0, 0);
    EXPECT_FALSE(PumpMessages());
    EXPECT_EQ(dispatched, 1);
    MSG message;
    // The quit message is consumed, the one behind it waits in the queue.
    ASSERT_TRUE(PeekMessageA(&message, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, (UINT)(WM_USER + 7));
    DestroyWindow(window);
    UnregisterClassA("PumpTestWindow", GetModuleHandleA(NULL));
}

TEST_F(Dialogs, ModalResults) {
    EXPECT_EQ(RunModalDialog(299, NULL), -1);  // no such template: nothing shown
    struct Case {
        int templateId;
        int press;
        int result;
    };
    const Case cases[] = {
        {212, 408, 408},      {204, 404, 404},
        {227, 414, 414},      {213, SC_CLOSE, 406},  // closed from the system menu
        {226, SC_CLOSE, 406},
    };
    for (const Case& c : cases) {
        HWND owner = NULL;
        uitest::Act([&](HWND d) {
            owner = GetWindow(d, GW_OWNER);
            if (c.press == SC_CLOSE) PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
            else uitest::Press(d, c.press);
            return true;
        });
        EXPECT_EQ(RunModalDialog(c.templateId, NULL), c.result) << c.templateId;
        uitest::Stop();
        EXPECT_EQ(owner, FrameWindow);
    }
}

TEST_F(Dialogs, NextDiskLabelInDiskPrompt) {
    lstrcpynA(InstallSettings.NextDiskLabel, "Disquette 2", sizeof InstallSettings.NextDiskLabel);
    std::string prompt;
    uitest::Act([&](HWND d) {
        prompt = uitest::Text(d, 513);
        uitest::Press(d, 412);
        return true;
    });
    EXPECT_EQ(RunModalDialog(219, NULL), 412);
    char expected[512];
    wsprintfA(expected, uitest::Message(34308).c_str(), "Disquette 2");
    EXPECT_EQ(prompt, expected);
}

TEST_F(Dialogs, EditDialog) {
    struct Case {
        const char* typed;
        int end;
        const char* result;
    };
    const std::string longText(300, 'A');
    const Case cases[] = {
        {"d:\\nouveau", 408, "D:\\NOUVEAU"},  // the field makes it upper case
        {longText.c_str(), 408, nullptr},     // cut at 255
        {"D:\\AUTRE", 406, "C:\\KOV"},        // Annuler: unchanged
        {"D:\\AUTRE", SC_CLOSE, "C:\\KOV"},   // closed: unchanged
    };
    for (const Case& c : cases) {
        char text[260] = "C:\\KOV";
        std::string shown;
        uitest::Act([&](HWND d) {
            shown = uitest::Text(d, 501);
            SendDlgItemMessageA(d, 501, EM_LIMITTEXT, 0, 0);
            SetDlgItemTextA(d, 501, c.typed);
            if (c.end == SC_CLOSE) PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
            else uitest::Press(d, c.end);
            return true;
        });
        EXPECT_EQ(RunEditDialog(206, text, NULL), c.end == SC_CLOSE ? 406 : c.end);
        uitest::Stop();
        EXPECT_EQ(shown, "C:\\KOV");
        if (c.result) EXPECT_STREQ(text, c.result);
        else EXPECT_EQ(std::string(text), std::string(255, 'A'));
    }
}

TEST_F(Dialogs, WelcomeCacheChoice) {
    struct Case {
        uint32_t freeMb;
        bool checked[3];
        bool visible20;
        uint16_t choice;
    };
    const Case cases[] = {
        {35, {false, true, false}, false, 1},
        {40, {false, false, true}, true, 2},
        {25, {false, false, false}, true, 0},
    };
    for (const Case& c : cases) {
        FreeMegabytes = c.freeMb;
        RequiredMegabytes = 20;
        CacheChoice = 0;
        bool checked[3] = {};
        bool visible20 = false;
        std::string freeText;
        RECT before[2], after[2];
        uitest::Act([&](HWND d) {
            for (int i = 0; i < 3; i++) checked[i] = IsDlgButtonChecked(d, 600 + i) == BST_CHECKED;
            visible20 = IsWindowVisible(GetDlgItem(d, 602));
            freeText = uitest::Text(d, 508);
            for (int i = 0; i < 2; i++) {
                GetWindowRect(GetDlgItem(d, 600 + i), &after[i]);
                MapWindowPoints(NULL, d, (POINT*)&after[i], 2);
            }
            uitest::Press(d, 401);
            return true;
        });
        EXPECT_EQ(RunModalDialog(223, NULL), 401);
        uitest::Stop();
        for (int i = 0; i < 3; i++) EXPECT_EQ(checked[i], c.checked[i]) << c.freeMb << " " << i;
        EXPECT_EQ(visible20, c.visible20) << c.freeMb;
        EXPECT_EQ(CacheChoice, c.choice) << c.freeMb;
        char expected[128];
        wsprintfA(expected, uitest::Message(34307).c_str(), (int)c.freeMb);
        EXPECT_EQ(freeText, expected);

        if (c.freeMb == 35) {
            // The two remaining buttons spread over the row: where the template put them,
            // measured on a dialog that was left as loaded.
            HWND plain = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(223),
                                            FrameWindow, QuietProc, 0);
            for (int i = 0; i < 2; i++) {
                GetWindowRect(GetDlgItem(plain, 600 + i), &before[i]);
                MapWindowPoints(NULL, plain, (POINT*)&before[i], 2);
            }
            DestroyWindow(plain);
            int left = before[0].left, width = before[0].right - before[0].left;
            int gap = ((before[1].right - left) - 2 * width) / 3 * 2;
            EXPECT_EQ(after[0].left, left + 5 * gap);
            EXPECT_EQ(after[1].left, left + (before[1].right - before[1].left) + 6 * gap);
            EXPECT_EQ(after[0].top, before[0].top);
            EXPECT_EQ(after[1].right - after[1].left, before[1].right - before[1].left);
        }
    }
    // The radio buttons set the choice.
    FreeMegabytes = 0;
    uitest::Act([&](HWND d) {
        SendDlgItemMessageA(d, 602, BM_CLICK, 0, 0);
        uitest::Press(d, 401);
        return true;
    });
    EXPECT_EQ(RunModalDialog(223, NULL), 401);
    EXPECT_EQ(CacheChoice, 2);
}

TEST_F(Dialogs, ConfirmQuit) {
    HWND window = CreateWindowExA(0, "STATIC", "progress", WS_POPUP | WS_VISIBLE, 10, 10, 50, 50,
                                  FrameWindow, NULL, NULL, NULL);
    struct Case {
        int press;
        BOOL result;
        bool visibleAfter;
    };
    const Case cases[] = {{407, FALSE, true}, {403, TRUE, false}};
    for (const Case& c : cases) {
        QuitRequested = 0;
        LogReset();
        ShowWindow(window, SW_SHOW);
        bool hiddenWhileAsking = false;
        std::string caption;
        uitest::Act([&](HWND d) {
            if (d == window) return false;
            hiddenWhileAsking = !IsWindowVisible(window);
            caption = uitest::Text(d);
            uitest::Press(d, c.press);
            return true;
        });
        EXPECT_EQ(ConfirmQuit(window), c.result);
        uitest::Stop();
        EXPECT_TRUE(hiddenWhileAsking);
        EXPECT_EQ(caption, "Installation");
        EXPECT_EQ(IsWindowVisible(window) != 0, c.visibleAfter);
        EXPECT_EQ(QuitRequested, c.result ? 1u : 0u);
        std::string log = LogTraceText() ? LogTraceText() : "";
        EXPECT_EQ(log.find("User exit") != std::string::npos, c.result == TRUE) << log;
    }
    DestroyWindow(window);
}

// A progress dialog's procedure as its owners write it: a button sets a flag that the work
// loop reads; the dialog stays until the owner closes it.
int pressedInProgress;
INT_PTR CALLBACK ProgressProc(HWND, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && LOWORD(wParam) >= ID_FIRST_END && LOWORD(wParam) <= ID_LAST_END) {
        pressedInProgress = LOWORD(wParam);
        return TRUE;
    }
    return FALSE;
}

// The frame's close box, from the system menu or as a close message, with a progress dialog
// open (or none): the searches quit, the copy is cancelled, the migration and the gaps
// between steps go on. The frame and the dialog stay, and the next modal dialog still shows.
TEST_F(Dialogs, FrameCloseActsOnTheProgressDialog) {
    struct Case {
        int templateId;  // 0: no dialog open
        UINT message;
        int pressed;  // 0: ignored
    };
    const Case cases[] = {
        {202, WM_CLOSE, 403}, {203, WM_SYSCOMMAND, 403}, {200, WM_SYSCOMMAND, 406},
        {220, WM_CLOSE, 406}, {210, WM_SYSCOMMAND, 0},   {224, WM_CLOSE, 0},
        {225, WM_CLOSE, 0},   {0, WM_SYSCOMMAND, 0},     {0, WM_CLOSE, 0},
    };
    HWND frame = FrameWindow;
    for (const Case& c : cases) {
        HWND dialog = NULL;
        if (c.templateId) {
            dialog = OpenModeless(c.templateId, ProgressProc);
            ASSERT_TRUE(dialog) << c.templateId;
        }
        pressedInProgress = 0;
        LogReset();
        if (c.message == WM_CLOSE) PostMessageA(FrameWindow, WM_CLOSE, 0, 0);
        else PostMessageA(FrameWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_TRUE(PumpMessages());
        EXPECT_EQ(pressedInProgress, c.pressed) << c.templateId;
        ASSERT_EQ(FrameWindow, frame) << c.templateId;
        ASSERT_TRUE(IsWindow(FrameWindow)) << c.templateId;
        std::string log = LogTraceText() ? LogTraceText() : "";
        EXPECT_NE(log.find(c.pressed ? "Frame closed by the user" : "Frame close ignored"),
                  std::string::npos)
            << log;
        if (dialog) {
            EXPECT_TRUE(IsWindow(dialog));
            EXPECT_EQ(ModelessSlots[0].window, dialog);
            EXPECT_TRUE(CloseModeless(c.templateId));
        }
        uitest::Act([](HWND d) {
            uitest::Press(d, 408);
            return true;
        });
        EXPECT_EQ(RunModalDialog(212, NULL), 408) << c.templateId;
        uitest::Stop();
    }
}

// A Quit the user could not press (disabled) is not pressed by the close box either.
TEST_F(Dialogs, FrameCloseLeavesDisabledButtonAlone) {
    HWND dialog = OpenModeless(202, ProgressProc);
    ASSERT_TRUE(dialog);
    EnableWindow(GetDlgItem(dialog, 403), FALSE);
    pressedInProgress = 0;
    PostMessageA(FrameWindow, WM_CLOSE, 0, 0);
    EXPECT_TRUE(PumpMessages());
    EXPECT_EQ(pressedInProgress, 0);
    EXPECT_TRUE(IsWindow(FrameWindow));
}

TEST(DialogProcedures, ChosenByTemplate) {
    struct Case {
        int id;
        DLGPROC proc;
    };
    const Case cases[] = {
        {223, WelcomeDlgProc}, {226, CenteredDlgProc}, {229, QuickRefDlgProc}, {235, AddOnDlgProc},
        {205, DefaultDlgProc}, {219, DefaultDlgProc},  {299, DefaultDlgProc},
    };
    for (const Case& c : cases) EXPECT_EQ(ModalDialogProc(c.id), c.proc) << c.id;
}

TEST_F(Dialogs, AddOnChoice) {
    char* files[] = {(char*)"a.exe", (char*)"b.exe", (char*)"c.exe"};
    char* args[] = {(char*)"", (char*)"", (char*)""};
    char* descriptions[] = {(char*)"Lecteur audio", (char*)"Afficheur 3D", (char*)"Module de jeux"};
    InstallSettings.AddOnPrograms = {3, files, args, descriptions};
    memset(AddOnSkipped, 0, sizeof AddOnSkipped);
    int selectedAtStart = -1;
    std::vector<std::string> lines;
    uitest::Act([&](HWND d) {
        HWND list = GetDlgItem(d, 521);
        selectedAtStart = (int)SendMessageA(list, LB_GETSELCOUNT, 0, 0);
        int count = (int)SendMessageA(list, LB_GETCOUNT, 0, 0);
        for (int i = 0; i < count; i++) {
            char line[128];
            SendMessageA(list, LB_GETTEXT, i, (LPARAM)line);
            lines.push_back(line);
            // Leave out the second add-on.
            if (SendMessageA(list, LB_GETITEMDATA, i, 0) == 1)
                SendMessageA(list, LB_SETSEL, FALSE, i);
        }
        uitest::Press(d, 401);
        return true;
    });
    int result = RunModalDialog(235, NULL);
    uitest::Stop();
    InstallSettings.AddOnPrograms = {};
    EXPECT_EQ(result, 401);
    EXPECT_EQ(selectedAtStart, 3);
    EXPECT_EQ(lines, (std::vector<std::string>{"Lecteur audio", "Afficheur 3D", "Module de jeux"}));
    EXPECT_EQ(AddOnSkipped[0], 0u);
    EXPECT_EQ(AddOnSkipped[1], 1u);
    EXPECT_EQ(AddOnSkipped[2], 0u);
}

}  // namespace
