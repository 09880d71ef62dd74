// The desktop steps: the DDE client window against servers running in threads of this
// process (answering a service name of their own, so the shell's server stays out of it),
// the group conversation with a window of class PROGMAN, and the shortcuts made through
// the shell's link object in scratch folders named by the Shell Folders table.
#include <gtest/gtest.h>
#include <objbase.h>
#include <shlguid.h>
#include <shobjidl.h>
#include <dde.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/win32/reg_fixture.h"
#include "tests/win32/ui_testlib.h"
#include "base/globals.h"
#include "base/log.h"
#include "desktop/desktop.h"
#include "desktop/internal.h"
#include "res/strings.h"

namespace {

const char Service[] = "KovDeskTest";

// A DDE server in its own thread: answers the initiate for Service, records every execute
// and terminate, acknowledges as told.
struct Server {
    // How it behaves; set before Start.
    bool progmanClass = false;  // a window of class PROGMAN (else a class of the tests')
    bool minimized = false;
    std::string reject;  // commands starting with this get a negative acknowledgement
    bool acknowledge = true;

    struct Execute {
        std::string text;
        bool iconic, enabled;
    };
    std::mutex lock;
    std::vector<Execute> executes;
    std::vector<std::string> events;  // "initiate", "execute", "terminate" in order
    HWND window = NULL;
    std::thread thread;
    HANDLE ready = CreateEventA(NULL, TRUE, FALSE, NULL);

    ~Server() { Stop(); }

    void Start() {
        thread = std::thread([this] { Run(); });
        WaitForSingleObject(ready, 10000);
    }
    void Stop() {
        if (!thread.joinable()) return;
        PostMessageA(window, WM_CLOSE, 0, 0);
        thread.join();
        CloseHandle(ready);
    }
    std::vector<std::string> Events() {
        std::lock_guard<std::mutex> hold(lock);
        return events;
    }
    std::vector<Execute> Executes() {
        std::lock_guard<std::mutex> hold(lock);
        return executes;
    }
    void Record(const char* event) {
        std::lock_guard<std::mutex> hold(lock);
        events.push_back(event);
    }

    static LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM w, LPARAM l) {
        auto* me = (Server*)GetWindowLongPtrA(h, GWLP_USERDATA);
        switch (msg) {
        case WM_DDE_INITIATE: {
            char app[64] = "", topic[64] = "";
            GlobalGetAtomNameA(LOWORD(l), app, sizeof app);
            GlobalGetAtomNameA(HIWORD(l), topic, sizeof topic);
            if (lstrcmpiA(app, Service) || lstrcmpiA(topic, Service)) return 0;
            me->Record("initiate");
            SendMessageA((HWND)w, WM_DDE_ACK, (WPARAM)h,
                         MAKELPARAM(GlobalAddAtomA(Service), GlobalAddAtomA(Service)));
            return 0;
        }
        case WM_DDE_EXECUTE: {
            std::string text = (const char*)GlobalLock((HGLOBAL)l);
            GlobalUnlock((HGLOBAL)l);
            {
                std::lock_guard<std::mutex> hold(me->lock);
                me->executes.push_back({text, IsIconic(h) != 0, IsWindowEnabled(h) != 0});
                me->events.push_back("execute");
            }
            if (!me->acknowledge) return 0;
            WORD status = !me->reject.empty() && text.find(me->reject) == 0 ? 0 : 0x8000;
            PostMessageA((HWND)w, WM_DDE_ACK, (WPARAM)h, PackDDElParam(WM_DDE_ACK, status, l));
            return 0;
        }
        case WM_DDE_TERMINATE:
            me->Record("terminate");
            PostMessageA((HWND)w, WM_DDE_TERMINATE, (WPARAM)h, 0);
            return 0;
        case WM_DESTROY: PostQuitMessage(0); return 0;
        }
        return DefWindowProcA(h, msg, w, l);
    }

    void Run() {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = progmanClass ? "PROGMAN" : "KovDeskTestServer";
        RegisterClassA(&wc);  // fails harmlessly when another server registered it
        window = CreateWindowA(wc.lpszClassName, "Server", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                               NULL, NULL, wc.hInstance, NULL);
        SetWindowLongPtrA(window, GWLP_USERDATA, (LONG_PTR)this);
        if (minimized) ShowWindow(window, SW_SHOWMINNOACTIVE);
        SetEvent(ready);
        MSG m;
        while (GetMessageA(&m, NULL, 0, 0) > 0) DispatchMessageA(&m);
    }
};

std::string Trace() {
    const char* text = LogTraceText();
    return text ? std::string(text, LogTraceUsed()) : std::string();
}

