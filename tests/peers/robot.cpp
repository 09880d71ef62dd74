// robot.exe: plays the user on the test machine. It watches the desktop for new top-level
// windows (dialogs, message boxes, frames), logs each one with its controls, and answers it
// by the first rule that matches.
//
// Usage:
//   robot.exe --log FILE [--rules FILE] [--until-gone NAME[,NAME...]] [--appear MS]
//             [--stop FILE] [--timeout MS] [--shots DIR] [--follow ID[,ID...]]
//
//   --log FILE         the log (UTF-8, one record per line, written as things happen)
//   --rules FILE       the rules (UTF-8); without it the robot only watches
//   --until-gone NAMES exit once a process with one of these image names (e.g. setup.exe,
//                      setupthp.exe) has been seen and none of them is left
//   --appear MS        with --until-gone: give up when none appeared within MS (default 20000)
//   --stop FILE        exit when FILE exists; with --until-gone, once FILE exists and none
//                      of the named processes is left (so a program that ended before the
//                      robot noticed it still ends the watch, and one it started is waited for)
//   --timeout MS       exit after MS in any case (default 120000)
//   --shots DIR        save a picture of each new window there (NNN.bmp, 200 ms after it
//                      appears, before it is answered)
//   --follow IDS       keep watching the controls with these ids in every logged window and
//                      log each change of their text and of their first window word (the
//                      position of a progress gauge)
//
// Exit status: 0 the watched processes ended (or the stop file appeared), 1 bad arguments or
// rules, 2 timeout, 3 the watched processes never appeared.
//
// Rule file: one rule per line; blank lines and lines starting with # are ignored.
//
//   MATCH... => ACTION...
//
// Words are separated by blanks; a text with blanks is quoted: "like this" ("" inside quotes
// stands for one quote; backslashes are plain characters, so "C:\KOV" is fine). Numbers are
// decimal or 0x hexadecimal.
//
// Matches (all given must hold):
//   caption TEXT   the window caption contains TEXT
//   class TEXT     the window class is TEXT (case ignored), e.g. "#32770" for dialogs
//   text TEXT      some control's text contains TEXT (a message box's text is the Static
//                  with id 0xFFFF)
//   id N           a control with id N exists
//   max N          the rule fires at most N times in the run
//   *              any window (alone, or with max)
//
// Actions, done in order:
//   press N        post WM_COMMAND with id N (BN_CLICKED) to the window: IDOK=1 IDCANCEL=2
//                  IDRETRY=4 IDYES=6 IDNO=7, or any button id of a dialog template
//   click N        post BM_CLICK to control N (the button's own click handling)
//   type N TEXT    set the text of control N (WM_SETTEXT)
//   check N        make check box or radio button N checked (a real click when it is not)
//   uncheck N      make check box N unchecked
//   select N I     select item I of list box or combo box N (add it to a multiple selection)
//   deselect N I   remove item I (-1: all) from the selection of multiple-selection list box N
//   close          post WM_COMMAND IDCANCEL
//   wait MS        sleep MS milliseconds before the next action
//   ignore         do nothing (stops the search for a rule)
//
// A window is answered when it is first seen visible and enabled, and again each time it
// becomes the window to answer anew: enabled, and the last window of its program still up
// (a message box over it has gone). So a dialog that stays up after an error message is
// answered again; use max to answer differently.
//
// Log records (texts in double quotes, with CR, LF and TAB written as \r \n \t):
//   READY t=MS                                        the robot took its first look
//   WINDOW t=MS hwnd=0xH class="C" caption="T" process="P" owner="OWNERCLASS"
//   CONTROL id=N class="C" text="T" [checked] [disabled] [hidden]
//   ITEM id=N index=I text="T" [selected]             entries of list and combo boxes
//   END                                               end of one window's controls
//   SHOT hwnd=0xH file="001.bmp"                      its picture (with --shots)
//   RULE t=MS hwnd=0xH line=L                         the rule on line L of the rule file fires
//   ACTION press 1 | type 501 "C:\KOV" | ...          each action as it is done
//   NORULE t=MS hwnd=0xH                              no rule matched (logged once per window)
//   GONE t=MS hwnd=0xH                                a logged window was destroyed
//   WATCH t=MS running=N                              a watched process was first seen
//   TEXT t=MS hwnd=0xH id=N text="T"                  a followed control's text changed
//   WORD t=MS hwnd=0xH id=N value=V                   a followed control's first word changed
//   EXIT t=MS reason=gone|stop|timeout|never-appeared
// Windows that already existed when the robot started are not logged or answered.
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

