// Files, folders, shortcuts and appended lines of an install, taken back.
#include "uninstall/undo.h"

#include <string.h>
#include "base/log.h"
#include "base/mem.h"
#include "base/path.h"
#include "sys/sys.h"

namespace {

// Data folders hold no deep trees; a deeper one is a loop or not ours.
const int TREE_DEPTH = 8;

int AllowedPath(const UndoContext* ctx, const char* path) {
    // A relative path or one with a ".." part could lead anywhere; one spelt otherwise than
    // the setup writes paths (a "." part, a doubled backslash, a name ending in a dot) may
    // name another file than it seems to.
    char canonical[MAX_PATH_TEXT];
    if (!path[0] || path[1] != ':' || path[2] != '\\' || FindTextMb(path, "..") ||
        !CanonicalFolder(canonical, path, sizeof canonical) || strcmp(canonical, path) != 0)
        return 0;
    for (int i = 0; i < ctx->rootCount; ++i)
        if (ctx->roots[i] && ctx->roots[i][0] && PathUnder(path, ctx->roots[i])) return 1;
    return 0;
}

int Refuse(UndoContext* ctx, const InstallItem* item, const char* why) {
    LogPrintf("Refused %s %s: %s", InstallItemName(item->kind), item->field[0], why);
    ++ctx->refused;
    ++ctx->failed;
    return 0;
}

// A shortcut lies in a shell folder or in a group's folder inside one.
int InShellFolder(const UndoContext* ctx, const char* path) {
    char folder[MAX_PATH_TEXT], parent[MAX_PATH_TEXT];
    GetDirPart(folder, path);
    GetDirPart(parent, folder);
    for (int i = 2; i < ctx->rootCount; ++i)
        if (ctx->roots[i] && ctx->roots[i][0] &&
            (SameFolder(folder, ctx->roots[i]) || SameFolder(parent, ctx->roots[i])))
            return 1;
    return 0;
}

int IsWayBack(const UndoContext* ctx, const InstallItem* item) {
    if (item->kind == ITEM_FILE && ctx->uninstaller && SameName(item->field[0], ctx->uninstaller))
        return 1;
    return ctx->wayBack && ctx->wayBack(item);
}

int RemoveTreeAt(const char* path, int depth) {
    if (depth > TREE_DEPTH) return 0;
    char pattern[MAX_PATH_TEXT];
    if (!JoinPath(pattern, path, "*", nullptr)) return 0;
    SysFindData found;
    SysFind find = SysFindFirst(pattern, &found);
    int ok = 1;
    if (find) {
        do {
            if (!strcmp(found.name, ".") || !strcmp(found.name, "..")) continue;
            char child[MAX_PATH_TEXT];
            JoinPath(child, path, found.name, nullptr);
            int done = found.isDir ? RemoveTreeAt(child, depth + 1) : SysDelete(child);
            if (!done) {
                LogPrintf("Couldn't remove %s", child);
                ok = 0;
            }
        } while (SysFindNext(find, &found));
        SysFindClose(find);
    }
    return SysRemoveDir(path) && ok;
}

// The record names the group of a shortcut's folder: that folder is ours to remove once empty.
int IsGroupFolder(const UndoContext* ctx, const char* folder) {
    const char* name = GetNamePart(folder);
    for (int i = 0; i < ctx->record->count; ++i) {
        const InstallItem* item = &ctx->record->items[i];
        if (item->kind == ITEM_GROUP && ctx->groupName &&
            SameName(item->field[0], ctx->groupName) && SameName(item->field[0], name))
            return 1;
    }
    return 0;
}

void RemoveFile(UndoContext* ctx, const char* path) {
    if (SysAttributes(path) == SYS_ATTR_NONE) {
        LogPrintf("Already gone: %s", path);
        ++ctx->gone;
    } else if (SysDelete(path)) {
        LogPrintf("Removed %s", path);
        ++ctx->removed;
    } else {
        LogPrintf("Couldn't remove %s", path);
        ++ctx->failed;
    }
}

void RemoveFolder(UndoContext* ctx, const char* path) {
    long attributes = SysAttributes(path);
    if (attributes == SYS_ATTR_NONE) {
        LogPrintf("Already gone: %s", path);
        ++ctx->gone;
    } else if (!(attributes & SYS_ATTR_DIR)) {
        LogPrintf("Not a folder, kept: %s", path);
        ++ctx->kept;
    } else if (SysRemoveDir(path)) {
        LogPrintf("Removed folder %s", path);
        ++ctx->removed;
    } else {
        // Something that is not ours is in it: the folder stays with it.
        LogPrintf("Folder not empty, kept: %s", path);
        ++ctx->kept;
    }
}

// Takes appended bytes out of a text file again: cut at the old size when they are still
// its end, else cut out where they are now; left alone when they are nowhere.
void RemoveAppended(UndoContext* ctx, const InstallItem* item) {
    const char* path = item->field[0];
    const char* added = item->field[2];
    unsigned long before = 0;
    for (const char* p = item->field[1]; *p >= '0' && *p <= '9' && before < 100000000; ++p)
        before = before * 10 + (unsigned long)(*p - '0');
    SysFile f = SysOpen(path, SYS_READWRITE);
    if (!f) {
        LogPrintf("Already gone: %s", path);
        ++ctx->gone;
        return;
    }
    long size = SysFileSize(f);
    long length = (long)strlen(added);
    char* text = nullptr;
    long got = -1;
    if (size >= 0 && size <= 4L * 1024 * 1024) {
        text = (char*)MemAlloc((unsigned long)size + 1);
        got = SysSeek(f, 0, SYS_SEEK_SET) == 0 ? SysRead(f, text, (unsigned long)size) : -1;
    }
    long at = -1;
    if (got == size && length > 0) {
        if ((unsigned long)size == before + (unsigned long)length &&
            memcmp(text + before, added, (size_t)length) == 0)
            at = (long)before;
        else
            for (long i = size - length; i >= 0 && at < 0; --i)
                if (memcmp(text + i, added, (size_t)length) == 0) at = i;
    }
    int ok = 0;
    if (at >= 0) {
        long rest = size - at - length;
        ok = SysSeek(f, at, SYS_SEEK_SET) == at &&
             (rest == 0 || SysWrite(f, text + at + length, (unsigned long)rest) == rest) &&
             SysTruncate(f);
    }
    SysClose(f);
    MemFree(text);
    if (at < 0) {
        LogPrintf("Lines added to %s not found, file kept as it is", path);
        ++ctx->gone;
    } else if (ok) {
        LogPrintf("Removed the lines added to %s", path);
        ++ctx->removed;
    } else {
        LogPrintf("Couldn't remove the lines added to %s", path);
        ++ctx->failed;
    }
}

}  // namespace

