// Helpers for tests that touch the registry and the message boxes of the test machine:
// raw registry reads and writes that do not go through the code under test, a snapshot
// that puts a key back as it was, and a user stand-in that answers message boxes.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

namespace regtest {

inline LONG PutString(HKEY root, const std::string& path, const char* name,
                      const std::string& text) {
    HKEY key;
    LONG r =
        RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (r != ERROR_SUCCESS) return r;
    r = RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)text.c_str(), (DWORD)text.size() + 1);
    RegCloseKey(key);
    return r;
}

inline LONG PutValue(HKEY root, const std::string& path, const char* name, DWORD type,
                     const void* data, DWORD size) {
    HKEY key;
    LONG r =
        RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (r != ERROR_SUCCESS) return r;
    r = RegSetValueExA(key, name, 0, type, (const BYTE*)data, size);
    RegCloseKey(key);
    return r;
}

inline bool KeyExists(HKEY root, const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// Raw value: type and bytes; found is false when the key or the value is absent.
struct RawValue {
    bool found = false;
    DWORD type = 0;
    std::string data;
    std::string Text() const { return std::string(data.c_str()); }
};

inline RawValue ReadValue(HKEY root, const std::string& path, const char* name) {
    RawValue v;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return v;
    char buf[4096];
    DWORD size = sizeof buf;
    if (RegQueryValueExA(key, name, nullptr, &v.type, (BYTE*)buf, &size) == ERROR_SUCCESS) {
        v.found = true;
        v.data.assign(buf, size);
    }
    RegCloseKey(key);
    return v;
}

// Removes a whole tree without the code under test.
inline void DeleteTree(HKEY root, const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    char name[256];
    for (;;) {
        DWORD n = sizeof name;
        if (RegEnumKeyExA(key, 0, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        std::string child = path + "\\" + name;
        DeleteTree(root, child);
        if (KeyExists(root, child)) break;  // could not remove: do not loop for ever
    }
    RegCloseKey(key);
    RegDeleteKeyA(root, path.c_str());
}

// A copy of a key and everything below it, put back by Restore (which also removes a key
// that did not exist when the snapshot was taken).
struct Snapshot {
    HKEY root = nullptr;
    std::string path;
    bool existed = false;
    struct Value {
        std::string name;
        DWORD type;
        std::string data;
    };
    struct Node {
        std::string sub;
        std::vector<Value> values;
    };
    std::vector<Node> nodes;  // in creation order, parents first

    void Take(HKEY r, const std::string& p) {
        root = r;
        path = p;
        nodes.clear();
        existed = KeyExists(root, path);
        if (existed) Walk("");
    }
    void Walk(const std::string& sub) {
        HKEY key;
        std::string full = sub.empty() ? path : path + "\\" + sub;
        if (RegOpenKeyExA(root, full.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
        Node node{sub, {}};
        for (DWORD i = 0;; i++) {
            char name[1024], data[8192];
            DWORD n = sizeof name, d = sizeof data, type = 0;
            if (RegEnumValueA(key, i, name, &n, nullptr, &type, (BYTE*)data, &d) != ERROR_SUCCESS)
                break;
            node.values.push_back({name, type, std::string(data, d)});
        }
        nodes.push_back(node);
        std::vector<std::string> children;
        for (DWORD i = 0;; i++) {
            char name[256];
            DWORD n = sizeof name;
            if (RegEnumKeyExA(key, i, name, &n, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            children.push_back(name);
        }
        RegCloseKey(key);
        for (const auto& c : children) Walk(sub.empty() ? c : sub + "\\" + c);
    }
    void Restore() {
        DeleteTree(root, path);
        for (const auto& node : nodes) {
            std::string full = node.sub.empty() ? path : path + "\\" + node.sub;
            HKEY key;
            if (RegCreateKeyExA(root, full.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                nullptr) != ERROR_SUCCESS)
                continue;
            for (const auto& v : node.values)
                RegSetValueExA(key, v.name.empty() ? nullptr : v.name.c_str(), 0, v.type,
                               (const BYTE*)v.data.data(), (DWORD)v.data.size());
            RegCloseKey(key);
        }
    }
};

// Stands in for the user: a thread that watches the windows of the thread that created it
// for a message box with the given caption, records its text and presses one of its
// buttons as a user would (the button gets the click, the box ends itself).
struct BoxAnswerer {
    std::string caption;
    int button;
    DWORD owner;
    volatile LONG stop = 0;
    volatile LONG seen = 0;
    std::string text;
    bool hadYesNo = false;
    HANDLE thread = nullptr;

    BoxAnswerer(const char* boxCaption, int pressButton)
        : caption(boxCaption), button(pressButton), owner(GetCurrentThreadId()) {
        thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~BoxAnswerer() { Stop(); }
    // Ends the watching thread; its findings are stable afterwards.
    void Stop() {
        if (!thread) return;
        InterlockedExchange(&stop, 1);
        WaitForSingleObject(thread, 10000);
        CloseHandle(thread);
        thread = nullptr;
    }
    static BOOL CALLBACK Visit(HWND window, LPARAM self) {
        auto* me = (BoxAnswerer*)self;
        char cls[64], title[128];
        GetClassNameA(window, cls, sizeof cls);
        GetWindowTextA(window, title, sizeof title);
        if (lstrcmpA(cls, "#32770") != 0 || me->caption != title || !IsWindowVisible(window))
            return TRUE;
        char body[1024] = "";
        GetDlgItemTextA(window, 0xFFFF, body, sizeof body);
        HWND yes = GetDlgItem(window, IDYES), no = GetDlgItem(window, IDNO);
        HWND press = GetDlgItem(window, me->button);
        if (!press) return TRUE;
        me->text = body;
        me->hadYesNo = yes && no;
        InterlockedIncrement(&me->seen);
        PostMessageA(press, BM_CLICK, 0, 0);
        return FALSE;
    }
    static DWORD WINAPI Run(LPVOID self) {
        auto* me = (BoxAnswerer*)self;
        LONG answered = 0;
        while (!me->stop) {
            // One press per box: wait until the box we pressed has gone before looking again.
            if (me->seen == answered) EnumThreadWindows(me->owner, Visit, (LPARAM)me);
            else if (!BoxOpen(me)) answered = me->seen;
            Sleep(20);
        }
        return 0;
    }
    struct Find {
        BoxAnswerer* me;
        bool found;
    };
    static BOOL CALLBACK Spot(HWND w, LPARAM p) {
        auto* f = (Find*)p;
        char cls[64], title[128];
        GetClassNameA(w, cls, sizeof cls);
        GetWindowTextA(w, title, sizeof title);
        if (lstrcmpA(cls, "#32770") == 0 && f->me->caption == title) {
            f->found = true;
            return FALSE;
        }
        return TRUE;
    }
    static bool BoxOpen(BoxAnswerer* me) {
        Find f{me, false};
        EnumThreadWindows(me->owner, Spot, (LPARAM)&f);
        return f.found;
    }
};

}  // namespace regtest