namespace {

enum ActionKind {
    ActPress,
    ActClick,
    ActType,
    ActCheck,
    ActUncheck,
    ActSelect,
    ActDeselect,
    ActClose,
    ActWait,
    ActIgnore
};

struct RobotAction {
    ActionKind kind;
    int id;
    int value;
    std::wstring text;
};

struct RobotRule {
    int line;
    bool any;
    std::wstring caption, className, controlText;
    bool hasId;
    int controlId;
    int maxFires;  // 0 = unlimited
    int fired;
    std::vector<RobotAction> actions;
};

struct Control {
    HWND hwnd;
    int id;
    std::wstring className, text;
};

struct Watched {
    HWND hwnd;
    DWORD pid;
    unsigned order;  // when the robot first saw it
    bool logged;     // its WINDOW record was written
    bool answered;   // answered since it last became the window to answer
    bool noRuleLogged;
    bool existedAtStart;
    bool visible;
    std::vector<std::pair<std::wstring, LONG>> followed;  // per --follow id: last text, word
};

HANDLE LogFile = INVALID_HANDLE_VALUE;
std::wstring ShotDir;        // --shots: a picture of each new window goes there
std::vector<int> FollowIds;  // --follow
int ShotCount;
DWORD StartTick;
std::vector<RobotRule> Rules;
std::vector<Watched> Windows;

DWORD Elapsed() { return GetTickCount() - StartTick; }

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), (int)w.size(), NULL, 0, NULL, NULL);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), (int)w.size(), &s[0], n, NULL, NULL);
    return s;
}

std::wstring Wide(const std::string& s) {
    if (s.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), (int)s.size(), NULL, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.c_str(), (int)s.size(), &w[0], n);
    return w;
}

// Texts go into the log quoted on one line.
std::string Quote(const std::wstring& w) {
    std::string in = Utf8(w), out = "\"";
    for (char c : in) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else out += c;
    }
    return out + "\"";
}

void LogLine(const std::string& line) {
    if (LogFile == INVALID_HANDLE_VALUE) return;
    std::string s = line + "\n";
    DWORD written;
    WriteFile(LogFile, s.data(), (DWORD)s.size(), &written, NULL);
}

std::string Hex(HWND h) {
    char b[32];
    snprintf(b, sizeof b, "0x%lx", (unsigned long)(ULONG_PTR)h);  // a 32-bit handle
    return b;
}

std::string Num(long v) {
    char b[32];
    snprintf(b, sizeof b, "%ld", v);
    return b;
}

std::wstring ClassOf(HWND h) {
    wchar_t b[256];
    int n = GetClassNameW(h, b, 256);
    return std::wstring(b, n > 0 ? n : 0);
}

// WM_GETTEXT through the owner's thread: GetWindowText would give only the stored caption
// of another process's control, not an edit field's contents.
std::wstring TextOf(HWND h) {
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &len)) return L"";
    if (len > 65536) len = 65536;
    std::vector<wchar_t> b(len + 2, 0);
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXT, len + 1, (LPARAM)&b[0], SMTO_ABORTIFHUNG, 2000, &got))
        return L"";
    return std::wstring(&b[0], got <= len ? got : len);
}

LRESULT Send(HWND h, UINT msg, WPARAM w, LPARAM l) {
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutW(h, msg, w, l, SMTO_ABORTIFHUNG, 2000, &r)) return -1;
    return (LRESULT)r;
}

std::wstring ProcessName(DWORD pid) {
    std::wstring name;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return name;
    PROCESSENTRY32W pe;
    pe.dwSize = sizeof pe;
    for (BOOL ok = Process32FirstW(snap, &pe); ok; ok = Process32NextW(snap, &pe))
        if (pe.th32ProcessID == pid) {
            name = pe.szExeFile;
            break;
        }
    CloseHandle(snap);
    return name;
}

