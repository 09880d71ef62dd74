// The OS seam on POSIX: lets the portable core run natively in tests, fuzzers and the host
// tools. Drive letters map to host folders (SysMapDrive); the character set is single-byte,
// so ANSI and OEM are the same and every byte is one character.
#include "sys/sys.h"
#include "sys/posix/strings_table.h"

#include <ctype.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <algorithm>
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

// Windows finds names without regard to case: below a drive's folder, a component that
// does not exist as written is looked up among its folder's entries ignoring case.
std::string FoldCase(const std::string& base, const std::string& rest) {
    std::string whole = base + rest;
    struct stat st;
    if (lstat(whole.c_str(), &st) == 0) return whole;
    std::string done = base;
    size_t at = 0;
    while (at < rest.size()) {
        size_t slash = rest.find('/', at);
        if (slash == std::string::npos) slash = rest.size();
        std::string part = rest.substr(at, slash - at);
        std::string next = done + "/" + part;
        if (!part.empty() && lstat(next.c_str(), &st) != 0) {
            if (DIR* dir = opendir(done.empty() ? "/" : done.c_str())) {
                while (dirent* e = readdir(dir)) {
                    if (strcasecmp(e->d_name, part.c_str()) == 0) {
                        next = done + "/" + e->d_name;
                        break;
                    }
                }
                closedir(dir);
            }
        }
        done = part.empty() ? done : next;
        at = slash + 1;
    }
    if (!rest.empty() && rest.back() == '/') done += "/";
    return done;
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
        return FoldCase(drives[d].dir, rest);
    }
    return std::string(path);
}

std::vector<int> answers;
size_t answerPos = 0;
int asked = 0;
std::string lastQuestion;
int failAllocs = 0;
std::string systemDir = "C:\\WINDOWS\\SYSTEM";
struct LoadedModule {
    std::string name;
    int lookups;
};
std::vector<LoadedModule> loadedModules;

// The native libraries, by file name; an entry with fn null is absent.
struct LibraryEntry {
    std::string file, entry;
    void* fn;
};
std::vector<LibraryEntry> libraryEntries;
std::vector<std::string> loadedFiles;  // handle = index + 1

// Addresses handed out as 32-bit words: a small ring, enough for the records in flight.
enum { ADDRESS_SLOTS = 16, ADDRESS_TOKEN = 0x4B000000 };
const void* addressSlots[ADDRESS_SLOTS];
unsigned addressNext = 0;

std::string Lower(std::string s) {
    for (char& c : s) c = (char)tolower((unsigned char)c);
    return s;
}

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

// Windows refuses to write or delete a file with the read-only attribute, whoever asks: a
// file nobody may write is read-only here, so that tests run by the superuser meet the same
// refusals a Windows user meets.
static bool ReadOnlyFile(const std::string& hostPath) {
    struct stat st;
    return stat(hostPath.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & 0222);
}

