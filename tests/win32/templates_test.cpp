// Every dialog template of the program: present, creatable, with the listed controls in the
// listed order, and laid out so that no text is cut and no two controls overlap.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/cp1252.h"

namespace {

INT_PTR CALLBACK TrivialDlgProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

// The frame window registers the real gauge class; these tests only need the templates to
// find a class of that name, and leave none behind for tests of the gauge itself.
struct GaugeClass {
    bool registered = false;
    GaugeClass() {
        WNDCLASSA wc = {};
        if (GetClassInfoA(GetModuleHandleA(nullptr), KOV_GAUGE_CLASS, &wc)) return;
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = KOV_GAUGE_CLASS;
        registered = RegisterClassA(&wc) != 0;
    }
    ~GaugeClass() {
        if (registered) UnregisterClassA(KOV_GAUGE_CLASS, GetModuleHandleA(nullptr));
    }
};

// Each template is created once for the whole suite: dialog creation under the test machine
// is slow enough to matter when repeated for every check.
struct Dialog {
    HWND hwnd;
    explicit Dialog(const char* name);
};

const char* Name(int id) { return MAKEINTRESOURCEA(id); }
std::string Label(const char* name) {
    return IS_INTRESOURCE(name) ? std::to_string((int)LOWORD(name)) : std::string(name);
}

class DialogTemplates : public ::testing::Test {
public:
    static GaugeClass* gauge;
    static std::vector<std::pair<std::string, HWND>>* open;
    static HWND owner;
    static void SetUpTestSuite() {
        gauge = new GaugeClass;
        open = new std::vector<std::pair<std::string, HWND>>;
        // A hidden owner, as the frame window owns the program's dialogs.
        owner = CreateWindowA("Static", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    }
    static void TearDownTestSuite() {
        DestroyWindow(owner);  // and with it every dialog it owns
        delete open;
        delete gauge;
    }
};
GaugeClass* DialogTemplates::gauge;
std::vector<std::pair<std::string, HWND>>* DialogTemplates::open;
HWND DialogTemplates::owner;

Dialog::Dialog(const char* name) {
    std::string label = Label(name);
    for (auto& o : *DialogTemplates::open)
        if (o.first == label) {
            hwnd = o.second;
            return;
        }
    // Created from a copy of the template without WS_VISIBLE: nothing needs to reach the
    // screen for these checks, and showing and destroying windows is slow under Wine.
    hwnd = nullptr;
    HMODULE self = GetModuleHandleA(nullptr);
    HRSRC r = FindResourceA(self, name, (LPCSTR)RT_DIALOG);
    if (r) {
        const char* res = (const char*)LockResource(LoadResource(self, r));
        std::vector<char> copy(res, res + SizeofResource(self, r));
        ((DLGTEMPLATE*)copy.data())->style &= ~WS_VISIBLE;
        hwnd = CreateDialogIndirectParamA(self, (DLGTEMPLATE*)copy.data(), DialogTemplates::owner,
                                          TrivialDlgProc, 0);
    }
    DialogTemplates::open->push_back({label, hwnd});
}

struct Child {
    int id;
    std::string cls, text;
    HWND hwnd;
};

std::vector<Child> Children(HWND dlg) {
    std::vector<Child> out;
    for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        char cls[64] = "", text[1024] = "";
        GetClassNameA(c, cls, sizeof cls);
        GetWindowTextA(c, text, sizeof text);
        out.push_back({(int)(short)GetDlgCtrlID(c), cls, text, c});
    }
    return out;
}

std::string Caption(HWND h) {
    char buf[256] = "";
    GetWindowTextA(h, buf, sizeof buf);
    return buf;
}

// Templates in the resources, with their control ids in tab order (-1: no id), and the face
// of their font.
struct Template {
    const char* name;
    const char* face;
    std::vector<int> ids;
};

const std::vector<Template>& AllTemplates() {
    static const std::vector<Template> t = {
        {IDD_PRINT, "Helv", {-1, -1, 512, -1, 406}},
        {Name(200), "MS Sans Serif", {300, 1001, 502, 406, 1005, 503}},
        {Name(201), "Helv", {401, 402, 403, 300, -1, -1, -1, -1, 1502}},
        {Name(202), "MS Sans Serif", {300, 1001, 1002, 404, 403, 1003, 501}},
        {Name(203), "MS Sans Serif", {300, 1001, 1002, 404, 403, 501}},
        {Name(204), "Helv", {405, -1, 300, -1, -1, -1, 404, 403, -1}},
        {Name(205), "Helv", {407, 403, -1, -1, 201, -1, -1}},
        {Name(206), "Helv", {501, 408, 409, 406, -1, -1, 300, -1, -1, -1}},
        {Name(207), "Helv", {501, 408, 406, -1, -1, 300, -1, -1, -1}},
        {Name(208), "Helv", {501, 408, 409, 406, -1, -1, 300, -1, -1}},
        {Name(209), "Helv", {501, 408, 409, 406, -1, -1, 300, -1, -1}},
        {Name(210), "MS Sans Serif", {300, 1001, 1002, 502}},
        {Name(211), "Helv", {408, 403, 1001, 201, 1003, 1002}},
        {Name(212), "Helv", {408, -1, -1, 300, -1}},
        {Name(213), "Helv", {408, -1, 300, -1}},
        {Name(214), "Helv", {408, -1, 300, -1, 2101}},
        {Name(217), "MS Sans Serif", {1, 300, -1, 505}},
        {Name(218), "Helv", {-1, 300, 2101, -1, 408, 406}},
        {Name(219), "Helv", {412, 403, 300, -1, 513}},
        {Name(220), "MS Sans Serif", {300, 1001, 502, 406, 1005, 503}},
        {Name(223), "Helv", {401, 402, 403, 300, -1, -1, -1, -1, 1502, -1, 600, 601, 602, 508}},
        {Name(224), "MS Sans Serif", {300, 1001, 1002, 502}},
        {Name(225), "MS Sans Serif", {300, 1001, 1002, 502}},
        {Name(226), "Helv", {413, 403, -1}},
        {Name(227), "Helv", {412, 414, 406, 300, -1, -1}},
        {Name(228), "Helv", {412, 414, 406, 300, -1, -1}},
        {Name(229), "MS Sans Serif", {415, 408, 406, 300, 510, -1, -1}},
        {Name(231), "Helv", {417, 416, 403, 516, 517, 518}},
        {Name(232), "Helv", {418, 403, 516, 519, 520}},
        {Name(233), "Helv", {2101, -1, 408, 406}},
        {Name(235), "Helv", {300, -1, -1, 521, 401, 522, 406}},
    };
    return t;
}

TEST_F(DialogTemplates, EveryTemplateCreatesWithItsControlsAndFont) {
    for (const Template& t : AllTemplates()) {
        SCOPED_TRACE(Label(t.name));
        ASSERT_TRUE(FindResourceA(GetModuleHandleA(nullptr), t.name, (LPCSTR)RT_DIALOG));
        Dialog d(t.name);
        ASSERT_TRUE(d.hwnd);
        std::vector<int> ids;
        for (const Child& c : Children(d.hwnd)) ids.push_back(c.id);
        EXPECT_EQ(ids, t.ids);
        LOGFONTA lf = {};
        GetObjectA((HFONT)SendMessageA(d.hwnd, WM_GETFONT, 0, 0), sizeof lf, &lf);
        EXPECT_STREQ(lf.lfFaceName, t.face);
        // Every template shows icon 300, except those listed without one.
        bool icon = false;
        for (const Child& c : Children(d.hwnd))
            icon |= (GetWindowLongA(c.hwnd, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
                    SendMessageA(c.hwnd, STM_GETICON, 0, 0) != 0;
        std::string label = Label(t.name);
        EXPECT_EQ(icon, label != "226" && label != "231" && label != "232" && label != "233");
    }
    // These closing notices have no template: asking for them shows nothing.
    for (int id : {221, 222, 234})
        EXPECT_FALSE(FindResourceA(GetModuleHandleA(nullptr), Name(id), (LPCSTR)RT_DIALOG)) << id;
}

TEST_F(DialogTemplates, WindowStyles) {
    const std::vector<int> progress = {200, 202, 203, 210, 220, 224, 225};
    for (const Template& t : AllTemplates()) {
        SCOPED_TRACE(Label(t.name));
        Dialog d(t.name);
        ASSERT_TRUE(d.hwnd);
        LONG style = GetWindowLongA(d.hwnd, GWL_STYLE);
        EXPECT_TRUE(GetWindowLongA(d.hwnd, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);
        bool isProgress =
            IS_INTRESOURCE(t.name) &&
            std::find(progress.begin(), progress.end(), (int)LOWORD(t.name)) != progress.end();
        bool isPrint = !IS_INTRESOURCE(t.name);
        EXPECT_EQ((style & WS_CAPTION) == WS_CAPTION, !isProgress);
        EXPECT_EQ((style & WS_SYSMENU) != 0, !isProgress && !isPrint);
        // Progress dialogs are opened modelessly and must show without further calls; the
        // printing dialog is shown by its caller once the first page has started.
        HMODULE self = GetModuleHandleA(nullptr);
        const DLGTEMPLATE* tpl = (const DLGTEMPLATE*)LockResource(
            LoadResource(self, FindResourceA(self, t.name, (LPCSTR)RT_DIALOG)));
        EXPECT_EQ((tpl->style & WS_VISIBLE) != 0, isProgress);
    }
}

struct Sample {
    int dlg;
    int id;  // -1: a control without id, found by its text
    const char* cls;
    const char* utf8;
};

TEST_F(DialogTemplates, SampleTextsAndClasses) {
    const Sample samples[] = {
        {200, 502, KOV_GAUGE_CLASS, ""},
        {200, 406, "Button", "&Annuler"},
        {200, 1005, "Static", "Fichier :"},
        {200, 1001, "Static",
         "Veuillez patienter pendant l'installation d'KOV. Cette opération ne durera que quelques "
         "minutes."},
        {201, -1, "Static", "Cliquez sur ce bouton pour installer KOV.  "},
        {204, -1, "Static", "Quand vous êtes prêt(e) à continuer, cliquez sur \"Réessayer\"."},
        {205, -1, "Static",
         "Cliquez sur \"Reprendre\" pour continuer l'installation. Cliquez sur \"Quitter\" pour "
         "quitter le programme d'installation."},
        {207, -1, "Static",
         "Pour ce faire, veuillez entrer ci-dessous le nom du répertoire contenant votre copie "
         "antérieure d'KOV. "},
        {207, -1, "Static", "Répertoire:"},
        {208, 408, "Button", "&Installer"},
        {210, 502, KOV_GAUGE_CLASS, ""},
        {217, 505, "Button", "dans le menu Démarrer."},
        {218, 408, "Button", "Redémarrer &maintenant"},
        {219, 513, "Static",
         "Insérez la disquette 2 du programme d'installation et cliquez sur OK pour continuer."},
        {220, 406, "Button", "&Annuler"},
        {223, 602, "Button", "20 méga-octets"},
        {229, 415, "Button", "Imprimer maintenant"},
        {229, 510, "Edit", ""},
        {231, 417, "Button", "&Try Again"},
        {232, 519, "ListBox", ""},
        {232, 520, "Edit", ""},
        {233, 406, "Button", "Restart &Later"},
        {235, 521, "ListBox", ""},
        {235, 522, "Button", "&Tout sélectionner"},
    };
    for (const Sample& s : samples) {
        SCOPED_TRACE(std::to_string(s.dlg) + "/" + std::to_string(s.id) + " " + s.utf8);
        Dialog d(Name(s.dlg));
        ASSERT_TRUE(d.hwnd);
        std::string want = Cp1252(s.utf8);
        bool found = false;
        for (const Child& c : Children(d.hwnd)) {
            if (c.id != s.id || (s.id == -1 && c.text != want)) continue;
            found = true;
            EXPECT_STRCASEEQ(c.cls.c_str(), s.cls);
            EXPECT_EQ(c.text, want);
        }
        EXPECT_TRUE(found);
    }
    struct {
        const char* name;
        const char* utf8;
    } captions[] = {
        {Name(201), "Bienvenue "},    {Name(217), "Configuration d'KOV avec IE 4.0"},
        {Name(231), "KOV"},           {Name(233), "Setup"},
        {IDD_PRINT, "Impression..."},
    };
    for (const auto& c : captions) {
        Dialog d(c.name);
        ASSERT_TRUE(d.hwnd);
        EXPECT_EQ(Caption(d.hwnd), Cp1252(c.utf8)) << Label(c.name);
    }
}

TEST_F(DialogTemplates, ControlStyles) {
    struct {
        int dlg, id;
        LONG bits;
        bool set;
    } cases[] = {
        {206, 501, ES_UPPERCASE | ES_AUTOHSCROLL | ES_OEMCONVERT, true},
        {207, 501, ES_UPPERCASE | ES_AUTOHSCROLL | ES_OEMCONVERT, true},
        {208, 501, ES_UPPERCASE | ES_AUTOHSCROLL | ES_OEMCONVERT, true},
        {209, 501, ES_UPPERCASE | ES_AUTOHSCROLL | ES_OEMCONVERT, true},
        {229, 510, ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY, true},
        {229, 510, WS_VISIBLE | ES_AUTOHSCROLL | WS_HSCROLL, false},  // hidden, and it wraps
        {232, 519, LBS_NOTIFY | LBS_SORT | LBS_USETABSTOPS | LBS_NOINTEGRALHEIGHT, true},
        {232, 520, ES_MULTILINE | ES_READONLY, true},
        {235, 521, LBS_MULTIPLESEL, true},
        {235, 521, LBS_SORT, false},  // add-ons keep the order of the script
        {217, 505, BS_AUTOCHECKBOX, true},
        {223, 600, BS_AUTORADIOBUTTON | WS_GROUP, true},
        {200, 406, BS_DEFPUSHBUTTON, true},
        {212, 408, BS_DEFPUSHBUTTON, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.dlg) + "/" + std::to_string(c.id));
        Dialog d(Name(c.dlg));
        ASSERT_TRUE(d.hwnd);
        HWND h = GetDlgItem(d.hwnd, c.id);
        ASSERT_TRUE(h);
        LONG style = GetWindowLongA(h, GWL_STYLE);
        if (c.set) EXPECT_EQ(style & c.bits, c.bits);
        else EXPECT_EQ(style & c.bits, 0);
    }
    // The guide wraps at 242 dialog units in the printed lines.
    Dialog d(Name(229));
    RECT units = {0, 0, 242, 0}, win;
    MapDialogRect(d.hwnd, &units);
    GetWindowRect(GetDlgItem(d.hwnd, 510), &win);
    EXPECT_EQ(win.right - win.left, units.right);
}

// Pixel extent of a control's text as the control draws it.
SIZE TextExtent(HWND ctrl, const std::string& text, UINT flags, int width) {
    HDC dc = GetDC(ctrl);
    HGDIOBJ old = SelectObject(dc, (HFONT)SendMessageA(ctrl, WM_GETFONT, 0, 0));
    RECT r = {0, 0, width, 0};
    DrawTextA(dc, text.c_str(), -1, &r, flags | DT_CALCRECT);
    SelectObject(dc, old);
    ReleaseDC(ctrl, dc);
    return {r.right, r.bottom};
}

// The text of a control fits its client area: wrapped texts in their height, one-line texts
// (buttons, check boxes) in their width.
void ExpectFits(HWND ctrl, const std::string& text) {
    if (text.empty()) return;
    RECT rc;
    GetClientRect(ctrl, &rc);
    char cls[32] = "";
    GetClassNameA(ctrl, cls, sizeof cls);
    LONG style = GetWindowLongA(ctrl, GWL_STYLE);
    if (!lstrcmpiA(cls, "Static")) {
        UINT flags = DT_WORDBREAK | DT_EXPANDTABS | ((style & SS_NOPREFIX) ? DT_NOPREFIX : 0);
        SIZE s = TextExtent(ctrl, text, flags, rc.right);
        EXPECT_LE(s.cx, rc.right) << text;
        EXPECT_LE(s.cy, rc.bottom) << text;
    } else if (!lstrcmpiA(cls, "Button")) {
        LONG kind = style & BS_TYPEMASK;
        bool box = kind == BS_AUTOCHECKBOX || kind == BS_AUTORADIOBUTTON || kind == BS_CHECKBOX ||
                   kind == BS_RADIOBUTTON;
        SIZE s = TextExtent(ctrl, text, DT_SINGLELINE, 0);
        int margin = box ? GetSystemMetrics(SM_CXMENUCHECK) + 4 : 8;
        EXPECT_LE(s.cx + margin, rc.right) << text;
        EXPECT_LE(s.cy, rc.bottom) << text;
    }
}

TEST_F(DialogTemplates, TextsFitAndControlsDoNotOverlap) {
    for (const Template& t : AllTemplates()) {
        SCOPED_TRACE(Label(t.name));
        Dialog d(t.name);
        ASSERT_TRUE(d.hwnd);
        RECT client;
        GetClientRect(d.hwnd, &client);
        std::vector<RECT> placed;
        for (const Child& c : Children(d.hwnd)) {
            SCOPED_TRACE(c.id);
            if (!(GetWindowLongA(c.hwnd, GWL_STYLE) & WS_VISIBLE)) continue;
            ExpectFits(c.hwnd, c.text);
            RECT r;
            GetWindowRect(c.hwnd, &r);
            MapWindowPoints(nullptr, d.hwnd, (POINT*)&r, 2);
            EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right &&
                        r.bottom <= client.bottom);
            for (const RECT& o : placed) {
                RECT x;
                EXPECT_FALSE(IntersectRect(&x, &r, &o)) << "overlaps another control";
            }
            placed.push_back(r);
        }
    }
}

// Texts the procedures put into the templates fit as well, at their longest.
TEST_F(DialogTemplates, FilledInTextsFit) {
    struct {
        int dlg, id, message;
        const char* arg;
    } cases[] = {
        {231, 516, 34700, (const char*)4294967295u},
        {231, 517, 34716, nullptr},
        {231, 518, 34720, nullptr},
        {231, 518, 34702, nullptr},
        {232, 516, 34720, nullptr},
        {219, 513, 34308, "Disquette 2 de KOV 3.0i (Windows 95)"},
        {223, 508, 34307, (const char*)2000000},
        {203, 501, 34602, nullptr},
        {203, 501, 34604, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.dlg) + "/" + std::to_string(c.message));
        char format[512], text[1024];
        ASSERT_GT(LoadStringA(GetModuleHandleA(nullptr), c.message, format, sizeof format), 0);
        wsprintfA(text, format, c.arg);
        Dialog d(Name(c.dlg));
        ASSERT_TRUE(d.hwnd);
        // Trailing line breaks only space the texts apart; they need no room of their own.
        std::string s = text;
        while (!s.empty() && s.back() == '\n') s.pop_back();
        ExpectFits(GetDlgItem(d.hwnd, c.id), s);
    }
}

// With too little room for 20 MB, the welcome procedure hides 602 and moves 600 and 601 to
// L + 5g and L + width + 6g, g = ((R - L) - 2 width) / 3 * 2. On this row the two stay apart,
// inside the dialog and centred under the row of three.
TEST_F(DialogTemplates, CacheRowAfterHidingTwentyMegabytes) {
    Dialog d(Name(223));
    ASSERT_TRUE(d.hwnd);
    RECT r[3], client;
    for (int i = 0; i < 3; ++i) {
        GetWindowRect(GetDlgItem(d.hwnd, 600 + i), &r[i]);
        MapWindowPoints(nullptr, d.hwnd, (POINT*)&r[i], 2);
    }
    GetClientRect(d.hwnd, &client);
    int L = r[0].left, W = r[0].right - r[0].left, R = r[1].right, W1 = r[1].right - r[1].left;
    int g = ((R - L) - 2 * W) / 3 * 2;
    int x0 = L + 5 * g, x1 = L + W1 + 6 * g;
    EXPECT_GT(g, 0);
    EXPECT_LE(x0 + W, x1);
    EXPECT_LE(x1 + W1, client.right);
    int rowCentre = (r[0].left + r[2].right) / 2, pairCentre = (x0 + x1 + W1) / 2;
    EXPECT_LE(abs(rowCentre - pairCentre), 4);
}

// The drive list and its header, with the tab stops the procedure sets (17, 120 and 180
// dialog units), hold the header and the widest line without cutting the last column.
TEST_F(DialogTemplates, DriveListColumnsFit) {
    Dialog d(Name(232));
    ASSERT_TRUE(d.hwnd);
    RECT u = {17, 120, 180, 0};
    MapDialogRect(d.hwnd, &u);
    int stops[3] = {(int)u.left, (int)u.top, (int)u.right};
    char header[128];
    ASSERT_GT(LoadStringA(GetModuleHandleA(nullptr), 34724, header, sizeof header), 0);
    const char* line = "Z:\t\\\\SERVEUR-PRINCIPA...\tRemovable\t4,294,967,295";
    for (int id : {519, 520}) {
        HWND h = GetDlgItem(d.hwnd, id);
        RECT rc;
        GetClientRect(h, &rc);
        HDC dc = GetDC(h);
        HGDIOBJ old = SelectObject(dc, (HFONT)SendMessageA(h, WM_GETFONT, 0, 0));
        for (const char* text : {(const char*)header, line}) {
            DWORD ext = GetTabbedTextExtentA(dc, text, lstrlenA(text), 3, stops);
            EXPECT_LE((int)LOWORD(ext) + 4, rc.right) << id << " " << text;
        }
        SelectObject(dc, old);
        ReleaseDC(h, dc);
    }
}

}  // namespace