BOOL CALLBACK CollectChild(HWND h, LPARAM p) {
    std::vector<Control>* out = (std::vector<Control>*)p;
    Control c;
    c.hwnd = h;
    c.id = GetDlgCtrlID(h) & 0xFFFF;
    c.className = ClassOf(h);
    c.text = TextOf(h);
    out->push_back(c);
    return TRUE;
}

std::vector<Control> ControlsOf(HWND h) {
    std::vector<Control> out;
    EnumChildWindows(h, CollectChild, (LPARAM)&out);
    return out;
}

bool IsClass(const std::wstring& cls, const wchar_t* name) {
    return _wcsicmp(cls.c_str(), name) == 0;
}

bool IsListBox(const std::wstring& cls) {
    return IsClass(cls, L"ListBox") || IsClass(cls, L"ComboLBox");
}

bool IsComboBox(const std::wstring& cls) { return IsClass(cls, L"ComboBox"); }

std::wstring ItemText(HWND h, bool combo, int index) {
    LRESULT len = Send(h, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, index, 0);
    if (len < 0 || len > 4096) return L"";
    std::vector<wchar_t> b(len + 2, 0);
    LRESULT got = Send(h, combo ? CB_GETLBTEXT : LB_GETTEXT, index, (LPARAM)&b[0]);
    if (got < 0) return L"";
    return std::wstring(&b[0], got <= len ? got : len);
}

void LogWindow(HWND h) {
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    HWND owner = GetWindow(h, GW_OWNER);
    LogLine("WINDOW t=" + Num(Elapsed()) + " hwnd=" + Hex(h) + " class=" + Quote(ClassOf(h)) +
            " caption=" + Quote(TextOf(h)) + " process=" + Quote(ProcessName(pid)) +
            " owner=" + Quote(owner ? ClassOf(owner) : L""));
    for (const Control& c : ControlsOf(h)) {
        std::string line =
            "CONTROL id=" + Num(c.id) + " class=" + Quote(c.className) + " text=" + Quote(c.text);
        LONG style = GetWindowLongW(c.hwnd, GWL_STYLE);
        if (IsClass(c.className, L"Button") && Send(c.hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED)
            line += " checked";
        if (style & WS_DISABLED) line += " disabled";
        if (!(style & WS_VISIBLE)) line += " hidden";
        LogLine(line);
        bool combo = IsComboBox(c.className);
        if (!combo && !IsListBox(c.className)) continue;
        LRESULT count = Send(c.hwnd, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
        LRESULT current = combo ? Send(c.hwnd, CB_GETCURSEL, 0, 0) : -1;
        for (LRESULT i = 0; i < count && i < 512; i++) {
            std::string item = "ITEM id=" + Num(c.id) + " index=" + Num((long)i) +
                               " text=" + Quote(ItemText(c.hwnd, combo, (int)i));
            bool selected = combo ? i == current : Send(c.hwnd, LB_GETSEL, i, 0) > 0;
            if (selected) item += " selected";
            LogLine(item);
        }
    }
    LogLine("END");
}

bool RuleMatches(const RobotRule& r, HWND h, const std::vector<Control>& controls) {
    if (r.maxFires && r.fired >= r.maxFires) return false;
    if (r.any) return true;
    if (!r.caption.empty() && TextOf(h).find(r.caption) == std::wstring::npos) return false;
    if (!r.className.empty() && !IsClass(ClassOf(h), r.className.c_str())) return false;
    if (!r.controlText.empty()) {
        bool found = false;
        for (const Control& c : controls)
            if (c.text.find(r.controlText) != std::wstring::npos) found = true;
        if (!found) return false;
    }
    if (r.hasId) {
        bool found = false;
        for (const Control& c : controls)
            if (c.id == (r.controlId & 0xFFFF)) found = true;
        if (!found) return false;
    }
    return true;
}

HWND ControlById(const std::vector<Control>& controls, int id) {
    for (const Control& c : controls)
        if (c.id == (id & 0xFFFF)) return c.hwnd;
    return NULL;
}

void Notify(HWND dialog, HWND ctl, int id, int code) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id & 0xFFFF, code), (LPARAM)ctl);
}

