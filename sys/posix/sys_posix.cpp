// The OS seam on POSIX: lets the portable core run natively in tests, fuzzers and the host
// tools. Drive letters map to host folders (SysMapDrive); the character set is single-byte,
// so ANSI and OEM are the same and every byte is one character.
#include "sys/sys.h"
#include "sys/posix/strings_table.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

struct Drive {
    std::string dir;
    int type = 1;
    unsigned long spc = 8, bps = 512, freeClusters = 0, totalClusters = 0;
    bool geometry = false;
};
Drive drives[26];
int currentDrive = 0;      // one-based; 0 = none
std::string driveCwd[26];  // per drive, "\\..." without the letter

int DriveIndex(char c) {
    if (c >= 'a' && c <= 'z') return c - 'a';
    if (c >= 'A' && c <= 'Z') return c - 'A';
    return -1;
}

// "C:\X\Y" -> "<dir of C>/X/Y"; a relative "X\Y" on a mapped current drive is taken from its
// current directory; any other text is a host path used as it is.
std::string HostPath(const char* path) {
    if (!path) return std::string();
    int d = DriveIndex(path[0]);
    if (d >= 0 && path[1] == ':' && !drives[d].dir.empty()) {
        std::string rest = path + 2;
        if (rest.empty() || (rest[0] != '\\' && rest[0] != '/'))
            rest = driveCwd[d] + (driveCwd[d].empty() || driveCwd[d].back() == '\\' ? "" : "\\") +
                   rest;
        for (char& c : rest)
            if (c == '\\') c = '/';
        return drives[d].dir + rest;
    }
    return std::string(path);
}

std::vector<int> answers;
size_t answerPos = 0;
int asked = 0;
std::string lastQuestion;
int failAllocs = 0;

struct FindState {
    std::vector<SysFindData> items;
    size_t pos = 0;
};

}  // namespace

void SysMapDrive(char letter, const char* hostDir, int type) {
    int d = DriveIndex(letter);
    if (d < 0) return;
    drives[d].dir = hostDir ? hostDir : "";
    while (!drives[d].dir.empty() && drives[d].dir.back() == '/') drives[d].dir.pop_back();
    drives[d].type = hostDir ? type : 1;
    driveCwd[d] = "\\";
}

void SysSetDiskGeometry(char letter, unsigned long spc, unsigned long bps, unsigned long freeC,
                        unsigned long totalC) {
    int d = DriveIndex(letter);
    if (d < 0) return;
    drives[d].spc = spc;
    drives[d].bps = bps;
    drives[d].freeClusters = freeC;
    drives[d].totalClusters = totalC;
    drives[d].geometry = true;
}