class Dde : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_NE(RegisterDdeClientClass(), 0); }
    static void TearDownTestSuite() { EXPECT_TRUE(UnregisterDdeClientClass()); }
    void SetUp() override {
        ResetRunState();
        LogReset();
        DdeAckTimeout = DDE_ACK_TIMEOUT_DEFAULT;
    }
    void TearDown() override { DdeAckTimeout = DDE_ACK_TIMEOUT_DEFAULT; }
};

TEST_F(Dde, NobodyAnsweringMeansNoWindowAndNoGroup) {
    EXPECT_EQ(CreateDdeClientWindow("KovNobodyServesThis"), (HWND)NULL);
    EXPECT_FALSE(CreateProgramGroupWith("KovNobodyServesThis", "G", "T", "C:\\KOV\\KOV.EXE"));
    EXPECT_EQ(Trace(), "Couldn't create DDE client window\r\n");
}

TEST_F(Dde, FirstServerKeepsTheConversationTheSecondIsTerminated) {
    Server a, b;
    a.Start();
    b.Start();
    HWND client = CreateDdeClientWindow(Service);
    ASSERT_TRUE(client);
    // The turned-away server's reply to our terminate reaches the client window here; it
    // must not end the conversation with the first.
    uitest::Settle(200);
    EXPECT_TRUE(SendDdeCommand(client, "[One()]"));
    Server* kept = a.Executes().empty() ? &b : &a;
    Server* other = kept == &a ? &b : &a;
    EXPECT_EQ(other->Events(), (std::vector<std::string>{"initiate", "terminate"}));
    EXPECT_EQ(kept->Events(), (std::vector<std::string>{"initiate", "execute"}));
    ASSERT_EQ(kept->Executes().size(), 1u);
    EXPECT_EQ(kept->Executes()[0].text, "[One()]");

    DestroyWindow(client);
    uitest::Settle(200);
    EXPECT_EQ(kept->Events().back(), "terminate");
}

TEST_F(Dde, TerminateFromTheServerEndsTheConversation) {
    Server server;
    server.Start();
    HWND client = CreateDdeClientWindow(Service);
    ASSERT_TRUE(client);
    PostMessageA(client, WM_DDE_TERMINATE, (WPARAM)server.window, 0);
    uitest::Settle(200);
    EXPECT_FALSE(SendDdeCommand(client, "[Late()]"));
    DestroyWindow(client);
    uitest::Settle(100);
    // Our answer to its terminate, and nothing sent after it.
    EXPECT_EQ(server.Events(), (std::vector<std::string>{"initiate", "terminate"}));
}

TEST_F(Dde, DataFromAnotherWindowIsFreedDataFromTheServerIsLeftAlone) {
    Server server;
    server.Start();
    HWND client = CreateDdeClientWindow(Service);
    ASSERT_TRUE(client);
    HWND stranger = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
    struct {
        HWND sender;
        const char* item;
        bool freed;
    } cases[] = {{stranger, "KovDeskTestItemA", true}, {server.window, "KovDeskTestItemB", false}};
    for (const auto& c : cases) {
        ATOM item = GlobalAddAtomA(c.item);
        HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, 16);
        PostMessageA(client, WM_DDE_DATA, (WPARAM)c.sender,
                     PackDDElParam(WM_DDE_DATA, (UINT_PTR)data, item));
        uitest::Settle(100);
        EXPECT_EQ(GlobalFindAtomA(c.item) == 0, c.freed) << c.item;
        if (!c.freed) {
            GlobalDeleteAtom(item);
            GlobalFree(data);
        }
    }
    DestroyWindow(stranger);
    DestroyWindow(client);
}

TEST_F(Dde, GroupCommandsGoOutEvenAfterARejection) {
    Server pm;
    pm.progmanClass = true;
    pm.minimized = true;
    pm.reject = "[CreateGroup";
    pm.Start();
    ASSERT_TRUE(IsIconic(pm.window));

    EXPECT_FALSE(
        CreateProgramGroupWith(Service, "KOV 3.0i", "KOV 3.0i avec IE 4.0", "C:\\KOV30I\\KOV.EXE"));
    EXPECT_EQ(Trace(), "CreateGroup failed\r\n");
    auto executes = pm.Executes();
    ASSERT_EQ(executes.size(), 3u);
    EXPECT_EQ(executes[0].text, "[CreateGroup(KOV 3.0i)]");
    EXPECT_EQ(executes[1].text, "[AddItem(C:\\KOV30I\\KOV.EXE,KOV 3.0i avec IE 4.0)]");
    EXPECT_EQ(executes[2].text, "[ShowGroup(KOV 3.0i,7)]");
    // Restored before the commands, disabled while they ran, enabled again afterwards.
    for (const auto& e : executes) {
        EXPECT_FALSE(e.iconic) << e.text;
        EXPECT_FALSE(e.enabled) << e.text;
    }
    EXPECT_FALSE(IsIconic(pm.window));
    EXPECT_TRUE(IsWindowEnabled(pm.window));
    EXPECT_EQ(pm.Events().back(), "terminate");
}