// Clicks are posted, never sent: a click that opens a modal dialog would otherwise keep
// the robot waiting until that dialog is answered, by the robot.
void DoAction(HWND h, const std::vector<Control>& controls, const RobotAction& a) {
    HWND ctl = ControlById(controls, a.id);
    std::string what;
    switch (a.kind) {
    case ActPress:
        what = "press " + Num(a.id);
        Notify(h, ctl, a.id, BN_CLICKED);
        break;
    case ActClick:
        what = "click " + Num(a.id);
        if (ctl) PostMessageW(ctl, BM_CLICK, 0, 0);
        break;
    case ActType:
        what = "type " + Num(a.id) + " " + Quote(a.text);
        if (ctl) Send(ctl, WM_SETTEXT, 0, (LPARAM)a.text.c_str());
        break;
    case ActCheck:
    case ActUncheck: {
        bool want = a.kind == ActCheck;
        what = std::string(want ? "check " : "uncheck ") + Num(a.id);
        if (!ctl) break;
        bool checked = Send(ctl, BM_GETCHECK, 0, 0) == BST_CHECKED;
        if (checked == want) break;
        LONG type = GetWindowLongW(ctl, GWL_STYLE) & BS_TYPEMASK;
        bool radio = type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
        if (want || !radio) {
            PostMessageW(ctl, BM_CLICK, 0, 0);
        } else {
            Send(ctl, BM_SETCHECK, BST_UNCHECKED, 0);
            Notify(h, ctl, a.id, BN_CLICKED);
        }
        break;
    }
    case ActSelect:
    case ActDeselect: {
        bool on = a.kind == ActSelect;
        what = std::string(on ? "select " : "deselect ") + Num(a.id) + " " + Num(a.value);
        if (!ctl) break;
        std::wstring cls = ClassOf(ctl);
        if (IsComboBox(cls)) {
            Send(ctl, CB_SETCURSEL, on ? a.value : -1, 0);
            Notify(h, ctl, a.id, CBN_SELCHANGE);
        } else {
            LONG style = GetWindowLongW(ctl, GWL_STYLE);
            if (style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) Send(ctl, LB_SETSEL, on, a.value);
            else Send(ctl, LB_SETCURSEL, on ? a.value : -1, 0);
            Notify(h, ctl, a.id, LBN_SELCHANGE);
        }
        break;
    }
    case ActClose:
        what = "close";
        Notify(h, GetDlgItem(h, IDCANCEL), IDCANCEL, BN_CLICKED);
        break;
    case ActWait:
        what = "wait " + Num(a.value);
        Sleep(a.value);
        break;
    case ActIgnore: what = "ignore"; break;
    }
    if ((a.kind != ActWait && a.kind != ActIgnore && a.kind != ActClose && a.kind != ActPress) &&
        !ctl)
        what += " (no such control)";
    LogLine("ACTION " + what);
}

bool Answer(HWND h, bool logNoRule) {
    std::vector<Control> controls = ControlsOf(h);
    for (RobotRule& r : Rules) {
        if (!RuleMatches(r, h, controls)) continue;
        r.fired++;
        LogLine("RULE t=" + Num(Elapsed()) + " hwnd=" + Hex(h) + " line=" + Num(r.line));
        for (const RobotAction& a : r.actions) DoAction(h, controls, a);
        return true;
    }
    if (logNoRule) LogLine("NORULE t=" + Num(Elapsed()) + " hwnd=" + Hex(h));
    return false;
}

Watched* Find(HWND h) {
    for (Watched& w : Windows)
        if (w.hwnd == h) return &w;
    return NULL;
}

BOOL CALLBACK CollectTop(HWND h, LPARAM p) {
    ((std::vector<HWND>*)p)->push_back(h);
    return TRUE;
}

