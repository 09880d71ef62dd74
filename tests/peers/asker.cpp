// asker.exe: asks the user things, so that the robot can be tried on known windows.
//   asker.exe box FLAGS TEXT   a message box with caption "Installation", MessageBox FLAGS
//                              (decimal); prints RESULT=n and exits with the result
//   asker.exe form             a dialog "Formulaire" with edit 501, check box 505, radio
//                              buttons 600-602, list box 520, combo box 530 and buttons
//                              400 (Suivant) and 401 (Annuler); Suivant with an empty edit
//                              field shows a message box and keeps the dialog. Prints the
//                              values (EDIT= CHECK= RADIO= LIST= COMBO=) and exits with the
//                              button's id.
//   asker.exe owned FLAGS TEXT the same box, owned by a window "Cadre" shown just before it
//                              (both appear within one look of the robot)
//   asker.exe crash            dies of an access violation (no dialog may hold the run up)
// Texts are taken as UTF-8 and shown through the Unicode calls.
#include <windows.h>
#include <shellapi.h>
#include <string>
#include <vector>

namespace {

void Say(const std::string& text) {
    DWORD written;
    std::string s = text + "\n";
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), s.data(), (DWORD)s.size(), &written, NULL);
}

std::string Utf8(const wchar_t* w) {
    int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, NULL, 0, NULL, NULL);
    std::string s(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, w, -1, &s[0], n, NULL, NULL);
    return s;
}

// An in-memory dialog template: header, then one item per control, DWORD-aligned.
struct Template {
    std::vector<WORD> words;
    void Align() {
        if (words.size() % 2) words.push_back(0);
    }
    void Text(const wchar_t* s) {
        do words.push_back(*s);
        while (*s++);
    }
    void Dword(DWORD d) {
        words.push_back(LOWORD(d));
        words.push_back(HIWORD(d));
    }
    void Header(const wchar_t* caption, short cx, short cy, WORD items) {
        Dword(DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_CENTER);
        Dword(0);
        words.push_back(items);
        words.push_back(0);
        words.push_back(0);
        words.push_back(cx);
        words.push_back(cy);
        words.push_back(0);
        words.push_back(0);  // no menu, default class
        Text(caption);
        words.push_back(8);
        Text(L"MS Sans Serif");
    }
    void Item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD cls,
              const wchar_t* text) {
        Align();
        Dword(style | WS_CHILD | WS_VISIBLE);
        Dword(0);
        words.push_back(x);
        words.push_back(y);
        words.push_back(cx);
        words.push_back(cy);
        words.push_back(id);
        words.push_back(0xFFFF);
        words.push_back(cls);
        Text(text);
        words.push_back(0);
    }
};

const WORD kButton = 0x80, kEdit = 0x81, kStatic = 0x82, kListBox = 0x83, kComboBox = 0x85;

INT_PTR CALLBACK FormDlgProc(HWND dlg, UINT msg, WPARAM w, LPARAM) {
    if (msg == WM_INITDIALOG) {
        static const wchar_t* drives[] = {L"A:", L"C:", L"D:"};
        for (const wchar_t* d : drives) SendDlgItemMessageW(dlg, 520, LB_ADDSTRING, 0, (LPARAM)d);
        static const wchar_t* sizes[] = {L"5 Mo", L"10 Mo", L"20 Mo"};
        for (const wchar_t* s : sizes) SendDlgItemMessageW(dlg, 530, CB_ADDSTRING, 0, (LPARAM)s);
        SendDlgItemMessageW(dlg, 530, CB_SETCURSEL, 0, 0);
        CheckRadioButton(dlg, 600, 602, 600);
        return TRUE;
    }
    if (msg != WM_COMMAND) return FALSE;
    WORD id = LOWORD(w);
    if (id == 400) {
        wchar_t text[260];
        GetDlgItemTextW(dlg, 501, text, 260);
        if (!text[0]) {
            MessageBoxW(dlg, L"Le champ est vide.", L"Installation", MB_OK | MB_ICONSTOP);
            return TRUE;
        }
        Say("EDIT=" + Utf8(text));
        Say("CHECK=" + std::to_string(IsDlgButtonChecked(dlg, 505)));
        for (int r = 600; r <= 602; r++)
            if (IsDlgButtonChecked(dlg, r)) Say("RADIO=" + std::to_string(r));
        Say("LIST=" + std::to_string((int)SendDlgItemMessageW(dlg, 520, LB_GETCURSEL, 0, 0)));
        Say("COMBO=" + std::to_string((int)SendDlgItemMessageW(dlg, 530, CB_GETCURSEL, 0, 0)));
        EndDialog(dlg, 400);
    } else if (id == 401 || id == IDCANCEL) {
        EndDialog(dlg, 401);
    }
    return TRUE;
}

