// Registry access layer over the Win32 registry. Statuses are the system's, passed up
// unchanged, so that callers can tell "no key" (2) from "no value" (259).
#include "registry/registry.h"

#include <string.h>

#include "base/format.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/path.h"
#include "base/text.h"
#include "record/installrec.h"
#include "record/journal.h"

namespace {

// Our own status for "the key could not be created, or written just after creating it".
const LONG CREATE_FAILED = 1;

// Length of text, looking at no more than size bytes (a default buffer need not be
// terminated within its size).
unsigned BoundedLength(const char* text, unsigned size) {
    unsigned n = 0;
    while (n < size && text[n] != '\0') n++;
    return n;
}

LONG OpenKey(HKEY root, const char* keyPath, HKEY* key) {
    return RegOpenKeyExA(root, keyPath, 0, KEY_ALL_ACCESS, key);
}

LONG CreateKey(HKEY root, const char* keyPath, HKEY* key) {
    DWORD disposition = 0;
    return RegCreateKeyExA(root, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                           nullptr, key, &disposition);
}

// Opens keyPath, creating it when it is missing; see RegistrySetString for the statuses.
LONG OpenOrCreate(HKEY root, const char* keyPath, HKEY* key) {
    LONG status = OpenKey(root, keyPath, key);
    if (status == ERROR_FILE_NOT_FOUND) {
        HKEY created;
        if (CreateKey(root, keyPath, &created) != ERROR_SUCCESS) return CREATE_FAILED;
        RegCloseKey(created);
        if (OpenKey(root, keyPath, key) != ERROR_SUCCESS) return CREATE_FAILED;
        return ERROR_SUCCESS;
    }
    return status;
}

// Writes length bytes of text plus a terminator as a REG_SZ value.
LONG SetStringValue(HKEY root, const char* keyPath, const char* valueName, const char* text,
                    unsigned length) {
    if (root == nullptr) return ERROR_FILE_NOT_FOUND;
    HKEY key;
    LONG status = OpenOrCreate(root, keyPath, &key);
    if (status != ERROR_SUCCESS) return status;
    // The data must carry its terminator even when the text came from a buffer that was
    // full to its last byte, so write a terminated copy.
    char* data = (char*)MemAlloc(length + 1);
    CopyMemory(data, text, length);
    status = RegSetValueExA(key, valueName, 0, REG_SZ, (const BYTE*)data, length + 1);
    MemFree(data);
    RegCloseKey(key);
    return status;
}

// Copies count bytes of value data as text: up to the first NUL, at most size - 1 bytes.
void CopyAsText(char* buffer, unsigned size, const BYTE* data, DWORD count) {
    if (size == 0) return;
    unsigned n = 0;
    while (n + 1 < size && n < count && data[n] != 0) {
        buffer[n] = (char)data[n];
        n++;
    }
    buffer[n] = '\0';
}

}  // namespace