// Saves what the screen shows of the window as a 24-bit BMP in ShotDir, after a moment for
// it to paint itself, and logs the file name.
void Shoot(HWND h) {
    Sleep(200);
    RECT r;
    if (!GetWindowRect(h, &r) || r.right <= r.left || r.bottom <= r.top) return;
    int w = r.right - r.left, ht = r.bottom - r.top;
    HDC screen = GetDC(NULL);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = ht;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = NULL;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, NULL, 0);
    if (bmp && bits) {
        HGDIOBJ old = SelectObject(mem, bmp);
        BitBlt(mem, 0, 0, w, ht, screen, r.left, r.top, SRCCOPY);
        GdiFlush();
        SelectObject(mem, old);
        DWORD stride = ((DWORD)w * 3 + 3) & ~3u, size = stride * ht;
        BITMAPFILEHEADER fh = {};
        fh.bfType = 0x4D42;
        fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
        fh.bfSize = fh.bfOffBits + size;
        wchar_t name[32];
        swprintf(name, 32, L"%03d.bmp", ++ShotCount);
        std::wstring path = ShotDir + L"\\" + name;
        HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        if (f != INVALID_HANDLE_VALUE) {
            DWORD n;
            WriteFile(f, &fh, sizeof fh, &n, NULL);
            WriteFile(f, &bi.bmiHeader, sizeof bi.bmiHeader, &n, NULL);
            WriteFile(f, bits, size, &n, NULL);
            CloseHandle(f);
            LogLine("SHOT hwnd=" + Hex(h) + " file=" + Quote(name));
        }
    }
    if (bmp) DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(NULL, screen);
}

// Logs what changed in the followed controls of a logged window since the last look.
void Follow(Watched& w) {
    w.followed.resize(FollowIds.size(), std::make_pair(std::wstring(L"\x1"), (LONG)-1));
    for (size_t i = 0; i < FollowIds.size(); i++) {
        HWND c = GetDlgItem(w.hwnd, FollowIds[i]);
        if (!c) continue;
        std::wstring text = TextOf(c), cls = ClassOf(c);
        // The standard controls keep their own data there; only custom controls are read.
        bool standard = false;
        for (const wchar_t* name :
             {L"Static", L"Button", L"Edit", L"ComboBox", L"ListBox", L"ScrollBar"})
            standard = standard || IsClass(cls, name);
        LONG word = standard ? 0 : GetWindowLongW(c, 0);
        std::string head =
            " t=" + Num(Elapsed()) + " hwnd=" + Hex(w.hwnd) + " id=" + Num(FollowIds[i]);
        if (text != w.followed[i].first) LogLine("TEXT" + head + " text=" + Quote(text));
        if (!standard && word != w.followed[i].second)
            LogLine("WORD" + head + " value=" + Num(word));
        w.followed[i] = std::make_pair(text, word);
    }
}

// A window is the one to answer when it is enabled and no window its program showed later is
// still up: so a dialog is answered again once the message box over it has gone, whether the
// box disabled it or not.
void Look(bool first) {
    static unsigned order;
    std::vector<HWND> tops;
    EnumWindows(CollectTop, (LPARAM)&tops);
    for (size_t i = 0; i < Windows.size();) {
        if (!IsWindow(Windows[i].hwnd)) {
            if (Windows[i].logged)
                LogLine("GONE t=" + Num(Elapsed()) + " hwnd=" + Hex(Windows[i].hwnd));
            Windows.erase(Windows.begin() + i);
        } else {
            Windows[i].visible = false;
            i++;
        }
    }
    // EnumWindows goes from the top of the Z-order down; new windows are numbered from the
    // bottom up, so a frame and the dialog it owns, both new in one look, rank as shown.
    for (auto it = tops.rbegin(); it != tops.rend(); ++it) {
        HWND h = *it;
        if (!IsWindowVisible(h)) continue;
        Watched* w = Find(h);
        if (!w) {
            Watched n = Watched();
            n.hwnd = h;
            GetWindowThreadProcessId(h, &n.pid);
            n.order = ++order;
            n.existedAtStart = first;
            Windows.push_back(n);
            w = &Windows.back();
        }
        w->visible = true;
        if (!w->existedAtStart && !w->logged) {
            LogWindow(h);
            if (!ShotDir.empty()) Shoot(h);
            w->logged = true;
        }
        if (w->logged && !FollowIds.empty()) Follow(*w);
    }
    std::vector<HWND> toAnswer;
    for (Watched& w : Windows) {
        if (!w.visible || w.existedAtStart) continue;
        bool current = IsWindowEnabled(w.hwnd) != FALSE;
        for (const Watched& x : Windows)
            if (x.visible && !x.existedAtStart && x.pid == w.pid && x.order > w.order)
                current = false;
        if (!current) w.answered = false;
        else if (!w.answered) toAnswer.push_back(w.hwnd);
    }
    for (HWND h : toAnswer) {
        Watched* w = Find(h);
        w->answered = true;
        if (!Answer(h, !w->noRuleLogged)) w->noRuleLogged = true;
    }
}