int PathUnder(const char* path, const char* root) {
    char head[MAX_PATH_TEXT];
    size_t length = strlen(root);
    while (length > 0 && root[length - 1] == '\\') --length;
    if (length == 0 || length >= sizeof head || strlen(path) < length) return 0;
    memcpy(head, path, length);
    head[length] = 0;
    char rootCopy[MAX_PATH_TEXT];
    memcpy(rootCopy, root, length);
    rootCopy[length] = 0;
    // The byte after the root must end a name, or "C:\KOV" would hold "C:\KOV2".
    return SameName(head, rootCopy) && (path[length] == 0 || path[length] == '\\');
}

int IsUserData(const UndoContext* ctx, const char* path) {
    for (int i = 0; i < ctx->record->count; ++i) {
        const InstallItem* item = &ctx->record->items[i];
        if (item->kind == ITEM_DATA && PathUnder(path, item->field[0])) return 1;
    }
    return 0;
}

int RemoveTree(const char* path) {
    // A file the install carried over from an earlier installation is user data of its own.
    long attributes = SysAttributes(path);
    if (attributes != SYS_ATTR_NONE && !(attributes & SYS_ATTR_DIR)) return SysDelete(path);
    return RemoveTreeAt(path, 0);
}

int AllowedItem(UndoContext* ctx, const InstallItem* item) {
    int kind = item->kind;
    // A line break in a value would write lines of its own into a profile or a command.
    for (int f = 0; f < ITEM_FIELDS; ++f)
        if (!(kind == ITEM_HELP && f == 2) &&
            (FindCharMb(item->field[f], '\r') || FindCharMb(item->field[f], '\n')))
            return Refuse(ctx, item, "a line break in a field");
    const char* path = item->field[0];
    const char* windows = ctx->rootCount > 1 ? ctx->roots[1] : nullptr;
    char folder[MAX_PATH_TEXT];
    switch (kind) {
    case ITEM_FILE:
    case ITEM_DIR:
    case ITEM_DATA:
    case ITEM_LINK:
    case ITEM_HELP:
        // The folders the install made above the destination (C:\Apps of C:\Apps\KOV) go too,
        // and only when empty.
        if (kind == ITEM_DIR && ctx->roots[0] && PathUnder(ctx->roots[0], path) &&
            CanonicalFolder(folder, path, sizeof folder) && !strcmp(folder, path))
            break;
        if (!AllowedPath(ctx, path) || (kind == ITEM_DATA && !PathUnder(path, ctx->roots[0])))
            return Refuse(ctx, item, "outside the folders of the install");
        break;
    case ITEM_GROUP:
        if (!ctx->groupName || !ctx->groupName[0] || !SameName(path, ctx->groupName))
            return Refuse(ctx, item, "not the group of this program");
        return 1;
    default: return 1;
    }
    GetDirPart(folder, path);
    const char* name = GetNamePart(path);
    switch (kind) {
    case ITEM_FILE:
        // The package's own files of the Windows folder lie in it, not in a folder of it (the
        // desktop and the Start menu are there too), and are never the system's.
        if (!PathUnder(path, ctx->roots[0]) &&
            !(windows && SameFolder(folder, windows) && !FindCharMb(name, '*') &&
              !FindCharMb(name, '?') && !IsSystemFileName(name)))
            return Refuse(ctx, item,
                          "not a file of the destination or of this program in the Windows folder");
        break;
    case ITEM_LINK: {
        char ext[8];
        if (!GetExtPart(ext, path) || !SameName(ext, "lnk") || !InShellFolder(ctx, path))
            return Refuse(ctx, item, "not a shortcut in a shell folder");
        break;
    }
    case ITEM_HELP:
        if (!ctx->helpFile || !SameName(path, ctx->helpFile) || IsUserData(ctx, path))
            return Refuse(ctx, item, "not the help contents file");
        break;
    }
    return 1;
}