namespace {

// Icon 300, the title picture 350 the frame draws, and the program's version block.
TEST(ProgramResources, IconTitlePictureAndVersion) {
    HMODULE self = GetModuleHandleA(nullptr);
    EXPECT_TRUE(LoadIconA(self, MAKEINTRESOURCEA(300)));

    HRSRC r = FindResourceA(self, MAKEINTRESOURCEA(350), (LPCSTR)RT_BITMAP);
    ASSERT_TRUE(r);
    const BITMAPINFOHEADER* bi = (const BITMAPINFOHEADER*)LockResource(LoadResource(self, r));
    ASSERT_TRUE(bi);
    EXPECT_EQ(bi->biSize, 40u);
    EXPECT_EQ(bi->biWidth, 360);
    EXPECT_EQ(bi->biHeight, 90);
    EXPECT_EQ(bi->biBitCount, 1);
    const RGBQUAD* colours = (const RGBQUAD*)(bi + 1);
    EXPECT_EQ(RGB(colours[0].rgbRed, colours[0].rgbGreen, colours[0].rgbBlue), RGB(255, 255, 255));
    EXPECT_EQ(RGB(colours[1].rgbRed, colours[1].rgbGreen, colours[1].rgbBlue), RGB(0, 0, 0));
    // The picture is the colour-0 pixels: some, but far from all, of them.
    const BYTE* bits = (const BYTE*)(colours + 2);
    int row = 48, picture = 0;
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 360; ++x) picture += !(bits[y * row + x / 8] & (0x80 >> (x % 8)));
    EXPECT_GT(picture, 360 * 90 / 20);
    EXPECT_LT(picture, 360 * 90 / 2);
    EXPECT_EQ(SizeofResource(self, r), 40u + 8u + 90u * 48u);

    // Read from the image itself: the test program may lie outside the machine's drives.
    HRSRC v = FindResourceA(self, MAKEINTRESOURCEA(1), (LPCSTR)RT_VERSION);
    ASSERT_TRUE(v);
    const char* block = (const char*)LockResource(LoadResource(self, v));
    std::vector<char> info(block, block + SizeofResource(self, v));
    char* product = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\StringFileInfo\\040C04E4\\ProductName",
                               (void**)&product, &len));
    EXPECT_STREQ(product, "KOV");
}

}  // namespace
