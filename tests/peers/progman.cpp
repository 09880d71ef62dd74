// progman.exe: a Program Manager for the test machine. It shows a top-level window of class
// "PROGMAN" and serves the "PROGMAN" DDE topic over raw DDE messages as the shell's Program
// Manager does: CreateGroup makes a group folder under the Programs shell folder, AddItem a
// shortcut in the current group, ShowGroup makes a group current, DeleteGroup removes a group
// folder with its shortcuts. Every message of the
// conversation is logged, each execute command exactly as received.
//
// Usage:
//   progman.exe --log FILE [--reject NAME[,NAME...]] [--minimized] [--no-ack]
//               [--timeout MS]
//
//   --log FILE       the log (UTF-8, one record per line, written as things happen)
//   --reject NAMES   commands (CreateGroup, AddItem, ShowGroup, DeleteGroup) answered with a negative
//                    acknowledgement and not carried out
//   --minimized      start minimised
//   --no-ack         never acknowledge an execute (the commands are logged, not carried out)
//   --timeout MS     exit after MS (default 120000); it also ends on WM_CLOSE
//
// Log records (texts in double quotes, CR, LF, TAB written as \r \n \t):
//   READY hwnd=0xH iconic=0|1
//   INITIATE from=0xH app="PROGMAN" topic="PROGMAN" answered=1
//   EXECUTE from=0xH iconic=0 enabled=0 text="[CreateGroup(KOV)][ShowGroup(KOV,1)]"
//   COMMAND name="CreateGroup" args="KOV" result=ok path="C:\...\KOV"
//   COMMAND name="AddItem" args="C:\KOV30I\KOV.EXE|KOV" result=rejected
//   ACK to=0xH status=0x8000          (or NOACK to=0xH)
//   TERMINATE from=0xH                 (the peer answers with its own terminate)
//   SIZE restored|minimized|maximized
//   ENABLE 0|1
//   EXIT reason=close|timeout
#include <windows.h>
#include <dde.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlguid.h>
#include <shobjidl.h>

#include <string>
#include <vector>

namespace {

HANDLE LogFile = INVALID_HANDLE_VALUE;
HWND Self;
std::vector<std::wstring> Rejected;
bool NoAck = false;
std::wstring CurrentGroup;  // folder of the group the next AddItem goes to

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), NULL, 0, NULL, NULL);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &out[0], n, NULL, NULL);
    return out;
}

std::wstring Wide(const std::string& ansi) {
    if (ansi.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), (int)ansi.size(), NULL, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), (int)ansi.size(), &out[0], n);
    return out;
}

// A text for the log: quoted, with line ends and tabs made visible.
std::string Quote(const std::wstring& text) {
    std::string out = "\"";
    for (char c : Utf8(text)) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else out += c;
    }
    return out + "\"";
}

void Log(const std::string& line) {
    if (LogFile == INVALID_HANDLE_VALUE) return;
    std::string text = line + "\r\n";
    DWORD written;
    WriteFile(LogFile, text.data(), (DWORD)text.size(), &written, NULL);
    FlushFileBuffers(LogFile);
}

std::string Hex(const void* p) {
    char text[32];
    wsprintfA(text, "0x%lx", (unsigned long)(ULONG_PTR)p);  // a 32-bit handle
    return text;
}

std::wstring AtomText(ATOM atom) {
    if (!atom) return std::wstring();
    WCHAR text[256];
    UINT n = GlobalGetAtomNameW(atom, text, 256);
    return std::wstring(text, n);
}

// The Programs folder from the per-user shell folder table, as the shell keeps it.
std::wstring ProgramsFolder(void) {
    HKEY key;
    std::wstring folder;
    if (RegOpenKeyExW(HKEY_CURRENT_USER,
                      L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0,
                      KEY_READ, &key) != ERROR_SUCCESS)
        return folder;
    WCHAR value[MAX_PATH];
    DWORD size = sizeof value, type = 0;
    if (RegQueryValueExW(key, L"Programs", NULL, &type, (BYTE*)value, &size) == ERROR_SUCCESS &&
        type == REG_SZ)
        folder.assign(value, wcsnlen(value, size / sizeof(WCHAR)));
    RegCloseKey(key);
    return folder;
}

// Arguments of one command: separated by commas, a double-quoted argument may hold them.
std::vector<std::wstring> SplitArgs(const std::wstring& text) {
    std::vector<std::wstring> args;
    std::wstring current;
    bool quoted = false;
    for (wchar_t c : text) {
        if (c == L'"') quoted = !quoted;
        else if (c == L',' && !quoted) {
            args.push_back(current);
            current.clear();
        } else current += c;
    }
    args.push_back(current);
    return args;
}