TEST_F(Dde, AllAcknowledgedIsSuccess) {
    Server pm;
    pm.progmanClass = true;
    pm.Start();
    EXPECT_TRUE(CreateProgramGroupWith(Service, "G", "T", "C:\\K\\KOV.EXE"));
    EXPECT_EQ(Trace(), "");
    EXPECT_EQ(pm.Executes().size(), 3u);
}

TEST_F(Dde, ServerWithoutProgramManagerWindowGetsNoCommands) {
    Server server;
    server.Start();
    EXPECT_FALSE(CreateProgramGroupWith(Service, "G", "T", "C:\\K\\KOV.EXE"));
    EXPECT_EQ(Trace(), "Couldn't find PM window\r\n");
    uitest::Settle(100);
    EXPECT_EQ(server.Events(), (std::vector<std::string>{"initiate", "terminate"}));
}

TEST_F(Dde, ServerThatNeverAnswersIsGivenUpOnce) {
    Server pm;
    pm.progmanClass = true;
    pm.acknowledge = false;
    pm.Start();
    DdeAckTimeout = 300;
    EXPECT_FALSE(CreateProgramGroupWith(Service, "G", "T", "C:\\K\\KOV.EXE"));
    std::string trace = Trace();
    EXPECT_NE(trace.find("DDE server sent no acknowledgement within"), std::string::npos);
    EXPECT_NE(trace.find("CreateGroup failed\r\nAddItem failed\r\nShowGroup failed\r\n"),
              std::string::npos)
        << trace;
    // The conversation ended with the time-out: the other two commands were never sent.
    uitest::Settle(100);
    EXPECT_EQ(pm.Events(), (std::vector<std::string>{"initiate", "execute", "terminate"}));
    EXPECT_TRUE(IsWindowEnabled(pm.window));
}

// --- Shortcuts ---------------------------------------------------------------------------

const char ShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char Scratch[] = "C:\\kovdesktest";

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((path + "\\*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string full = path + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(full);
            else DeleteFileA(full.c_str());
        } while (FindNextFileA(h, &found));
        FindClose(h);
    }
    RemoveDirectoryA(path.c_str());
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Target and description of a shortcut file, read back through the shell's link object.
struct LinkInfo {
    bool read = false;
    std::string target, description;
};
LinkInfo ReadLink(const std::string& file) {
    LinkInfo info;
    IShellLinkA* link = NULL;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                (void**)&link)))
        return info;
    IPersistFile* persist = NULL;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&persist))) {
        WCHAR wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, MAX_PATH);
        char target[MAX_PATH] = "", description[MAX_PATH] = "";
        if (SUCCEEDED(persist->Load(wide, STGM_READ)) &&
            SUCCEEDED(link->GetPath(target, MAX_PATH, NULL, SLGP_RAWPATH)) &&
            SUCCEEDED(link->GetDescription(description, MAX_PATH))) {
            info.read = true;
            info.target = target;
            info.description = description;
        }
        persist->Release();
    }
    link->Release();
    return info;
}

class Shortcuts : public ::testing::Test {
protected:
    void SetUp() override {
        ResetRunState();
        LogReset();
        CoInitialize(NULL);
        folders.Take(HKEY_CURRENT_USER, ShellFolders);
        RemoveTree(Scratch);
        CreateDirectoryA(Scratch, NULL);
        lstrcpyA(InstallSettings.DestDir, "C:\\KOV30I");
        lstrcpyA(InstallSettings.ItemTitle, "KOV 3.0i avec IE 4.0");
    }
    void TearDown() override {
        uitest::Stop();
        folders.Restore();
        RemoveTree(Scratch);
        CoUninitialize();
    }
    // Points a Shell Folders value at a folder under the scratch folder (made when asked).
    std::string PointFolder(const char* valueName, const std::string& sub, bool make = true) {
        std::string path = std::string(Scratch) + "\\" + sub;
        if (make) CreateDirectoryA(path.c_str(), NULL);
        regtest::PutString(HKEY_CURRENT_USER, ShellFolders, valueName, path);
        return path;
    }
    // Answers every message box with button, keeping their texts; dialog acts on dialog 217.
    void Answer(int button, std::function<void(HWND)> dialog = nullptr) {
        uitest::Act([this, button, dialog](HWND window) {
            // Dialog 217 has unnumbered texts too: its check box tells it from a box.
            if (!GetDlgItem(window, 505)) {
                boxes.push_back(uitest::BoxText(window));
                if (onBox) onBox();
                uitest::Press(window, button);
                return true;
            }
            if (dialog) dialog(window);
            return dialog != nullptr;
        });
    }
    regtest::Snapshot folders;
    std::vector<std::string> boxes;
    std::function<void()> onBox;
};