namespace {

int IsFileKind(int kind) {
    return kind == ITEM_FILE || kind == ITEM_DIR || kind == ITEM_DATA || kind == ITEM_LINK ||
           kind == ITEM_HELP;
}

// One line of a file kind, already allowed.
void DoFileItem(UndoContext* ctx, const InstallItem* item) {
    int kind = item->kind;
    const char* path = item->field[0];
    if (kind != ITEM_DATA && kind != ITEM_HELP && !ctx->removeUserData && IsUserData(ctx, path)) {
        LogPrintf("User data kept: %s", path);
        ++ctx->kept;
        return;
    }
    switch (kind) {
    case ITEM_FILE: RemoveFile(ctx, path); break;
    case ITEM_LINK: RemoveFile(ctx, path); break;
    case ITEM_DIR: RemoveFolder(ctx, path); break;
    case ITEM_DATA:
        if (!ctx->removeUserData) {
            LogPrintf("User data kept: %s", path);
            ++ctx->kept;
        } else if (SysAttributes(path) == SYS_ATTR_NONE) {
            LogPrintf("Already gone: %s", path);
            ++ctx->gone;
        } else if (RemoveTree(path)) {
            LogPrintf("Removed user data %s", path);
            ++ctx->removed;
        } else {
            LogPrintf("Couldn't remove all of user data %s", path);
            ++ctx->failed;
        }
        break;
    case ITEM_HELP: RemoveAppended(ctx, item); break;
    }
}

}  // namespace

int UndoFileItem(UndoContext* ctx, const InstallItem* item) {
    if (!IsFileKind(item->kind)) return 0;
    if (AllowedItem(ctx, item)) DoFileItem(ctx, item);
    return 1;
}