SysFile SysOpen(const char* path, int mode) {
    if (SysFaultHit(mode == SYS_READ ? SYS_FAULT_OPEN_READ : SYS_FAULT_OPEN_WRITE)) return 0;
    int flags = mode == SYS_WRITE ? O_WRONLY : mode == SYS_READWRITE ? O_RDWR : O_RDONLY;
    std::string p = HostPath(path);
    struct stat st;
    if (stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return 0;
    int fd = open(p.c_str(), flags);
    return fd < 0 ? 0 : (SysFile)fd + 1;
}

SysFile SysCreate(const char* path) {
    if (SysFaultHit(SYS_FAULT_OPEN_WRITE)) return 0;
    int fd = open(HostPath(path).c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    return fd < 0 ? 0 : (SysFile)fd + 1;
}

long SysRead(SysFile f, void* buf, unsigned long count) {
    if (!f || SysFaultHit(SYS_FAULT_READ)) return -1;
    unsigned long done = 0;
    while (done < count) {
        ssize_t n = read((int)(f - 1), (char*)buf + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        done += (unsigned long)n;
    }
    return (long)done;
}

long SysWrite(SysFile f, const void* buf, unsigned long count) {
    if (!f || SysFaultHit(SYS_FAULT_WRITE)) return -1;
    unsigned long done = 0;
    while (done < count) {
        ssize_t n = write((int)(f - 1), (const char*)buf + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return done ? (long)done : -1;
        }
        done += (unsigned long)n;
    }
    return (long)done;
}

long SysSeek(SysFile f, long offset, int whence) {
    if (!f || SysFaultHit(SYS_FAULT_SEEK)) return -1;
    int w = whence == SYS_SEEK_CUR ? SEEK_CUR : whence == SYS_SEEK_END ? SEEK_END : SEEK_SET;
    off_t r = lseek((int)(f - 1), offset, w);
    return r < 0 || r > 0x7FFFFFFF ? -1 : (long)r;
}

long SysFileSize(SysFile f) {
    struct stat st;
    if (!f || fstat((int)(f - 1), &st) != 0 || st.st_size > 0x7FFFFFFF) return -1;
    return (long)st.st_size;
}

int SysTruncate(SysFile f) {
    if (!f || SysFaultHit(SYS_FAULT_TRUNCATE)) return 0;
    off_t pos = lseek((int)(f - 1), 0, SEEK_CUR);
    return pos >= 0 && ftruncate((int)(f - 1), pos) == 0;
}

void SysClose(SysFile f) {
    if (f) close((int)(f - 1));
}

int SysDelete(const char* path) {
    if (SysFaultHit(SYS_FAULT_DELETE)) return 0;
    return unlink(HostPath(path).c_str()) == 0;
}
int SysRename(const char* from, const char* to) {
    if (SysFaultHit(SYS_FAULT_RENAME)) return 0;
    std::string a = HostPath(from), b = HostPath(to);
    struct stat st;
    if (stat(b.c_str(), &st) == 0) return 0;  // Windows refuses to rename onto a name in use
    return rename(a.c_str(), b.c_str()) == 0;
}
int SysMakeDir(const char* path) { return mkdir(HostPath(path).c_str(), 0755) == 0; }
int SysRemoveDir(const char* path) { return rmdir(HostPath(path).c_str()) == 0; }

int SysCopyFile(const char* from, const char* to) {
    SysFile in = SysOpen(from, SYS_READ);
    if (!in) return 0;
    SysFile out = SysCreate(to);
    if (!out) {
        SysClose(in);
        return 0;
    }
    char buf[32768];
    long n;
    int ok = 1;
    while ((n = SysRead(in, buf, sizeof buf)) > 0)
        if (SysWrite(out, buf, (unsigned long)n) != n) {
            ok = 0;
            break;
        }
    if (n < 0) ok = 0;
    SysClose(in);
    SysClose(out);
    return ok;
}

long SysAttributes(const char* path) {
    struct stat st;
    if (!path || stat(HostPath(path).c_str(), &st) != 0) return SYS_ATTR_NONE;
    return S_ISDIR(st.st_mode) ? SYS_ATTR_DIR : 0x20;
}

SysFind SysFindFirst(const char* pattern, SysFindData* out) {
    std::string host = HostPath(pattern);
    size_t slash = host.rfind('/');
    std::string dir = slash == std::string::npos ? "." : host.substr(0, slash);
    std::string pat = slash == std::string::npos ? host : host.substr(slash + 1);
    if (dir.empty()) dir = "/";
    DIR* d = opendir(dir.c_str());
    if (!d) return 0;
    FindState* st = new FindState;
    while (dirent* e = readdir(d)) {
        if (fnmatch(pat.c_str(), e->d_name, FNM_CASEFOLD) != 0) continue;
        if (strlen(e->d_name) >= sizeof(out->name)) continue;
        SysFindData fd = {};
        strcpy(fd.name, e->d_name);
        struct stat s;
        if (stat((dir + "/" + e->d_name).c_str(), &s) == 0) {
            fd.isDir = S_ISDIR(s.st_mode);
            fd.size = (unsigned long)s.st_size;
            fd.writeTime = (uint32_t)s.st_mtime;
        }
        st->items.push_back(fd);
    }
    closedir(d);
    if (st->items.empty()) {
        delete st;
        return 0;
    }
    *out = st->items[0];
    st->pos = 1;
    return (SysFind)st;
}

int SysFindNext(SysFind h, SysFindData* out) {
    FindState* st = (FindState*)h;
    if (!st || st->pos >= st->items.size()) return 0;
    *out = st->items[st->pos++];
    return 1;
}

void SysFindClose(SysFind h) { delete (FindState*)h; }

int SysGetCurrentDrive(void) { return currentDrive; }
int SysSetCurrentDrive(int oneBased) {
    if (oneBased < 1 || oneBased > 26 || drives[oneBased - 1].dir.empty()) return 0;
    currentDrive = oneBased;
    return 1;
}

int SysGetDriveCurrentDir(int oneBased, char* out, int size) {
    int d = oneBased == 0 ? currentDrive : oneBased;
    if (d < 1 || d > 26 || drives[d - 1].dir.empty()) return 0;
    std::string t = std::string(1, (char)('A' + d - 1)) + ":" + driveCwd[d - 1];
    if ((int)t.size() >= size) return 0;
    strcpy(out, t.c_str());
    return 1;
}

int SysSetCurrentDir(const char* path) {
    if (!path) return 0;
    int d = currentDrive - 1;
    const char* rest = path;
    if (DriveIndex(path[0]) >= 0 && path[1] == ':') {
        d = DriveIndex(path[0]);
        rest = path + 2;
    }
    if (d < 0 || drives[d].dir.empty()) return 0;
    std::string full = std::string(1, (char)('A' + d)) + ":" + rest;
    long a = SysAttributes(full.c_str());
    if (a == SYS_ATTR_NONE || !(a & SYS_ATTR_DIR)) return 0;
    std::string cwd = rest;
    if (cwd.empty() || cwd[0] != '\\')
        cwd = driveCwd[d] + (driveCwd[d].back() == '\\' ? "" : "\\") + cwd;
    driveCwd[d] = cwd;
    return 1;
}

int SysDriveType(const char* root) {
    int d = root ? DriveIndex(root[0]) : -1;
    if (d < 0 || root[1] != ':') return 1;
    return drives[d].dir.empty() ? 1 : drives[d].type;
}

int SysDiskFree(const char* root, unsigned long* spc, unsigned long* bps, unsigned long* freeC,
                unsigned long* totalC) {
    int d = root ? DriveIndex(root[0]) : -1;
    if (d < 0 || drives[d].dir.empty()) return 0;
    *spc = drives[d].spc;
    *bps = drives[d].bps;
    *freeC = drives[d].freeClusters;
    *totalC = drives[d].totalClusters;
    return 1;
}

const char* SysCharNext(const char* p) { return *p ? p + 1 : p; }
const char* SysCharPrev(const char* start, const char* p) { return p > start ? p - 1 : start; }
int SysIsLeadByte(unsigned char) { return 0; }
void SysAnsiToOem(char*) {}
void SysOemToAnsi(char*) {}

void* SysBlockAlloc(unsigned long size) {
    if (failAllocs > 0) {
        failAllocs--;
        return nullptr;
    }
    return calloc(1, size ? size : 1);
}
void SysBlockFree(void* p) { free(p); }
void SysFailNextAllocs(int n) { failAllocs = n; }

void SysFatalExit(const char* text) {
    fprintf(stderr, "fatal: %s\n", text ? text : "");
    _exit(3);
}

int SysMessageBox(int kind, const char* text, const char* caption) {
    asked++;
    lastQuestion = text ? text : "";
    if (answerPos < answers.size()) return answers[answerPos++];
    switch (kind) {
    case SYS_BOX_RETRYCANCEL: return SYS_ID_CANCEL;
    case SYS_BOX_YESNO:
    case SYS_BOX_YESNO_DEFNO:
    case SYS_BOX_NOTICE_YESNO: return SYS_ID_NO;
    default: return SYS_ID_OK;
    }
}

// No windows and no cursor natively.
void SysSetMessageOwner(void*) {}
void SysShowBusy(int) {}

void SysQueueAnswers(const int* a, int count) {
    answers.assign(a, a + count);
    answerPos = 0;
    asked = 0;
    lastQuestion.clear();
}
int SysQuestionsAsked(void) { return asked; }
const char* SysLastQuestion(void) { return lastQuestion.c_str(); }

int SysLoadString(unsigned id, char* out, int size) {
    if (size <= 0) return 0;
    for (int i = 0; i < KovStringCount; i++) {
        if (KovStrings[i].id != id) continue;
        int n = (int)strlen(KovStrings[i].text);
        if (n > size - 1) n = size - 1;
        memcpy(out, KovStrings[i].text, (size_t)n);
        out[n] = 0;
        return n;
    }
    out[0] = 0;
    return 0;
}

unsigned long SysTickCount(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (unsigned long)(ts.tv_sec * 1000 + ts.tv_nsec / 1000000);
}

void SysSleep(unsigned long ms) { usleep((useconds_t)ms * 1000); }