TEST_F(Shortcuts, ShellFoldersComeFromTheTable) {
    struct {
        int kind;
        const char* value;
    } kinds[] = {{SHELL_DESKTOP, "Desktop"},
                 {SHELL_START_MENU, "Start Menu"},
                 {SHELL_PROGRAMS, "Programs"},
                 {SHELL_STARTUP, "Startup"}};
    for (const auto& k : kinds) {
        std::string path = PointFolder(k.value, k.value, false);
        char buffer[SHELL_PATH_SIZE] = "";
        EXPECT_TRUE(GetShellFolder(buffer, k.kind)) << k.value;
        EXPECT_EQ(path, buffer);
    }
    char buffer[SHELL_PATH_SIZE] = "unchanged";
    EXPECT_FALSE(GetShellFolder(buffer, 2));
    EXPECT_FALSE(GetShellFolder(buffer, 7));
    // A value that is missing, or empty, is no folder.
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, ShellFolders, 0, KEY_ALL_ACCESS, &key), 0);
    RegDeleteValueA(key, "Startup");
    RegCloseKey(key);
    EXPECT_FALSE(GetShellFolder(buffer, SHELL_STARTUP));
    regtest::PutString(HKEY_CURRENT_USER, ShellFolders, "Desktop", "");
    EXPECT_FALSE(GetShellFolder(buffer, SHELL_DESKTOP));
    EXPECT_STREQ(buffer, "unchanged");
}

TEST_F(Shortcuts, LinkObjectSavesTargetAndDescription) {
    std::string file = std::string(Scratch) + "\\Lien \xe9t\xe9.lnk";
    EXPECT_EQ(CreateShellLink("C:\\KOV30I\\KOV.EXE", file.c_str(), "D\xe9scription"), S_OK);
    LinkInfo info = ReadLink(file);
    ASSERT_TRUE(info.read);
    EXPECT_EQ(info.target, "C:\\KOV30I\\KOV.EXE");
    EXPECT_EQ(info.description, "D\xe9scription");
    // A folder that does not exist: the save's failure is returned.
    std::string missing = std::string(Scratch) + "\\absent\\x.lnk";
    EXPECT_NE(CreateShellLink("C:\\KOV30I\\KOV.EXE", missing.c_str(), "x"), S_OK);
    EXPECT_FALSE(Exists(missing));
}

TEST_F(Shortcuts, TitleRulesAndTheDoubleCut) {
    struct {
        const char* previousDir;
        const char* item;
        const char* fresh;
        int kind;
        const char* title;
    } cases[] = {
        {"", "KOV 3.0i avec IE 4.0", "", SHORTCUT_PLAIN, "KOV 3.0i avec IE 4.0"},
        {"", "Item", "Fresh", SHORTCUT_PLAIN, "Fresh"},
        {"C:\\OLD", "Item", "Fresh", SHORTCUT_PLAIN, "Item"},
        {"", "KOV Double-cliquez", "", SHORTCUT_CUT_TITLE, "KOV "},
        {"", "KOV Double-cliquez", "", SHORTCUT_PLAIN, "KOV Double-cliquez"},
        {"", "KOV double-cliquez", "", SHORTCUT_CUT_TITLE, "KOV double-cliquez"},
    };
    std::string folder = PointFolder("Desktop", "Bureau");
    for (const auto& c : cases) {
        lstrcpyA(InstallSettings.PreviousDir, c.previousDir);
        lstrcpyA(InstallSettings.ItemTitle, c.item);
        lstrcpyA(InstallSettings.FreshItemTitle, c.fresh);
        char buffer[SHELL_PATH_SIZE];
        lstrcpyA(buffer, folder.c_str());
        ASSERT_TRUE(CreateClientShortcut("C:\\KOV30I", buffer, "kov.exe", c.kind)) << c.title;
        std::string file = folder + "\\" + c.title + ".lnk";
        EXPECT_EQ(file, buffer);
        LinkInfo info = ReadLink(file);
        ASSERT_TRUE(info.read) << file;
        EXPECT_EQ(info.target, "C:\\KOV30I\\KOV.EXE");
        EXPECT_EQ(info.description, c.title);
        DeleteFileA(file.c_str());
    }
}