bool MakeLink(const std::wstring& file, const std::wstring& target, const std::wstring& title) {
    IShellLinkW* link = NULL;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                (void**)&link)))
        return false;
    bool ok =
        SUCCEEDED(link->SetPath(target.c_str())) && SUCCEEDED(link->SetDescription(title.c_str()));
    IPersistFile* persist = NULL;
    if (ok) ok = SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&persist));
    if (ok) {
        ok = SUCCEEDED(persist->Save(file.c_str(), TRUE));
        persist->Release();
    }
    link->Release();
    return ok;
}

std::wstring GroupFolder(const std::wstring& name) {
    std::wstring programs = ProgramsFolder();
    return programs.empty() ? programs : programs + L"\\" + name;
}

// Carries out one command; returns true when it was done, sets what to log.
bool Carry(const std::wstring& name, const std::vector<std::wstring>& args, std::wstring* path) {
    if (!lstrcmpiW(name.c_str(), L"CreateGroup")) {
        std::wstring folder = GroupFolder(args[0]);
        if (folder.empty() || args[0].empty()) return false;
        CreateDirectoryW(folder.c_str(), NULL);
        *path = folder;
        DWORD attributes = GetFileAttributesW(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return false;
        CurrentGroup = folder;
        return true;
    }
    if (!lstrcmpiW(name.c_str(), L"ShowGroup")) {
        std::wstring folder = GroupFolder(args[0]);
        *path = folder;
        DWORD attributes = GetFileAttributesW(folder.c_str());
        if (folder.empty() || attributes == INVALID_FILE_ATTRIBUTES) return false;
        CurrentGroup = folder;
        return true;
    }
    if (!lstrcmpiW(name.c_str(), L"DeleteGroup")) {
        // The group goes with its items, as the real one's does.
        std::wstring folder = GroupFolder(args[0]);
        *path = folder;
        if (folder.empty() || args[0].empty()) return false;
        WIN32_FIND_DATAW found;
        HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    DeleteFileW((folder + L"\\" + found.cFileName).c_str());
            } while (FindNextFileW(find, &found));
            FindClose(find);
        }
        if (CurrentGroup == folder) CurrentGroup.clear();
        return RemoveDirectoryW(folder.c_str()) != 0;
    }
    if (!lstrcmpiW(name.c_str(), L"AddItem")) {
        if (CurrentGroup.empty() || args[0].empty()) return false;
        std::wstring title = args.size() > 1 && !args[1].empty() ? args[1] : args[0];
        if (title == args[0]) {
            size_t slash = title.find_last_of(L"\\/");
            if (slash != std::wstring::npos) title = title.substr(slash + 1);
        }
        *path = CurrentGroup + L"\\" + title + L".lnk";
        return MakeLink(*path, args[0], title);
    }
    return false;
}

bool IsRejected(const std::wstring& name) {
    for (const auto& r : Rejected)
        if (!lstrcmpiW(r.c_str(), name.c_str())) return true;
    return false;
}

// Runs every "[Name(args)]" of an execute string; true when all of them were done.
bool RunCommands(const std::wstring& text) {
    bool all = true;
    size_t at = 0;
    while ((at = text.find(L'[', at)) != std::wstring::npos) {
        size_t open = text.find(L'(', at), end = text.find(L")]", at);
        if (open == std::wstring::npos || end == std::wstring::npos || open > end) {
            Log("COMMAND name=\"\" args=" + Quote(text.substr(at)) + " result=unreadable");
            return false;
        }
        std::wstring name = text.substr(at + 1, open - at - 1);
        std::vector<std::wstring> args = SplitArgs(text.substr(open + 1, end - open - 1));
        std::wstring joined;
        for (size_t i = 0; i < args.size(); i++) joined += (i ? L"|" : L"") + args[i];
        std::string line = "COMMAND name=" + Quote(name) + " args=" + Quote(joined);
        if (IsRejected(name)) {
            Log(line + " result=rejected");
            all = false;
        } else {
            std::wstring path;
            bool done = Carry(name, args, &path);
            Log(line + (done ? " result=ok" : " result=failed") + " path=" + Quote(path));
            all = all && done;
        }
        at = end + 2;
    }
    return all;
}