int UndoRecord(UndoContext* ctx, const char* recordPath,
               void (*other)(UndoContext* ctx, const InstallItem* item)) {
    const InstallRecord* record = ctx->record;
    // Folders go last, but are judged with the rest, so that a refused one counts before
    // the uninstall is called complete.
    char* folderAllowed = (char*)MemAlloc((unsigned long)record->count + 1);
    for (int i = record->count - 1; i >= 0; --i)
        if (record->items[i].kind == ITEM_DIR)
            folderAllowed[i] = (char)AllowedItem(ctx, &record->items[i]);
    // Complete when nothing but the way back is left: the uninstaller's own file may fail
    // to go only because it is the program running, and waits for the next start then.
    int complete = 0;
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = record->count - 1; i >= 0; --i) {
            const InstallItem* item = &record->items[i];
            if (item->kind == ITEM_DIR || item->kind == ITEM_DEST) continue;
            if (IsWayBack(ctx, item) != (pass == 1)) continue;
            if (!UndoFileItem(ctx, item) && AllowedItem(ctx, item) && other) other(ctx, item);
        }
        if (pass == 0) complete = ctx->failed == 0;
        if (pass == 0 && !complete) {
            LogPrintf("Uninstall not complete: %d lines failed or were refused; the uninstaller, "
                      "its record and its entry are kept for another try",
                      ctx->failed);
            break;
        }
    }
    if (complete && recordPath && SysAttributes(recordPath) != SYS_ATTR_NONE &&
        !SysDelete(recordPath))
        LogPrintf("Couldn't remove %s", recordPath);
    for (int i = record->count - 1; i >= 0; --i) {
        const InstallItem* item = &record->items[i];
        if (item->kind == ITEM_DIR && folderAllowed[i]) DoFileItem(ctx, item);
        // The group's folder of a shortcut, when Program Manager has not taken it away with
        // the group, once nothing else is left in it.
        if (item->kind != ITEM_LINK || !AllowedPath(ctx, item->field[0])) continue;
        char folder[MAX_PATH_TEXT];
        GetDirPart(folder, item->field[0]);
        if (IsGroupFolder(ctx, folder) && SysAttributes(folder) != SYS_ATTR_NONE) {
            if (SysRemoveDir(folder)) LogPrintf("Removed group folder %s", folder);
            else LogPrintf("Group folder not empty, kept: %s", folder);
        }
    }
    MemFree(folderAllowed);
    return complete;
}

int AddWininitDelete(const char* wininitPath, const char* path) {
    // The profile calls cannot be used: each NUL= line has the same name, and writing one
    // replaces the line of an earlier program that waits for the same restart.
    char line[280];
    if (Format(line, sizeof line, "NUL=%s\r\n", path) < 0 || FindCharMb(path, '\r') ||
        FindCharMb(path, '\n'))
        return 0;
    long size = 0;
    char* text = nullptr;
    SysFile f = SysOpen(wininitPath, SYS_READ);
    if (f) {
        size = SysFileSize(f);
        if (size < 0 || size > 1024L * 1024) {
            SysClose(f);
            return 0;
        }
        text = (char*)MemAlloc((unsigned long)size + 1);
        long got = size ? SysRead(f, text, (unsigned long)size) : 0;
        SysClose(f);
        if (got != size) {
            MemFree(text);
            return 0;
        }
    }
    // Just after the section's header line, or a new section at the end.
    long insertAt = -1;
    for (long at = 0; at < size && insertAt < 0;) {
        long end = at;
        while (end < size && text[end] != '\n') ++end;
        long length = end - at;
        while (length > 0 && (text[at + length - 1] == '\r' || text[at + length - 1] == ' '))
            --length;
        char header[10];
        if (length == 8) {
            memcpy(header, text + at, 8);
            header[8] = 0;
            if (SameName(header, "[rename]")) insertAt = end < size ? end + 1 : size;
        }
        at = end + 1;
    }
    const char* section = "";
    const char* lead = "";
    if (insertAt < 0) {
        insertAt = size;
        section = "[rename]\r\n";
        if (size > 0 && text[size - 1] != '\n') lead = "\r\n";
    } else if (insertAt == size && size > 0 && text[size - 1] != '\n') {
        lead = "\r\n";
    }
    SysFile out = SysCreate(wininitPath);
    if (!out) {
        MemFree(text);
        return 0;
    }
    long rest = size - insertAt;
    int ok = (insertAt == 0 || SysWrite(out, text, (unsigned long)insertAt) == insertAt) &&
             SysWrite(out, lead, (unsigned long)strlen(lead)) == (long)strlen(lead) &&
             SysWrite(out, section, (unsigned long)strlen(section)) == (long)strlen(section) &&
             SysWrite(out, line, (unsigned long)strlen(line)) == (long)strlen(line) &&
             (rest == 0 || SysWrite(out, text + insertAt, (unsigned long)rest) == rest);
    SysClose(out);
    MemFree(text);
    return ok;
}