// --- rule file ---

bool NextWord(const std::string& line, size_t& pos, std::string& word, bool& quoted) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t' || line[pos] == ';')) pos++;
    if (pos >= line.size()) return false;
    word.clear();
    quoted = line[pos] == '"';
    if (quoted) {
        for (pos++; pos < line.size(); pos++) {
            if (line[pos] == '"') {
                if (pos + 1 < line.size() && line[pos + 1] == '"') {
                    word += '"';
                    pos++;
                    continue;
                }
                pos++;
                return true;
            }
            word += line[pos];
        }
        return true;  // unterminated quote: the rest of the line
    }
    while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t' && line[pos] != ';')
        word += line[pos++];
    return true;
}

bool ParseNumber(const std::string& s, int& out) {
    if (s.empty()) return false;
    char* end = NULL;
    long v = strtol(s.c_str(), &end, 0);
    if (*end) return false;
    out = (int)v;
    return true;
}

bool ParseRule(const std::string& line, int lineNo, RobotRule& r, std::string& error) {
    r = RobotRule();
    r.line = lineNo;
    size_t pos = 0;
    std::string w, arg;
    bool quoted, q2;
    bool actions = false, anyMatch = false;
    while (NextWord(line, pos, w, quoted)) {
        if (!actions) {
            if (!quoted && w == "=>") {
                actions = true;
                continue;
            }
            if (!quoted && w == "*") {
                r.any = true;
                anyMatch = true;
                continue;
            }
            if (!NextWord(line, pos, arg, q2)) {
                error = "'" + w + "' needs a value";
                return false;
            }
            if (w == "caption") r.caption = Wide(arg);
            else if (w == "class") r.className = Wide(arg);
            else if (w == "text") r.controlText = Wide(arg);
            else if (w == "id") {
                r.hasId = true;
                if (!ParseNumber(arg, r.controlId)) {
                    error = "bad id";
                    return false;
                }
            } else if (w == "max") {
                if (!ParseNumber(arg, r.maxFires)) {
                    error = "bad max";
                    return false;
                }
                continue;
            } else {
                error = "unknown match '" + w + "'";
                return false;
            }
            anyMatch = true;
            continue;
        }
        RobotAction a = RobotAction();
        int need = 0;  // numbers after the verb
        bool needText = false;
        if (w == "press") {
            a.kind = ActPress;
            need = 1;
        } else if (w == "click") {
            a.kind = ActClick;
            need = 1;
        } else if (w == "type") {
            a.kind = ActType;
            need = 1;
            needText = true;
        } else if (w == "check") {
            a.kind = ActCheck;
            need = 1;
        } else if (w == "uncheck") {
            a.kind = ActUncheck;
            need = 1;
        } else if (w == "select") {
            a.kind = ActSelect;
            need = 2;
        } else if (w == "deselect") {
            a.kind = ActDeselect;
            need = 2;
        } else if (w == "close") {
            a.kind = ActClose;
        } else if (w == "wait") {
            a.kind = ActWait;
            need = -1;
        } else if (w == "ignore") {
            a.kind = ActIgnore;
        } else {
            error = "unknown action '" + w + "'";
            return false;
        }
        if (need != 0) {
            if (!NextWord(line, pos, arg, q2) || !ParseNumber(arg, need < 0 ? a.value : a.id)) {
                error = "'" + w + "' needs a number";
                return false;
            }
        }
        if (need == 2 && (!NextWord(line, pos, arg, q2) || !ParseNumber(arg, a.value))) {
            error = "'" + w + "' needs an index";
            return false;
        }
        if (needText) {
            if (!NextWord(line, pos, arg, q2)) {
                error = "'type' needs a text";
                return false;
            }
            a.text = Wide(arg);
        }
        r.actions.push_back(a);
    }
    if (!actions) {
        error = "no '=>'";
        return false;
    }
    if (!anyMatch) {
        error = "no match before '=>'";
        return false;
    }
    return true;
}