int Form(HINSTANCE instance) {
    Template t;
    t.Header(L"Formulaire", 220, 150, 11);
    t.Item(SS_LEFT, 8, 8, 200, 10, 0xFFFF, kStatic, L"Dossier de destination :");
    t.Item(ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 8, 20, 200, 12, 501, kEdit, L"");
    t.Item(BS_AUTOCHECKBOX | WS_TABSTOP, 8, 38, 200, 10, 505, kButton, L"Menu Démarrer");
    t.Item(BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 8, 52, 60, 10, 600, kButton, L"5 Mo");
    t.Item(BS_AUTORADIOBUTTON, 72, 52, 60, 10, 601, kButton, L"10 Mo");
    t.Item(BS_AUTORADIOBUTTON, 136, 52, 60, 10, 602, kButton, L"20 Mo");
    t.Item(LBS_NOTIFY | WS_BORDER | WS_VSCROLL | WS_GROUP | WS_TABSTOP, 8, 66, 90, 40, 520,
           kListBox, L"");
    t.Item(CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 110, 66, 98, 60, 530, kComboBox, L"");
    t.Item(BS_DEFPUSHBUTTON | WS_TABSTOP, 60, 126, 60, 16, 400, kButton, L"Suivant");
    t.Item(BS_PUSHBUTTON | WS_TABSTOP, 130, 126, 60, 16, 401, kButton, L"Annuler");
    t.Item(SS_LEFT, 8, 110, 200, 10, 0xFFFF, kStatic, L"Fin");
    t.Align();
    return (int)DialogBoxIndirectW(instance, (DLGTEMPLATE*)&t.words[0], NULL, FormDlgProc);
}

HWND OwnedFrame;

LRESULT CALLBACK ShowOwnerHook(int code, WPARAM w, LPARAM l) {
    if (code == HCBT_ACTIVATE && (HWND)w != OwnedFrame && !IsWindowVisible(OwnedFrame))
        ShowWindow(OwnedFrame, SW_SHOWNA);
    return CallNextHookEx(NULL, code, w, l);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc >= 4 && lstrcmpW(argv[1], L"box") == 0) {
        int r = MessageBoxW(NULL, argv[3], L"Installation", (UINT)_wtoi(argv[2]));
        Say("RESULT=" + std::to_string(r));
        return r;
    }
    if (argc >= 4 && lstrcmpW(argv[1], L"owned") == 0) {
        // The owner is shown only as the box activates, so both show up at the same moment.
        OwnedFrame = CreateWindowExW(0, L"Static", L"Cadre", WS_POPUP | WS_CAPTION, 0, 0, 400, 300,
                                     NULL, NULL, instance, NULL);
        HHOOK hook = SetWindowsHookExW(WH_CBT, ShowOwnerHook, NULL, GetCurrentThreadId());
        int r = MessageBoxW(OwnedFrame, argv[3], L"Installation", (UINT)_wtoi(argv[2]));
        UnhookWindowsHookEx(hook);
        DestroyWindow(OwnedFrame);
        Say("RESULT=" + std::to_string(r));
        return r;
    }
    if (argc >= 2 && lstrcmpW(argv[1], L"form") == 0) {
        int r = Form(instance);
        Say("RESULT=" + std::to_string(r));
        return r;
    }
    if (argc >= 2 && lstrcmpW(argv[1], L"crash") == 0) {
        volatile int* nowhere = NULL;
        *nowhere = 1;
    }
    return 255;
}