TEST_F(Shortcuts, PathThatWouldNotFitIsRefused) {
    std::string folder = std::string(Scratch) + "\\" + std::string(230, 'f');
    char buffer[SHELL_PATH_SIZE];
    lstrcpyA(buffer, folder.c_str());
    EXPECT_FALSE(CreateClientShortcut("C:\\KOV30I", buffer, "KOV.EXE", SHORTCUT_PLAIN));
    EXPECT_NE(Trace().find("Shortcut path too long"), std::string::npos);
}

TEST_F(Shortcuts, ProgramsShortcutRetriesTheSameFile) {
    std::string programs = PointFolder("Programs", "Programmes");
    lstrcpyA(InstallSettings.GroupName, "KOV 3.0i");
    std::string group = programs + "\\KOV 3.0i";
    // The group folder appears only when the user is asked: the retry must find it.
    onBox = [&] { CreateDirectoryA(group.c_str(), NULL); };
    Answer(IDRETRY);
    EXPECT_EQ(CreateProgramsShortcut(), 1);
    uitest::Stop();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], uitest::Message(IDS_DESKTOP_LINK_RETRY));
    EXPECT_EQ(ReadLink(group + "\\KOV 3.0i avec IE 4.0.lnk").target, "C:\\KOV30I\\KOV.EXE");
}

TEST_F(Shortcuts, ProgramsShortcutCancelledOrWithoutFolder) {
    PointFolder("Programs", "Programmes");
    lstrcpyA(InstallSettings.GroupName, "Absent");
    Answer(IDCANCEL);
    EXPECT_EQ(CreateProgramsShortcut(), 1);
    uitest::Stop();
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_NE(Trace().find("Shortcut given up"), std::string::npos);

    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, ShellFolders, 0, KEY_ALL_ACCESS, &key), 0);
    RegDeleteValueA(key, "Programs");
    RegCloseKey(key);
    boxes.clear();
    Answer(IDCANCEL);
    EXPECT_EQ(CreateProgramsShortcut(), 0);
    uitest::Stop();
    EXPECT_TRUE(boxes.empty());
}

TEST_F(Shortcuts, DialogMakesDesktopAndStartMenuShortcuts) {
    lstrcpyA(InstallSettings.ItemTitle, "KOV Double-cliquez");
    struct {
        bool keepChecked;
        bool startMenuKnown;
        bool startMenuMade;
    } cases[] = {{true, true, true}, {false, true, false}, {true, false, false}};
    for (const auto& c : cases) {
        std::string desktop = PointFolder("Desktop", "Bureau");
        std::string start = PointFolder("Start Menu", "Menu D\xe9marrer");
        if (!c.startMenuKnown)
            regtest::PutString(HKEY_CURRENT_USER, ShellFolders, "Start Menu", "");
        bool wasChecked = false;
        Answer(IDCANCEL, [&](HWND dialog) {
            wasChecked = IsDlgButtonChecked(dialog, 505) == BST_CHECKED;
            if (!c.keepChecked) CheckDlgButton(dialog, 505, BST_UNCHECKED);
            uitest::Press(dialog, 1);
        });
        EXPECT_EQ(RunShortcutDialog(), 1);
        uitest::Stop();
        EXPECT_TRUE(wasChecked);
        EXPECT_TRUE(boxes.empty());
        EXPECT_EQ(ReadLink(desktop + "\\KOV Double-cliquez.lnk").description, "KOV Double-cliquez");
        EXPECT_EQ(Exists(start + "\\KOV .lnk"), c.startMenuMade) << c.keepChecked;
        RemoveTree(desktop);
        RemoveTree(start);
    }
}

TEST_F(Shortcuts, DialogCancelGivesUpOnlyTheShortcutThatFailed) {
    PointFolder("Desktop", "Bureau absent", false);
    std::string start = PointFolder("Start Menu", "Menu D\xe9marrer");
    Answer(IDCANCEL, [](HWND dialog) { uitest::Press(dialog, 1); });
    EXPECT_EQ(RunShortcutDialog(), 1);
    uitest::Stop();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], uitest::Message(IDS_STARTMENU_LINK_RETRY));
    EXPECT_TRUE(ReadLink(start + "\\KOV 3.0i avec IE 4.0.lnk").read);
}

}  // namespace