void OnExecute(HWND client, HGLOBAL commands) {
    std::string text;
    if (const char* p = (const char*)GlobalLock(commands)) {
        SIZE_T size = GlobalSize(commands);
        text.assign(p, strnlen(p, size));
        GlobalUnlock(commands);
    }
    std::wstring wide = Wide(text);
    Log("EXECUTE from=" + Hex(client) + " iconic=" + (IsIconic(Self) ? "1" : "0") +
        " enabled=" + (IsWindowEnabled(Self) ? "1" : "0") + " text=" + Quote(wide));
    if (NoAck) {
        Log("NOACK to=" + Hex(client));
        return;
    }
    bool done = RunCommands(wide);
    WORD status = done ? 0x8000 : 0;
    char line[64];
    // A 32-bit handle: the window's value fits in the word.
    wsprintfA(line, "ACK to=0x%lx status=0x%04x", (unsigned long)(ULONG_PTR)client, status);
    Log(line);
    PostMessageW(client, WM_DDE_ACK, (WPARAM)Self,
                 PackDDElParam(WM_DDE_ACK, status, (UINT_PTR)commands));
}

LRESULT CALLBACK WindowProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
    switch (msg) {
    case WM_DDE_INITIATE: {
        std::wstring app = AtomText(LOWORD(l)), topic = AtomText(HIWORD(l));
        bool ours = (app.empty() || !lstrcmpiW(app.c_str(), L"PROGMAN")) &&
                    (topic.empty() || !lstrcmpiW(topic.c_str(), L"PROGMAN"));
        Log("INITIATE from=" + Hex((HWND)w) + " app=" + Quote(app) + " topic=" + Quote(topic) +
            " answered=" + (ours ? "1" : "0"));
        if (ours)
            SendMessageW((HWND)w, WM_DDE_ACK, (WPARAM)h,
                         MAKELPARAM(GlobalAddAtomW(L"PROGMAN"), GlobalAddAtomW(L"PROGMAN")));
        return 0;
    }
    case WM_DDE_EXECUTE: OnExecute((HWND)w, (HGLOBAL)l); return 0;
    case WM_DDE_TERMINATE:
        Log("TERMINATE from=" + Hex((HWND)w));
        PostMessageW((HWND)w, WM_DDE_TERMINATE, (WPARAM)h, 0);
        return 0;
    case WM_SIZE:
        if (w == SIZE_MINIMIZED) Log("SIZE minimized");
        else if (w == SIZE_MAXIMIZED) Log("SIZE maximized");
        else if (w == SIZE_RESTORED) Log("SIZE restored");
        break;
    case WM_ENABLE: Log(w ? "ENABLE 1" : "ENABLE 0"); break;
    case WM_TIMER:
        Log("EXIT reason=timeout");
        DestroyWindow(h);
        return 0;
    case WM_CLOSE: Log("EXIT reason=close"); break;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcW(h, msg, w, l);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring logPath;
    bool minimized = false;
    DWORD timeout = 120000;
    for (int i = 1; i < argc; i++) {
        std::wstring a = argv[i];
        bool more = i + 1 < argc;
        if (a == L"--log" && more) logPath = argv[++i];
        else if (a == L"--reject" && more) {
            std::wstring list = argv[++i];
            for (const auto& name : SplitArgs(list)) Rejected.push_back(name);
        } else if (a == L"--minimized") minimized = true;
        else if (a == L"--no-ack") NoAck = true;
        else if (a == L"--timeout" && more) timeout = (DWORD)_wtoi(argv[++i]);
        else return 1;
    }
    if (logPath.empty()) return 1;
    LogFile = CreateFileW(logPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, NULL);
    if (LogFile == INVALID_HANDLE_VALUE) return 1;
    CoInitialize(NULL);

    WNDCLASSW wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszClassName = L"PROGMAN";
    if (!RegisterClassW(&wc)) return 1;
    Self = CreateWindowW(L"PROGMAN", L"Program Manager", WS_OVERLAPPEDWINDOW, 60, 60, 360, 240,
                         NULL, NULL, instance, NULL);
    if (!Self) return 1;
    ShowWindow(Self, minimized ? SW_SHOWMINNOACTIVE : SW_SHOWNORMAL);
    UpdateWindow(Self);
    SetTimer(Self, 1, timeout, NULL);
    Log("READY hwnd=" + Hex(Self) + " iconic=" + (IsIconic(Self) ? "1" : "0"));

    MSG m;
    while (GetMessageW(&m, NULL, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    CoUninitialize();
    CloseHandle(LogFile);
    return 0;
}