SysFile SysOpen(const char* path, int mode) {
    if (SysFaultHit(mode == SYS_READ ? SYS_FAULT_OPEN_READ : SYS_FAULT_OPEN_WRITE)) return 0;
    int flags = mode == SYS_WRITE                                      ? O_WRONLY
                : mode == SYS_READWRITE || mode == SYS_READWRITE_ALONE ? O_RDWR
                                                                       : O_RDONLY;
    std::string p = HostPath(path);
    struct stat st;
    if (stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return 0;
    if (mode != SYS_READ && ReadOnlyFile(p)) return 0;
    int fd = open(p.c_str(), flags);
    return fd < 0 ? 0 : (SysFile)fd + 1;
}

SysFile SysCreate(const char* path) {
    if (SysFaultHit(SYS_FAULT_OPEN_WRITE)) return 0;
    if (ReadOnlyFile(HostPath(path))) return 0;
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

int SysClose(SysFile f) { return f && close((int)(f - 1)) == 0; }

int SysFlush(SysFile f) { return f && fsync((int)(f - 1)) == 0; }

int SysDelete(const char* path) {
    if (SysFaultHit(SYS_FAULT_DELETE)) return 0;
    if (ReadOnlyFile(HostPath(path))) return 0;
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
    // The copy keeps the read-only attribute, as the Windows copy does.
    if (ReadOnlyFile(HostPath(from))) chmod(HostPath(to).c_str(), 0444);
    return ok;
}

long SysAttributes(const char* path) {
    struct stat st;
    if (!path || stat(HostPath(path).c_str(), &st) != 0) return SYS_ATTR_NONE;
    if (S_ISDIR(st.st_mode)) return SYS_ATTR_DIR;
    return SYS_ATTR_ARCHIVE | (st.st_mode & 0222 ? 0 : SYS_ATTR_READONLY);
}

// Windows matching: a pattern ending in ".*" also takes names without a dot, so "*.*"
// is every name.
static bool WindowsMatch(const std::string& pat, const char* name) {
    if (fnmatch(pat.c_str(), name, FNM_CASEFOLD) == 0) return true;
    size_t n = pat.size();
    return n >= 2 && pat.compare(n - 2, 2, ".*") == 0 && !strchr(name, '.') &&
           fnmatch(pat.substr(0, n - 2).c_str(), name, FNM_CASEFOLD) == 0;
}

static int listingOrder = SYS_LIST_AS_STORED;
void SysSetListingOrder(int order) { listingOrder = order; }

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
        if (!WindowsMatch(pat, e->d_name)) continue;
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
    if (listingOrder != SYS_LIST_AS_STORED) {
        bool reversed = listingOrder == SYS_LIST_BY_NAME_REVERSED;
        std::sort(st->items.begin(), st->items.end(),
                  [reversed](const SysFindData& a, const SysFindData& b) {
                      int c = strcasecmp(a.name, b.name);
                      return reversed ? c > 0 : c < 0;
                  });
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

int SysFolderIdentity(const char* path, SysFolderKey* key) {
    struct stat st;
    if (!path || stat(HostPath(path).c_str(), &st) != 0) return 0;
    key->volume = (uint64_t)st.st_dev;
    key->index = (uint64_t)st.st_ino;
    return 1;
}

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
    if (SysFaultHit(SYS_FAULT_ALLOC)) return nullptr;
    if (failAllocs > 0) {
        failAllocs--;
        return nullptr;
    }
    return calloc(1, size ? size : 1);
}
void SysBlockFree(void* p) { free(p); }
void SysFailNextAllocs(int n) { failAllocs = n; }

void SysFatalExit(const char* text, unsigned exitCode) {
    fprintf(stderr, "fatal: %s\n", text ? text : "");
    _exit((int)exitCode);
}

void SysEndProcess(void) { _exit(SYS_KILLED_EXIT); }

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

int SysTempFileName(const char* dir, const char* prefix, unsigned unique, char* out) {
    if (!dir || !prefix || !out || (unique & 0xFFFF) == 0) return 0;
    size_t n = strlen(dir);
    const char* sep = n && (dir[n - 1] == '\\' || dir[n - 1] == '/') ? "" : "\\";
    int len = snprintf(out, SYS_PATH_BYTES, "%s%s%.3s%x.tmp", dir, sep, prefix, unique & 0xFFFF);
    if (len < 0 || len >= SYS_PATH_BYTES) {
        out[0] = 0;
        return 0;
    }
    return 1;
}

void SysDefineLibraryEntry(const char* fileName, const char* entryName, void* fn) {
    std::string file = Lower(fileName), entry = entryName;
    for (auto& e : libraryEntries)
        if (e.file == file && e.entry == entry) {
            e.fn = fn;
            return;
        }
    libraryEntries.push_back({file, entry, fn});
}

SysLibrary SysLoadLibrary(const char* path) {
    if (!path) return 0;
    const char* name = path;
    for (const char* p = path; *p; p++)
        if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
    std::string file = Lower(name);
    bool known = false;
    for (auto& e : libraryEntries) known = known || e.file == file;
    SysFile f = known ? SysOpen(path, SYS_READ) : 0;
    if (!f) return 0;
    char magic[2] = {0, 0};
    long got = SysRead(f, magic, 2);
    SysClose(f);
    if (got != 2 || magic[0] != 'M' || magic[1] != 'Z') return 0;
    loadedFiles.push_back(file);
    return (SysLibrary)loadedFiles.size();
}

void* SysLibraryEntry(SysLibrary library, const char* name) {
    if (library <= 0 || (size_t)library > loadedFiles.size() || !name) return 0;
    const std::string& file = loadedFiles[(size_t)library - 1];
    for (auto& e : libraryEntries)
        if (e.file == file && e.entry == name) return e.fn;
    return 0;
}

void SysFreeLibrary(SysLibrary library) {
    if (library > 0 && (size_t)library <= loadedFiles.size())
        loadedFiles[(size_t)library - 1].clear();
}

int SysHostPath(const char* path, char* out, int size) {
    std::string host = HostPath(path);
    if (size <= 0 || host.size() >= (size_t)size) return 0;
    memcpy(out, host.c_str(), host.size() + 1);
    return 1;
}

uint64_t SysAddressWord(const void* p) {
    if (!p) return 0;
    unsigned slot = addressNext++ % ADDRESS_SLOTS;
    addressSlots[slot] = p;
    return ADDRESS_TOKEN + slot;
}

const void* SysWordAddress(uint64_t word) {
    if (word < ADDRESS_TOKEN || word >= ADDRESS_TOKEN + ADDRESS_SLOTS) return 0;
    return addressSlots[word - ADDRESS_TOKEN];
}

unsigned long SysTickCount(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (unsigned long)(ts.tv_sec * 1000 + ts.tv_nsec / 1000000);
}

void SysSleep(unsigned long ms) { usleep((useconds_t)ms * 1000); }

SysFile SysOpenUnshared(const char* path) { return SysOpen(path, SYS_READ); }

uint32_t SysFileDosTime(SysFile f) {
    struct stat st;
    struct tm t;
    if (!f || fstat((int)(f - 1), &st) != 0) return 0;
    time_t written = st.st_mtime;
    if (!gmtime_r(&written, &t)) return 0;
    int year = t.tm_year + 1900;
    if (year < 1980 || year > 2107) return 0;  // no DOS form
    uint32_t date = (uint32_t)((year - 1980) << 9 | (t.tm_mon + 1) << 5 | t.tm_mday);
    uint32_t tod = (uint32_t)(t.tm_hour << 11 | t.tm_min << 5 | t.tm_sec / 2);
    return date << 16 | tod;
}

// The version resource of a PE image: the resource directory's first RT_VERSION entry, its
// VS_VERSIONINFO block and the fixed information after its key. Every offset comes from the
// file, so each is checked against what was read.
namespace {

struct Image {
    std::vector<unsigned char> bytes;
    bool Has(uint64_t at, uint64_t n) const { return at <= bytes.size() && n <= bytes.size() - at; }
    uint32_t U16(uint64_t at) const { return bytes[at] | bytes[at + 1] << 8; }
    uint32_t U32(uint64_t at) const { return U16(at) | U16(at + 2) << 16; }
};

// File offset of an RVA inside a section's raw data, with n bytes available; 0 when none.
uint64_t RvaToOffset(const Image& im, uint64_t sections, unsigned count, uint32_t rva, uint32_t n) {
    for (unsigned i = 0; i < count; i++) {
        uint64_t h = sections + 40ull * i;
        if (!im.Has(h, 40)) return 0;
        uint32_t va = im.U32(h + 12), raw = im.U32(h + 16), ptr = im.U32(h + 20);
        if (rva < va || rva - va >= raw) continue;
        uint64_t at = (uint64_t)ptr + (rva - va);
        if (rva - va + (uint64_t)n > raw || !im.Has(at, n)) return 0;
        return at;
    }
    return 0;
}

// The OffsetToData of a directory's entry with that id (any entry when id is -1).
bool ResourceEntry(const Image& im, uint64_t base, uint64_t dir, long id, uint32_t* target) {
    if (!im.Has(base + dir, 16)) return false;
    unsigned named = im.U16(base + dir + 12), ids = im.U16(base + dir + 14);
    for (unsigned i = 0; i < named + ids; i++) {
        uint64_t e = base + dir + 16 + 8ull * i;
        if (!im.Has(e, 8)) return false;
        uint32_t name = im.U32(e);
        if (id >= 0 && (name & 0x80000000u || name != (uint32_t)id)) continue;
        *target = im.U32(e + 4);
        return true;
    }
    return false;
}

}  // namespace

int SysFileVersion(const char* path, uint32_t* ms, uint32_t* ls) {
    enum : uint32_t { MAX_IMAGE = 64u << 20, RT_VERSION = 16, FIXED_SIGNATURE = 0xFEEF04BDu };
    // A bare name is looked for in the current folder of the current drive, as the
    // version calls of Windows find it.
    std::string name = path ? path : "";
    if (currentDrive && !name.empty() && name[0] != '/' && name[0] != '\\' &&
        name.find(':') == std::string::npos)
        name = std::string(1, (char)('A' + currentDrive - 1)) + ":" + name;
    int fd = open(HostPath(name.c_str()).c_str(), O_RDONLY);
    if (fd < 0) return 0;
    struct stat st;
    Image im;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 64 && st.st_size <= MAX_IMAGE) {
        im.bytes.resize((size_t)st.st_size);
        if (pread(fd, im.bytes.data(), im.bytes.size(), 0) != (ssize_t)im.bytes.size())
            im.bytes.clear();
    }
    close(fd);
    if (im.bytes.size() < 64 || im.U16(0) != 0x5A4D) return 0;  // "MZ"
    uint64_t pe = im.U32(0x3C);
    if (!im.Has(pe, 24) || im.U32(pe) != 0x00004550) return 0;  // "PE\0\0"
    unsigned sectionCount = im.U16(pe + 6), optionalSize = im.U16(pe + 20);
    uint64_t opt = pe + 24, sections = opt + optionalSize;
    if (!im.Has(opt, 2)) return 0;
    uint32_t magic = im.U16(opt);
    uint64_t countAt = magic == 0x10B ? 92 : magic == 0x20B ? 108 : 0;
    if (!countAt || optionalSize < countAt + 4 + 3 * 8 || !im.Has(opt, countAt + 4 + 3 * 8))
        return 0;
    if (im.U32(opt + countAt) < 3) return 0;  // no resource directory entry
    uint32_t rsrcRva = im.U32(opt + countAt + 4 + 2 * 8);
    uint64_t base = RvaToOffset(im, sections, sectionCount, rsrcRva, 16);
    if (!rsrcRva || !base) return 0;
    // Type, name, language: the last is a data entry, the first two subdirectories.
    uint32_t t = 0;
    if (!ResourceEntry(im, base, 0, RT_VERSION, &t) || !(t & 0x80000000u)) return 0;
    if (!ResourceEntry(im, base, t & 0x7FFFFFFF, -1, &t) || !(t & 0x80000000u)) return 0;
    if (!ResourceEntry(im, base, t & 0x7FFFFFFF, -1, &t) || (t & 0x80000000u)) return 0;
    if (!im.Has(base + t, 8)) return 0;
    uint32_t dataRva = im.U32(base + t), dataSize = im.U32(base + t + 4);
    if (dataSize < 6) return 0;
    uint64_t block = RvaToOffset(im, sections, sectionCount, dataRva, dataSize);
    if (!block) return 0;
    uint32_t length = im.U16(block), valueLength = im.U16(block + 2);
    if (length > dataSize) length = dataSize;
    // The UTF-16 key "VS_VERSION_INFO" and its terminator, then padding to 32 bits.
    uint64_t at = 6;
    while (at + 2 <= length && im.U16(block + at) != 0) at += 2;
    at += 2;
    at = (at + 3) & ~3ull;
    if (valueLength < 52 || at + 52 > length) return 0;
    if (im.U32(block + at) != FIXED_SIGNATURE) return 0;
    *ms = im.U32(block + at + 8);
    *ls = im.U32(block + at + 12);
    return 1;
}

int SysCanWrite(const char* path) { return path && access(HostPath(path).c_str(), W_OK) == 0; }

int SysSystemDir(char* out, int size) {
    if (size <= 0) return 0;
    if ((int)systemDir.size() >= size) {
        out[0] = 0;
        return 0;
    }
    strcpy(out, systemDir.c_str());
    return (int)systemDir.size();
}

void SysSetSystemDir(const char* path) { systemDir = path ? path : "C:\\WINDOWS\\SYSTEM"; }

int SysModuleLoaded(const char* name) {
    for (LoadedModule& m : loadedModules)
        if (name && strcasecmp(m.name.c_str(), name) == 0 && m.lookups > 0) {
            m.lookups--;
            return 1;
        }
    return 0;
}

void SysSetModuleLoaded(const char* name, int lookups) {
    if (!name) return;
    for (LoadedModule& m : loadedModules)
        if (strcasecmp(m.name.c_str(), name) == 0) {
            m.lookups = lookups;
            return;
        }
    loadedModules.push_back({name, lookups});
}

int SysRestartWindows(void) {
    const char* record = getenv("KOV_RESTART_RECORD");
    if (!record || !*record) return 0;
    FILE* f = fopen(record, "ab");
    if (!f) return 0;
    int ok = fputs("ExitWindowsEx reboot force\r\n", f) >= 0;
    return fclose(f) == 0 && ok;
}