LONG RegistryFindValue(HKEY openKey, const char* valueName, char* buffer, unsigned size) {
    char className[MAX_PATH_TEXT];
    DWORD classLength = sizeof className;
    DWORD valueCount = 0, longestName = 0, longestData = 0;
    LONG status =
        RegQueryInfoKeyA(openKey, className, &classLength, nullptr, nullptr, nullptr, nullptr,
                         &valueCount, &longestName, &longestData, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return status;

    char* name = (char*)MemAlloc(longestName + 4);
    BYTE* data = (BYTE*)MemAlloc(longestData + 4);
    // The default value has an empty name.
    const char* wanted = valueName ? valueName : "";
    ShowBusyCursor(1);

    if (valueCount == 0) {
        status = ERROR_FILE_NOT_FOUND;
    } else {
        for (DWORD index = 0;; index++) {
            DWORD nameLength = longestName + 4;
            DWORD dataLength = longestData + 4;
            DWORD type = 0;
            LONG r =
                RegEnumValueA(openKey, index, name, &nameLength, nullptr, &type, data, &dataLength);
            status = r;
            if ((r == ERROR_SUCCESS || r == ERROR_INSUFFICIENT_BUFFER) && SameName(wanted, name)) {
                // Never more than the data the system says it returned, nor than our block.
                if (dataLength > longestData + 4) dataLength = longestData + 4;
                CopyAsText(buffer, size, data, dataLength);
                status = ERROR_SUCCESS;
                break;
            }
            if (r != ERROR_SUCCESS && r != ERROR_MORE_DATA) break;
        }
    }

    ShowBusyCursor(0);
    MemFree(data);
    MemFree(name);
    return status;
}

LONG RegistryGetString(HKEY root, const char* keyPath, const char* valueName, char* buffer,
                       unsigned size, int createIfMissing) {
    if (root == nullptr) return ERROR_FILE_NOT_FOUND;
    HKEY key;
    LONG status = OpenKey(root, keyPath, &key);
    if (status == ERROR_FILE_NOT_FOUND) {
        if (!createIfMissing) return ERROR_FILE_NOT_FOUND;
        if (CreateKey(root, keyPath, &key) != ERROR_SUCCESS) return CREATE_FAILED;
        if (SetStringValue(root, keyPath, valueName, buffer, BoundedLength(buffer, size)) !=
            ERROR_SUCCESS) {
            RegCloseKey(key);
            return CREATE_FAILED;
        }
    } else if (status != ERROR_SUCCESS) {
        return status;
    }

    status = RegistryFindValue(key, valueName, buffer, size);
    RegCloseKey(key);
    // The default is stored, but the caller still learns that the value was absent.
    if (createIfMissing && (status == ERROR_NO_MORE_ITEMS || status == ERROR_FILE_NOT_FOUND))
        SetStringValue(root, keyPath, valueName, buffer, BoundedLength(buffer, size));
    return status;
}

LONG RegistrySetString(HKEY root, const char* keyPath, const char* valueName, const char* text) {
    if (text == nullptr) text = "";
    return SetStringValue(root, keyPath, valueName, text, lstrlenA(text));
}

LONG RegistryUpdateString(HKEY root, const char* keyPath, const char* valueName, const char* text) {
    if (text == nullptr) text = "";
    char current[256];
    current[0] = '\0';
    LONG status = RegistryGetString(root, keyPath, valueName, current, sizeof current, 0);
    if (status == ERROR_SUCCESS) {
        // Compared as text on purpose: this is how revisions have always been ordered here.
        if (lstrcmpiA(text, current) < 0 && valueName != nullptr &&
            SameName(valueName, "Revision")) {
            if (!AskNoticeYesNo(Message(IDS_NEWER_REGISTERED))) {
                LogPrintf("Registry: kept revision %s over %s", current, text);
                return ERROR_SUCCESS;
            }
            LogPrintf("Registry: revision %s replaced by %s at the user's request", current, text);
        }
        return RegistrySetString(root, keyPath, valueName, text);
    }
    if (status == ERROR_FILE_NOT_FOUND) {
        HKEY key;
        if (root == nullptr || CreateKey(root, keyPath, &key) != ERROR_SUCCESS)
            return CREATE_FAILED;
        RegCloseKey(key);
        return RegistrySetString(root, keyPath, valueName, text) == ERROR_SUCCESS ? ERROR_SUCCESS
                                                                                  : CREATE_FAILED;
    }
    if (status == ERROR_NO_MORE_ITEMS) return RegistrySetString(root, keyPath, valueName, text);
    return status;
}

int RegistryKeyExists(HKEY root, const char* keyPath) {
    HKEY key;
    if (root == nullptr || OpenKey(root, keyPath, &key) != ERROR_SUCCESS) return 0;
    RegCloseKey(key);
    return 1;
}

LONG RegistryGetDword(HKEY root, const char* keyPath, const char* valueName, DWORD* value) {
    if (root == nullptr) return ERROR_FILE_NOT_FOUND;
    HKEY key;
    LONG status = OpenKey(root, keyPath, &key);
    if (status != ERROR_SUCCESS) return status;
    DWORD read = 0, size = sizeof read;
    status = RegQueryValueExA(key, valueName, nullptr, nullptr, (BYTE*)&read, &size);
    RegCloseKey(key);
    if (status == ERROR_SUCCESS) *value = read;
    return status;
}

LONG RegistrySetDword(HKEY root, const char* keyPath, const char* valueName, DWORD value) {
    if (root == nullptr) return ERROR_FILE_NOT_FOUND;
    HKEY key;
    LONG status = OpenOrCreate(root, keyPath, &key);
    if (status != ERROR_SUCCESS) return status;
    status = RegSetValueExA(key, valueName, 0, REG_DWORD, (const BYTE*)&value, sizeof value);
    RegCloseKey(key);
    return status;
}

// Writes every value of keyPath and of the keys below it into the update's journal, so that
// a rollback can put a deleted tree back: strings and numbers as they are, any other value
// as not kept.
static void JournalTree(HKEY root, const char* rootName, const char* keyPath, int depth) {
    enum { MAX_DEPTH = 16 };
    HKEY key;
    if (depth > MAX_DEPTH || OpenKey(root, keyPath, &key) != ERROR_SUCCESS) return;
    char name[256], state[ITEM_FIELD_SIZE], sub[260];
    BYTE data[ITEM_FIELD_SIZE - 2];
    for (DWORD i = 0;; i++) {
        DWORD nameLength = sizeof name, size = sizeof data - 1, type = 0;
        LONG r = RegEnumValueA(key, i, name, &nameLength, nullptr, &type, data, &size);
        if (r != ERROR_SUCCESS && r != ERROR_MORE_DATA) break;
        if (r == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(DWORD)) {
            Format(state, sizeof state, "%s%lu", PREVIOUS_NUMBER, *(DWORD*)data);
        } else if (r == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
            data[size < sizeof data ? size : sizeof data - 1] = 0;
            CopyText(state, PREVIOUS_STRING, sizeof state);
            AppendText(state, (const char*)data, sizeof state);
        } else {
            CopyText(state, PREVIOUS_UNKNOWN, sizeof state);
        }
        name[sizeof name - 1] = 0;
        JournalWrite(JOURNAL_VALUE, rootName, keyPath, name, state);
    }
    for (DWORD i = 0;; i++) {
        DWORD nameLength = sizeof name;
        if (RegEnumKeyExA(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        if (strlen(keyPath) + 1 + strlen(name) >= sizeof sub) continue;
        Format(sub, sizeof sub, "%s\\%s", keyPath, name);
        JournalTree(root, rootName, sub, depth + 1);
    }
    RegCloseKey(key);
}

LONG RegistryDeleteKey(HKEY root, const char* keyPath) {
    if (root == nullptr) return ERROR_FILE_NOT_FOUND;
    // An empty path would name the root itself and wipe everything below it.
    if (keyPath == nullptr || keyPath[0] == '\0') return ERROR_INVALID_PARAMETER;
    // An update that may still be rolled back keeps what it deletes. Only the top of a
    // deletion has a root the journal can name.
    if (JournalActive())
        if (const char* rootName = RegistryRootName(root)) JournalTree(root, rootName, keyPath, 0);
    HKEY key;
    LONG status = OpenKey(root, keyPath, &key);
    if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return status;

    char className[MAX_PATH_TEXT];
    DWORD classLength = sizeof className;
    DWORD subkeyCount = 0, longestSubkey = 0;
    status = RegQueryInfoKeyA(key, className, &classLength, nullptr, &subkeyCount, &longestSubkey,
                              nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) {
        RegCloseKey(key);
        return status;
    }
    // Each pass removes the first subkey, so the next one is at index 0 again. A subkey
    // that cannot be removed stops nothing but costs one pass; the passes are bounded.
    for (DWORD pass = 0; pass < subkeyCount; pass++) {
        DWORD nameLength = longestSubkey + 4;
        char* name = (char*)MemAlloc(nameLength);
        LONG r = RegEnumKeyExA(key, 0, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
        // With 234 the system may have filled the buffer without a terminator.
        name[longestSubkey + 3] = '\0';
        if (r == ERROR_SUCCESS || r == ERROR_MORE_DATA) RegistryDeleteKey(key, name);
        MemFree(name);
        if (r != ERROR_SUCCESS && r != ERROR_MORE_DATA) break;
    }
    RegCloseKey(key);
    return RegDeleteKeyA(root, keyPath);
}

LONG RegistryDeleteValue(HKEY root, const char* keyPath, const char* valueName) {
    if (root == nullptr) return ERROR_FILE_NOT_FOUND;
    HKEY key;
    LONG status = OpenKey(root, keyPath, &key);
    if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return status;
    status = RegDeleteValueA(key, valueName);
    RegCloseKey(key);
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

LONG RegistryDeleteEmptyKey(HKEY root, const char* keyPath) {
    if (root == nullptr) return ERROR_FILE_NOT_FOUND;
    if (keyPath == nullptr || keyPath[0] == '\0') return ERROR_INVALID_PARAMETER;
    HKEY key;
    LONG status = OpenKey(root, keyPath, &key);
    if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return status;
    DWORD subkeys = 0, values = 0;
    status = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                              nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return status;
    // Windows 95 deletes a key with everything below it; what others put there stays.
    if (subkeys || values) return ERROR_DIR_NOT_EMPTY;
    return RegDeleteKeyA(root, keyPath);
}

const char* RegistryRootName(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE) return "HKLM";
    if (root == HKEY_CURRENT_USER) return "HKCU";
    return nullptr;
}

HKEY RegistryRootByName(const char* name) {
    if (lstrcmpA(name, "HKLM") == 0) return HKEY_LOCAL_MACHINE;
    if (lstrcmpA(name, "HKCU") == 0) return HKEY_CURRENT_USER;
    return nullptr;
}

void NoteRegistryValue(HKEY root, const char* keyPath, const char* valueName) {
    const char* rootName = RegistryRootName(root);
    if (!rootName || !keyPath) return;
    // Each level of the path that is missing now will be created by the write.
    char path[MAX_PATH_TEXT];
    if (!CopyText(path, keyPath, sizeof path)) return;
    for (char* p = path;; ++p) {
        if (*p != '\\' && *p) continue;
        char saved = *p;
        *p = 0;
        if (path[0] && !RegistryKeyExists(root, path)) RecordRegistryKey(rootName, path);
        *p = saved;
        if (!saved) break;
    }
    HKEY key;
    DWORD type = 0, size = 0;
    char data[ITEM_FIELD_SIZE - 2];
    LONG status = OpenKey(root, keyPath, &key);
    if (status == ERROR_SUCCESS) {
        size = sizeof data - 1;
        status = RegQueryValueExA(key, valueName, nullptr, &type, (BYTE*)data, &size);
        RegCloseKey(key);
    }
    if (status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(DWORD)) {
        char number[16];
        Format(number, sizeof number, "%lu", *(DWORD*)data);
        RecordRegistryValue(rootName, keyPath, valueName, PREVIOUS_NUMBER, number);
    } else if (status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
        data[size < sizeof data ? size : sizeof data - 1] = 0;
        RecordRegistryValue(rootName, keyPath, valueName, PREVIOUS_STRING, data);
    } else if (status == ERROR_FILE_NOT_FOUND) {
        RecordRegistryValue(rootName, keyPath, valueName, PREVIOUS_ABSENT, "");
    } else {
        // A value of another type, or one too long to keep, cannot be put back as it was:
        // the uninstaller leaves it alone rather than delete what it cannot restore. The
        // note still stands, so that a later note cannot take the install's value for the
        // earlier one.
        LogPrintf("Install record: previous %s value %s of %s not kept", rootName,
                  valueName ? valueName : "(default)", keyPath);
        RecordRegistryValue(rootName, keyPath, valueName, PREVIOUS_UNKNOWN, "");
    }
}

int InClientRegistryArea(const char* keyPath) {
    static const char* const kAreas[] = {
        "Software\\Tavelin Online",
        "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavelin Online",
        "AppEvents\\Schemes\\Apps\\.Default",
    };
    if (!keyPath) return 0;
    char head[MAX_PATH_TEXT];
    for (const char* area : kAreas) {
        size_t n = strlen(area);
        if (strlen(keyPath) < n || n >= sizeof head) continue;
        memcpy(head, keyPath, n);
        head[n] = 0;
        // The byte after the area must end a name, or "...\\Tavelin Online2" would be in it.
        if (SameName(head, area) && (keyPath[n] == 0 || keyPath[n] == '\\')) return 1;
    }
    return 0;
}