bool ReadRules(const wchar_t* path) {
    FILE* f = _wfopen(path, L"rb");
    if (!f) {
        LogLine("ERROR cannot open rules " + Quote(path));
        return false;
    }
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    fclose(f);
    int lineNo = 0;
    size_t start = 0;
    bool ok = true;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        lineNo++;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (lineNo == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        RobotRule r;
        std::string error;
        if (!ParseRule(line, lineNo, r, error)) {
            LogLine("ERROR rules line " + Num(lineNo) + ": " + error);
            ok = false;
            continue;
        }
        Rules.push_back(r);
    }
    return ok;
}

// --- watched processes ---

int CountProcesses(const std::vector<std::wstring>& names) {
    int count = 0;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W pe;
    pe.dwSize = sizeof pe;
    for (BOOL ok = Process32FirstW(snap, &pe); ok; ok = Process32NextW(snap, &pe)) {
        const wchar_t* base = wcsrchr(pe.szExeFile, L'\\');
        base = base ? base + 1 : pe.szExeFile;
        for (const std::wstring& n : names)
            if (_wcsicmp(base, n.c_str()) == 0) count++;
    }
    CloseHandle(snap);
    return count;
}

std::vector<std::wstring> SplitNames(const std::wstring& s) {
    std::vector<std::wstring> out;
    size_t start = 0;
    while (start <= s.size()) {
        size_t end = s.find(L',', start);
        if (end == std::wstring::npos) end = s.size();
        if (end > start) out.push_back(s.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    StartTick = GetTickCount();
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const wchar_t *logPath = NULL, *rulesPath = NULL, *stopPath = NULL;
    std::vector<std::wstring> names;
    DWORD timeout = 120000, appear = 20000;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::wstring opt = argv[i];
        if (opt == L"--log") logPath = argv[i + 1];
        else if (opt == L"--rules") rulesPath = argv[i + 1];
        else if (opt == L"--stop") stopPath = argv[i + 1];
        else if (opt == L"--until-gone") names = SplitNames(argv[i + 1]);
        else if (opt == L"--timeout") timeout = wcstoul(argv[i + 1], NULL, 10);
        else if (opt == L"--appear") appear = wcstoul(argv[i + 1], NULL, 10);
        else if (opt == L"--shots") ShotDir = argv[i + 1];
        else if (opt == L"--follow") {
            for (const std::wstring& id : SplitNames(argv[i + 1]))
                FollowIds.push_back((int)wcstol(id.c_str(), NULL, 0));
        } else return 1;
    }
    if (!logPath) return 1;
    LogFile = CreateFileW(logPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (LogFile == INVALID_HANDLE_VALUE) return 1;
    if (rulesPath && !ReadRules(rulesPath)) {
        LogLine("EXIT t=" + Num(Elapsed()) + " reason=bad-rules");
        CloseHandle(LogFile);
        return 1;
    }

    Look(true);
    LogLine("READY t=" + Num(Elapsed()));
    bool seen = false, stopAsked = false;
    int goneChecks = 0;
    const char* reason = "timeout";
    int status = 2;
    for (unsigned tick = 0;; tick++) {
        Sleep(50);
        Look(false);
        if (stopPath && !stopAsked && GetFileAttributesW(stopPath) != INVALID_FILE_ATTRIBUTES) {
            stopAsked = true;
            if (names.empty()) {
                reason = "stop";
                status = 0;
                break;
            }
        }
        if (!names.empty() && (tick % 4 == 0 || stopAsked)) {
            int count = CountProcesses(names);
            if (count > 0) {
                if (!seen) LogLine("WATCH t=" + Num(Elapsed()) + " running=" + Num(count));
                seen = true;
                goneChecks = 0;
            } else if ((seen || stopAsked) && ++goneChecks >= 2) {
                reason = "gone";
                status = 0;
                break;
            } else if (!seen && !stopAsked && Elapsed() > appear) {
                reason = "never-appeared";
                status = 3;
                break;
            }
        }
        if (Elapsed() > timeout) break;
    }
    Look(false);
    LogLine(std::string("EXIT t=") + Num(Elapsed()) + " reason=" + reason);
    CloseHandle(LogFile);
    return status;
}
