// The whole install step under injected faults: the file installation, then the migration
// (and the clean-up after a failed one). A clean run counts the opens, reads, writes, seeks,
// renames and deletes it makes (and the decompression library's calls), then the step is
// run again once for every one of those calls, with that call failing once or from then on
// (a full disk stays full). After each run the step must have ended in success, a known
// fatal number or a cancel; after a failure or a cancel nothing of the package may be left
// unless the log names it, and the earlier installation's user data must be where it was,
// byte for byte, or named in the log where it stayed. A success must have every file of the
// package, and every record the migration carries must be in the new main database or,
// where the log says it was not carried, still in the old one, untouched. After every run
// the next run's search must find the installation the user has (the new one after a
// success, the earlier one otherwise), and the database the client opens there must hold the
// user's records: a file is safe only where the client looks for it.
//
// host_tests walks a sample of the points; KOV_FAULTS=full walks every one of them and
// prints the figures (bench/faults.sh).
#include <gtest/gtest.h>
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "base/globals.h"
#include "record/journal.h"
#include "base/log.h"
#include "base/mem.h"
#include "clientdb/access.h"
#include "clientdb/format.h"
#include "clientdb/userdb.h"
#include "dunzip/unzip.h"
#include "install/decompress.h"
#include "install/destination.h"
#include "install/install.h"
#include "install/rollback.h"
#include "install/space.h"
#include "migrate/internal.h"
#include "migrate/migrate.h"
#include "migrate/search.h"
#include "migrate/transfer.h"
#include "package/package.h"
#include "sys/sys.h"
#include "tests/host/install_fixture.h"
#include "tests/host/migrate_fake.h"
#include "tests/host/native_dunzip.h"
#include "tests/host/zipfile.h"

namespace {

typedef std::map<std::string, std::string> Tree;  // relative host path -> bytes

void Walk(const std::string& dir, const std::string& rel, Tree& out) {
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        if (e->d_type == DT_DIR) Walk(dir + "/" + n, rel + n + "/", out);
        else out[rel + n] = ReadHostFile(dir + "/" + n);
    }
    closedir(d);
}

// A folder as the earlier installation's user would compare it: every file's name, bytes and
// time of last change, and every folder's name.
typedef std::map<std::string, std::string> Snapshot;
void Snap(const std::string& dir, const std::string& rel, Snapshot& out) {
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name, path = dir + "/" + n;
        if (n == "." || n == "..") continue;
        struct stat st;
        if (stat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            out[rel + n + "/"] = "folder";
            Snap(path, rel + n + "/", out);
        } else {
            out[rel + n] = ReadHostFile(path) + "@" + std::to_string(st.st_mtim.tv_sec) + "." +
                           std::to_string(st.st_mtim.tv_nsec);
        }
    }
    closedir(d);
}
// The first name whose entry differs, or "".
std::string FirstDifference(const Snapshot& a, const Snapshot& b) {
    for (auto& e : a) {
        auto it = b.find(e.first);
        if (it == b.end()) return e.first + " is gone";
        if (it->second != e.second) return e.first + " changed";
    }
    for (auto& e : b)
        if (!a.count(e.first)) return e.first + " is new";
    return "";
}

// Writes a file of the machine, making its folders without a shell: a campaign makes
// thousands of machines.
void Put(const EngineMachine& m, const char* winPath, const std::string& data) {
    std::string host = m.Host(winPath);
    for (size_t at = host.find('/', 1); at != std::string::npos; at = host.find('/', at + 1))
        mkdir(host.substr(0, at).c_str(), 0777);
    WriteHostFile(host, data);
}

std::string Lower(std::string s) {
    for (char& c : s) c = (char)tolower((unsigned char)c);
    return s;
}

// The calls a fault can hit: the seam's kinds, and the library's extraction (which writes
// through its own file calls), made to report a full disk.
enum { POINT_LIBRARY = SYS_FAULT_KINDS };
const struct {
    int kind;
    const char* name;
} kPointKinds[] = {
    {SYS_FAULT_OPEN_READ, "open for reading"},
    {SYS_FAULT_OPEN_WRITE, "open for writing"},
    {SYS_FAULT_READ, "read"},
    {SYS_FAULT_WRITE, "write"},
    {SYS_FAULT_SEEK, "seek"},
    {SYS_FAULT_RENAME, "rename"},
    {SYS_FAULT_DELETE, "delete"},
    {POINT_LIBRARY, "extraction"},
};

// How an injected fault behaves: one failing call and the user says Retry, one failing call
// and the user cancels, or every call from there on failing (the user cancels each question).
enum Mode { ONCE_RETRY, ONCE_CANCEL, FROM_THEN_ON };
const char* const kModeNames[] = {"once, retried", "once, cancelled", "from then on"};

unsigned long LibraryCalls, LibraryFailFrom, LibraryFailTo;
int CountingDunzip(const unsigned char* record) {
    unsigned long n = ++LibraryCalls;
    if (LibraryFailFrom && n >= LibraryFailFrom && n <= LibraryFailTo) return DUNZIP_DISK_FULL;
    return NativeDunzip(record);
}
// The direct entry, counted with the record entry: the campaign walks whichever the run takes.
int CountingDunzipDirect(NativeDirectReadFn read, void* context, uintptr_t length,
                         const char* target, uintptr_t size) {
    unsigned long n = ++LibraryCalls;
    if (LibraryFailFrom && n >= LibraryFailFrom && n <= LibraryFailTo) return DUNZIP_DISK_FULL;
    return NativeDunzipDirect(read, context, length, target, size);
}

// The earlier installation's main database: records the migration carries (by the
// script's list, and art the new database lacks) and one it leaves.
// The user list is carried too, so that the next run's search recognises the new
// installation as in use.
const uint32_t kCarried[] = {0x14000098, 0x14000097, GID_USER_NAMES};
const std::vector<migratetest::Rec> kOldRecords = {
    migratetest::Version(3, 1),
    migratetest::Names({"Jean"}),  // in use: the search chooses it
    {0x14000098, "carried record"},
    {0x14000097, std::string(3000, 'c')},
    {0x01000001, "old art", migratetest::TYPE_P},
    {0x14000099, "not carried"},
};
const uint32_t kCarriedGids[] = {0x14000098, 0x14000097, 0x01000001, GID_USER_NAMES};

struct UserFile {
    const char* path;       // where it lives before the install
    const char* inPlaceTo;  // where an in-place install that went through leaves it
};

// The earlier installation: its main database, preserved files (kept, renamed, carried) and
// a tool module, and files the package replaces.
const UserFile kUserFiles[] = {
    {"IDB\\MAIN.IDX", "IDB\\OLD.DB"},
    {"IDB\\USER.MAL", "IDB\\USER.MAL"},
    {"goto.ini", "goto.ini"},
    {"mpm\\modem.ini", "mpm\\modem.old"},
    {"download\\f.txt", "download\\f.txt"},
    {"organize\\a.fld", "organize\\a.fld"},
};

// The fatal numbers the install step may end with.
bool KnownError(unsigned error) {
    static const unsigned known[] = {
        FATAL_ENTRY_SEEK,    FATAL_ENTRY_READ,        FATAL_ENTRY_WRITE,    FATAL_TARGET_CREATE,
        FATAL_TARGET_CLOSE,  FATAL_FILE_CREATE,       FATAL_FILE_CLOSE,     FATAL_FILE_SIZE,
        FATAL_SYSTEM_FILE,   FATAL_DECOMPRESSOR_LOAD, FATAL_DB_OPEN,        FATAL_DB_VERSION_WRITE,
        FATAL_DB_NO_VERSION, FATAL_DB_VERSION_TEXT,   FATAL_DB_RESOURCE_TAG};
    bool knownError = error == 0 || error > FATAL_DECOMPRESS_BASE;
    for (unsigned k : known) knownError = knownError || error == k;
    return knownError;
}

struct Figures {
    unsigned long points = 0, passed = 0, bytesLost = 0;
    unsigned long kills = 0, recoveries = 0, rolledBack = 0;
};

struct Scenario {
    const char* what;
    bool inPlace;
    bool roomForBackups;  // else the install overwrites the earlier files as it always did
};

struct Campaign {
    const Scenario& scenario;
    migratetest::PlatformGuard guard;
    migratetest::FakeSystem fake;
    int migrated = 0;  // the migration ran and went through
    EngineMachine* m = nullptr;
    std::string package;                                       // stored bytes of the package file
    std::vector<std::pair<std::string, std::string>> entries;  // name, installed bytes
    std::vector<std::pair<std::string, std::string>> stored;   // name, stored bytes
    Tree userBefore, windowsBefore;
    Snapshot earlierBefore;  // the earlier installation's folder, times included
    const char* dest() const { return scenario.inPlace ? "C:\\KOV" : "C:\\Kov30I"; }

    explicit Campaign(const Scenario& s) : scenario(s) {
        auto zipped = [&](const char* name, const std::string& data) {
            const char* bare = strrchr(name, '\\');
            entries.push_back({name, data});
            stored.push_back({name, MakeZip(bare ? bare + 1 : name, data)});
        };
        auto plain = [&](const char* name, const std::string& data) {
            entries.push_back({name, data});
            stored.push_back({name, data});
        };
        plain("dunzip32.dll", "MZ library image");
        plain("quickref.txt", "Guide de r\xE9"
                              "f\xE9rence\r\n");
        // The old installation's folders are in capitals and so are the package's, since the
        // native file system tells case apart where Windows does not.
        // Stored in three blocks of the package copy, so a write can fail inside an entry.
        std::string client = "MZ new client ";
        for (unsigned i = 0, seed = 5; i < 70000; i++) {
            seed = seed * 1103515245 + 12345;
            client += (char)(seed >> 16);
        }
        zipped("kov.exe", client);
        zipped("mpm\\modem.ini", "[modem]\r\nnew=1\r\n");
        zipped("windows\\kov.ini", "[KOV]\r\n");
        zipped("system\\pppmac.vxd", "VXD image");
        zipped("DOSGAME.EXE", "MZ game");
        zipped("goto.ini", "[goto] package's");
        zipped("IDB\\MAIN.IDX",
               migratetest::DbFile(DB_NEW_FORM, DB_ID_MAIN, {migratetest::Version(3, 0)}));
        zipped("IDB\\ART.IDX", std::string(3000, 'a'));
    }

    // A fresh machine with the earlier installation in C:\KOV and the package open.
    void Prepare() {
        m = new EngineMachine;
        InstallSettingsT& is = InstallSettings;
        strcpy(is.PreviousDir, "C:\\KOV");
        strcpy(is.DestDir, dest());
        strcpy(is.QuickRefFile, "quickref.txt");
        is.DbVersion[0] = 3;
        is.DbVersion[1] = 1;
        Put(*m, "C:\\KOV\\IDB\\MAIN.IDX",
            migratetest::DbFile(DB_NEW_FORM, DB_ID_MAIN, kOldRecords));
        Put(*m, "C:\\KOV\\IDB\\USER.MAL", "the user's mail");
        Put(*m, "C:\\KOV\\goto.ini", "[goto] the user's");
        Put(*m, "C:\\KOV\\mpm\\modem.ini", "[modem] the user's");
        Put(*m, "C:\\KOV\\download\\f.txt", "a download");
        Put(*m, "C:\\KOV\\organize\\a.fld", "a folder of mail");
        Put(*m, "C:\\KOV\\kov.exe", "MZ old client");
        Put(*m, "C:\\KOV\\WKOV.EXE", "MZ old client");  // what the search looks for
        Put(*m, "C:\\KOV\\TOOL\\chat.kov", TestPe(true, 0x00030000, 0));
        Put(*m, "C:\\WINDOWS\\win.ini", "[windows]\r\n");
        AddTool("chat.kov", 0x03000000)->presentInOld = 1;
        SetList(is.PreservedFiles, {{"IDB\\*.MAL", ""},
                                    {"goto.ini", ""},
                                    {"organize\\*.*", ""},
                                    {"mpm\\modem.ini", "*.old"},
                                    {"download\\*.*", "move"}});
        // spool is new to the earlier installation: a rollback takes it away again.
        SetList(is.CreateDirs, {{"download", nullptr}, {"organize", nullptr}, {"spool", nullptr}});
        is.ExpectedDbKind = NO_DB_KIND;  // any kind of database
        is.ExpectedDbKindCode = NO_DB_KIND_CODE;
        is.CarriedRecordCount = sizeof kCarried / sizeof kCarried[0];
        is.CarriedRecordIds = (uint32_t*)MemAlloc(sizeof kCarried);
        memcpy(is.CarriedRecordIds, kCarried, sizeof kCarried);
        ResetMigrationState();
        ResetSearchState();
        fake = migratetest::FakeSystem();
        fake.askAnswer = 1;  // the old downloads move
        fake.Install();
        // The client's own index of its database, which a database the setup writes there
        // makes stale (and whose deletion a rollback undoes), in capitals the setup does not
        // use for it.
        if (scenario.inPlace && scenario.roomForBackups)
            Put(*m, "C:\\KOV\\IDB\\MAIN.IND", "the client's index");
        Walk(m->Host("C:\\KOV"), "", userBefore);
        Snap(m->Host("C:\\KOV"), "", earlierBefore);
        if (!scenario.roomForBackups) {
            // 8 MB free, 64 MB asked for beside the package: the journal's estimate fails.
            SysSetDiskGeometry('C', 8, 512, 2000, 1000000);
            is.ExtraSpaceKb = 0xFFFF;
        }
        Walk(m->Host("C:\\WINDOWS"), "", windowsBefore);

        std::string data = "package script stands here";
        FileTable = (FileTableT*)MemAlloc(sizeof(FileTableT) + stored.size() * sizeof(void*));
        FileTable->entry = (PackageEntry**)(FileTable + 1);
        for (size_t i = 0; i < stored.size(); i++) {
            const std::string& name = stored[i].first;
            PackageEntry* e = (PackageEntry*)MemAlloc(sizeof(PackageEntry) + name.size() + 1);
            strcpy(e->name, name.c_str());
            e->installedSize = (uint32_t)entries[i].second.size();
            e->storedSize = (uint32_t)stored[i].second.size();
            e->offset = (uint32_t)data.size();
            data += stored[i].second;
            FileTable->entry[FileTable->count++] = e;
            FileTable->total += e->installedSize;
        }
        m->Write("C:\\package.bin", data);
        PackageFile = SysOpen("C:\\package.bin", SYS_READ);
        SysDefineLibraryEntry("dunzip32.dll", "dunzip", (void*)CountingDunzip);
        SysDefineLibraryEntry("dunzip32.dll", DUNZIP_DIRECT_NAME, (void*)CountingDunzipDirect);
        LibraryCalls = LibraryFailFrom = LibraryFailTo = 0;
        UserAbort = 0;
        SetupError = 0;
    }

    void Finish() {
        SysClearFaults();
        ClosePackage();
        UseNativeDunzip();
        delete m;
        m = nullptr;
    }

    // The install step as the driver runs it: the files, then the migration; a failed
    // migration gives an in-place install its files back and takes the package's out.
    int InstallStep() {
        migrated = 0;
        if (!InstallFiles()) return 0;
        // The driver commits once the step's last change is made.
        if (MigrateInstallation()) return CommitInstall(), migrated = 1;
        FreeDecompressor();
        RestorePreviousInstall();
        CleanUpInstall();
        return 0;
    }

    unsigned long Calls(int kind) const {
        return kind == POINT_LIBRARY ? LibraryCalls : SysCallsMade(kind);
    }

    // Counts of each kind of call in a run without faults.
    std::vector<unsigned long> CountCalls() {
        Prepare();
        std::vector<unsigned long> start, counts;
        for (auto& k : kPointKinds) start.push_back(Calls(k.kind));
        EXPECT_EQ(InstallStep(), 1) << EngineMachine::Log();
        for (size_t i = 0; i < start.size(); i++)
            counts.push_back(Calls(kPointKinds[i].kind) - start[i]);
        // The clean run goes the whole way: every record carried, the old database of an
        // in-place install deleted, the downloads moved.
        Figures none;
        EXPECT_EQ(Check(1, none), "");
        std::string newDb = std::string(dest()) + "\\IDB\\MAIN.IDX";
        EXPECT_EQ(migratetest::LiveRecords(newDb.c_str()).count(kCarriedGids[1]), 1u);
        if (scenario.inPlace) EXPECT_TRUE(LoggedLine("Deleted C:\\KOV\\IDB\\OLD.DB"));
        EXPECT_TRUE(LoggedLine("Move old downloads: yes")) << EngineMachine::Log();
        Finish();
        return counts;
    }

    // One run with the nth call of a kind failing; checks every promise, adds to the figures
    // and says why it failed ("" when it held).
    std::string RunOne(int kind, unsigned long nth, Mode mode, Figures& fig) {
        Prepare();
        unsigned long count = mode == FROM_THEN_ON ? ~0ul : 1;
        if (mode == ONCE_RETRY) {
            int retry[] = {SYS_ID_RETRY};
            SysQueueAnswers(retry, 1);
        }
        if (kind == POINT_LIBRARY) {
            LibraryFailFrom = nth;
            LibraryFailTo = count == 1 ? nth : ~0ul;
        } else {
            SysFailCalls(kind, nth, count);
        }
        int result = InstallStep();
        SysClearFaults();
        LibraryFailFrom = 0;
        std::string why = Check(result, fig);
        fig.points++;
        if (why.empty()) fig.passed++;
        else why += "\n" + EngineMachine::Log();
        Finish();
        return why;
    }

    // The process ends abruptly at the nth call of a kind; then a second run of the step,
    // in a new process state over the disk the first one left, must find the earlier
    // installation again and carry every record.
    std::string KillOne(int kind, unsigned long nth, Figures& fig) {
        Prepare();
        fflush(stdout);
        pid_t pid = fork();
        if (pid == 0) {
            SysEndAtCall(kind, nth);
            _exit(InstallStep() ? 0 : 1);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        fig.kills++;
        std::string why;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != SYS_KILLED_EXIT)
            why = "the first run was not ended at that call";
        // This process has not run the step: its state is that of a new run, which finishes
        // the killed run's rollback (or its commit) before anything else.
        LogReset();
        ResetJournalState();
        InstallSettings.PreviousDir[0] = 0;
        if (why.empty() && scenario.inPlace && scenario.roomForBackups) {
            RecoverInterruptedInstall();
            Snapshot now;
            Snap(m->Host("C:\\KOV"), "", now);
            std::string difference = FirstDifference(earlierBefore, now);
            struct stat st;
            if (stat(m->Host("C:\\setup.jnl").c_str(), &st) == 0)
                why = "the journal's pointer stayed after the second run's start";
            // A journal gone with its pointer left is a commit ended at its very last step.
            else if (!Logged("Install committed") && !Logged("The journal is gone") &&
                     !difference.empty())
                why = "the earlier installation is not as it was after the second run's start: " +
                      difference;
            else if (!Logged("Install committed")) fig.rolledBack++;
        }
        char found[257] = "";
        if (why.empty() && !PreviousVersionSearch(found, nullptr))
            why = "the second run did not find the earlier installation";
        else if (why.empty() && strcmp(found, "C:\\KOV") != 0 && strcmp(found, dest()) != 0)
            why = std::string("the second run found ") + found;
        if (why.empty()) {
            strcpy(InstallSettings.PreviousDir, found);
            if (!InstallStep()) why = "the second run failed";
        }
        if (why.empty()) {
            std::string newDb = std::string(dest()) + "\\IDB\\MAIN.IDX";
            std::map<uint32_t, std::string> records = migratetest::LiveRecords(newDb.c_str());
            for (uint32_t gid : kCarriedGids) {
                std::string data;
                for (auto& r : kOldRecords)
                    if (r.gid == gid) data = r.data;
                if (records.count(gid) && records[gid] == data) continue;
                why = "record not carried after the second run: " + std::to_string(gid);
                // Lost when no copy of the old database is left either.
                Tree all;
                Walk(m->Host("C:\\"), "", all);
                bool somewhere = false;
                for (auto& f : all)
                    somewhere = somewhere || f.second == userBefore.at("IDB/MAIN.IDX");
                if (!somewhere) fig.bytesLost += data.size();
            }
        }
        if (why.empty()) fig.recoveries++;
        else why += "\n" + EngineMachine::Log();
        Finish();
        return why;
    }

    // With the earlier files kept, a failed or cancelled in-place install leaves the earlier
    // installation exactly as it was, or says it could not finish and the next run does; a
    // good one leaves no backup and no journal. Either way the journal's pointer is gone.
    std::string RolledBackOrCommitted(bool success) {
        // A journal that could not be started leaves the install to overwrite as it always did.
        if (!scenario.inPlace || !scenario.roomForBackups || Logged("No rollback journal"))
            return "";
        // What could not be finished is finished by the next start of the setup.
        struct stat st;
        if (stat(m->Host("C:\\setup.jnl").c_str(), &st) == 0 ||
            stat(m->Host("C:\\KOV\\SETUPBAK").c_str(), &st) == 0) {
            unsigned error = SetupError, abort = UserAbort;
            if (!RecoverInterruptedInstall()) return "the next run found no journal to finish";
            SetupError = error;
            UserAbort = abort;
        }
        if (!success && !Logged("Earlier installation rolled back"))
            return "the log does not say the install was rolled back";
        if (success && !Logged("Install committed") && !Logged("The journal is gone"))
            return "the install was not committed";
        if (stat(m->Host("C:\\setup.jnl").c_str(), &st) == 0) return "the journal's pointer stayed";
        if (stat(m->Host("C:\\KOV\\SETUPBAK").c_str(), &st) == 0) return "the backup folder stayed";
        if (success) return "";
        Snapshot now;
        Snap(m->Host("C:\\KOV"), "", now);
        std::string difference = FirstDifference(earlierBefore, now);
        return difference.empty() ? "" : "the earlier installation is not as it was: " + difference;
    }
    bool Logged(const std::string& text) const {
        return EngineMachine::Log().find(text) != std::string::npos;
    }

    bool LoggedLine(const std::string& text) const {
        std::string log = Lower(EngineMachine::Log());
        return log.find(Lower(text) + "\r\n") != std::string::npos;
    }
    // The log names a file that stayed where it should not be.
    bool NamedAsStayed(const char* base, const std::string& rel) const {
        std::string win = std::string(base) + "\\" + rel;
        for (char& c : win)
            if (c == '/') c = '\\';
        return LoggedLine("Could not remove " + win) ||
               LoggedLine("System file " + rel.substr(rel.rfind('/') + 1) +
                          " stays in the system folder");
    }

    static std::string Slashes(std::string path) {
        for (char& c : path)
            if (c == '\\') c = '/';
        return path;
    }
    // Where an entry lands, relative to C:.
    std::string Target(const std::string& entry) const {
        std::string rel = Slashes(entry);
        if (Lower(rel).rfind("windows/", 0) == 0) return "WINDOWS/" + rel.substr(8);
        if (Lower(rel).rfind("system/", 0) == 0) return "WINDOWS/SYSTEM/" + rel.substr(7);
        return std::string(dest() + 3) + "/" + rel;
    }

    std::string Check(int result, Figures& fig) {
        std::string why;
        auto fail = [&](const std::string& s) {
            if (why.empty()) why = s;
        };
        bool success = result == 1 && SetupError == 0 && !UserAbort;
        bool migrationFailed = !success && LoggedLine("Migrating into " + std::string(dest()));
        if (result == 1 && (SetupError || UserAbort)) fail("success with an error or a cancel");
        if (result == 0 && !SetupError && !UserAbort) fail("failure without an error or a cancel");
        if (!KnownError(SetupError)) fail("unknown fatal number " + std::to_string(SetupError));
        fail(RolledBackOrCommitted(success));

        Tree user, windows, all;
        Walk(m->Host("C:\\KOV"), "", user);
        Walk(m->Host("C:\\WINDOWS"), "", windows);
        Walk(m->Host("C:\\"), "", all);
        const std::string& oldDb = userBefore.at("IDB/MAIN.IDX");
        std::string oldDbNow = scenario.inPlace ? "IDB/OLD.DB" : "IDB/MAIN.IDX";
        bool oldDbKept = user.count(oldDbNow) && user[oldDbNow] == oldDb;

        // After a success every carried record is in the new database, or the old one that
        // holds it is still there, untouched, and the log says it was kept.
        if (success) {
            std::string newDb = std::string(dest()) + "\\IDB\\MAIN.IDX";
            std::map<uint32_t, std::string> records = migratetest::LiveRecords(newDb.c_str());
            for (uint32_t gid : kCarriedGids) {
                std::string data;
                for (auto& r : kOldRecords)
                    if (r.gid == gid) data = r.data;
                if (records.count(gid) && records[gid] == data) continue;
                bool said = !scenario.inPlace ||
                            LoggedLine("Keeping C:\\KOV\\IDB\\OLD.DB: it could "
                                       "not be opened") ||
                            EngineMachine::Log().find("Keeping C:\\KOV\\IDB\\OLD.DB: ") !=
                                std::string::npos;
                if (oldDbKept && said) continue;
                fig.bytesLost += data.size();
                fail("carried record lost: " + std::to_string(gid));
            }
        }

        // Bytes of user data that are nowhere on the disk any more. The main database of a
        // migration that went through lives on in the records above.
        for (const UserFile& u : kUserFiles) {
            std::string rel = Slashes(u.path);
            if (success && rel == "IDB/MAIN.IDX") continue;
            const std::string& bytes = userBefore.at(rel);
            bool somewhere = false;
            for (auto& f : all) somewhere = somewhere || f.second == bytes;
            if (!somewhere) {
                fig.bytesLost += bytes.size();
                fail(std::string("user data lost: ") + u.path);
            }
        }

        Tree destTree;
        Walk(m->Host(dest()), "", destTree);
        if (!scenario.inPlace) {
            // The earlier installation elsewhere is only read, but for the downloads a
            // migration that goes through moves into the new folder.
            Tree kept = user, keptBefore = userBefore;
            std::string moved = all["Kov30I/download/f.txt"];
            if (success && !kept.count("download/f.txt") && moved == keptBefore["download/f.txt"])
                keptBefore.erase("download/f.txt");
            if (kept != keptBefore) fail("the earlier installation changed");
        } else {
            // In place: every user file where this outcome leaves it. A failed install or
            // migration gives back what the preparation moved aside.
            for (const UserFile& u : kUserFiles) {
                std::string from = Slashes(u.path);
                if (success && from == "IDB/MAIN.IDX") continue;
                std::string to = Slashes(success ? u.inPlaceTo : u.path);
                auto it = user.find(to);
                if (it != user.end() && it->second == userBefore.at(from)) continue;
                // Not where it belongs: the log must say where it stayed.
                if (!LoggedLine("Failed to rename C:\\KOV\\" + std::string(u.inPlaceTo) +
                                " back to C:\\KOV\\" + u.path))
                    fail("user file not where it belongs: " + to);
            }
        }

        if (success) {
            for (auto& e : entries) {
                std::string rel = Target(e.first);
                // Preserved files are the user's: kept in place, copied over from elsewhere. The
                // new main database is the migration's to change.
                if (Slashes(e.first) == "goto.ini" || Slashes(e.first) == "IDB/MAIN.IDX") continue;
                auto it = all.find(rel);
                if (it == all.end() || it->second != e.second)
                    fail("installed file missing or wrong: " + rel);
            }
        } else if (!migrationFailed) {
            // The file installation failed: nothing of the package anywhere.
            for (auto& f : destTree) {
                std::string abs = std::string(dest() + 3) + "/" + f.first;
                if (scenario.inPlace) {
                    auto before = userBefore.find(f.first);
                    if (before != userBefore.end() && before->second == f.second) continue;
                    bool renamedUserFile = false;
                    for (const UserFile& u : kUserFiles)
                        renamedUserFile =
                            renamedUserFile || Lower(Slashes(u.inPlaceTo)) == Lower(f.first);
                    if (renamedUserFile) continue;
                }
                if (!NamedAsStayed(dest(), f.first))
                    fail("left in the destination unnamed: " + f.first);
            }
            for (auto& f : windows) {
                auto before = windowsBefore.find(f.first);
                if (before != windowsBefore.end() && before->second == f.second) continue;
                if (!NamedAsStayed("C:\\WINDOWS", f.first))
                    fail("left in the Windows folder unnamed: " + f.first);
            }
        } else {
            // The migration failed: the driver's clean-up takes the package's files out of
            // the destination (what went to the Windows folder is not its business).
            for (auto& e : entries) {
                std::string rel = Target(e.first);
                if (rel.rfind("WINDOWS/", 0) == 0) continue;
                if (scenario.inPlace && Slashes(e.first) == "goto.ini") continue;
                auto it = all.find(rel);
                // The earlier installation's own file, given back by the restore.
                auto before = userBefore.find(Slashes(e.first));
                if (scenario.inPlace && it != all.end() && before != userBefore.end() &&
                    before->second == it->second)
                    continue;
                if (it != all.end() && !NamedAsStayed(dest(), rel.substr(rel.find('/') + 1)))
                    fail("package file left after the migration failed: " + rel);
            }
        }
        fail(NextRunFindsTheUsersRecords(success, oldDbKept));
        if (!why.empty()) {
            why += " (result " + std::to_string(result) + ", error " + std::to_string(SetupError) +
                   ", cancel " + std::to_string(UserAbort) + ")";
        }
        return why;
    }

    // What the next run and the client see: the search finds the installation the user has
    // now (the new one after a success, the earlier one otherwise), and the database the
    // client opens there, IDB\MAIN.IDX, holds every record: all of the user's after a
    // failure, the carried ones after a success. Only a rename back that the log says failed
    // leaves the database as OLD.DB, and then the next run must take it from there. A success
    // that could not carry a record (logged) keeps the old database whole: the next run may
    // then find the earlier installation elsewhere again, and an in-place one keeps OLD.DB.
    std::string NextRunFindsTheUsersRecords(bool success, bool oldDbKept) {
        unsigned error = SetupError, abort = UserAbort;
        ResetSearchState();
        char found[257] = "";
        PreviousVersionSearch(found, nullptr);
        SetupError = error;
        UserAbort = abort;
        const char* expected = success ? dest() : "C:\\KOV";
        bool notCarried =
            success && oldDbKept &&
            (!scenario.inPlace ||
             EngineMachine::Log().find("Keeping C:\\KOV\\IDB\\OLD.DB: ") != std::string::npos);
        if (notCarried && !scenario.inPlace && strcmp(found, "C:\\KOV") == 0) expected = found;
        // In place, a new database that carried nothing has no user list yet: the search does
        // not take it for an installation in use, and the records wait in the kept OLD.DB.
        if (notCarried && scenario.inPlace && !found[0]) return "";
        if (strcmp(found, expected) != 0)
            return std::string("the next run finds \"") + found + "\", not " + expected;
        std::string db = std::string(expected) + "\\IDB\\MAIN.IDX";
        std::map<uint32_t, std::string> records = migratetest::LiveRecords(db.c_str());
        // A rollback that failed to rename it back is finished by the next start.
        bool renameBackFailed =
            EngineMachine::Log().find("Failed to rename C:\\KOV\\IDB\\OLD.DB back") !=
                std::string::npos &&
            !Logged("Earlier installation rolled back");
        if (!success && renameBackFailed) {
            char idb[260] = "C:\\KOV\\IDB", chosen[260];
            if (FindUserMainDb(chosen, idb, nullptr) != USER_DB_OLD)
                return "the database was left as OLD.DB and the next run does not take it";
            records = migratetest::LiveRecords(chosen);
        }
        for (auto& r : kOldRecords) {
            bool carried = std::count(std::begin(kCarriedGids), std::end(kCarriedGids), r.gid);
            if (success && !carried) continue;
            auto it = records.find(r.gid);
            if (it != records.end() && it->second == r.data) continue;
            if (notCarried) continue;
            return "record " + std::to_string(r.gid) + " not in the database the client opens";
        }
        return "";
    }
};

const Scenario kScenarios[] = {{"into a new folder", false, true},
                               {"in place", true, true},
                               {"in place without room to keep the earlier files", true, false}};

void RunCampaign(bool full) {
    Figures total;
    for (const Scenario& s : kScenarios) {
        Campaign c(s);
        std::vector<unsigned long> counts = c.CountCalls();
        for (size_t k = 0; k < counts.size(); k++) {
            // The sample keeps about six points of each kind, the first and the last.
            unsigned long step = full || counts[k] <= 6 ? 1 : counts[k] / 6;
            for (int mode = ONCE_RETRY; mode <= FROM_THEN_ON; mode++) {
                for (unsigned long n = 1; n <= counts[k]; n += step) {
                    unsigned long nth = n + step > counts[k] ? counts[k] : n;
                    std::string why = c.RunOne(kPointKinds[k].kind, nth, (Mode)mode, total);
                    EXPECT_EQ(why, "") << s.what << ": " << kPointKinds[k].name << " #" << nth
                                       << " of " << counts[k] << ", " << kModeNames[mode];
                    if (nth == counts[k]) break;
                }
            }
        }
    }
    printf("fault points injected: %lu, runs passed: %lu, bytes of user data lost: %lu\n",
           total.points, total.passed, total.bytesLost);
}

// The process ends at every open for writing, write, rename and delete of the step.
void RunKillCampaign(bool full) {
    Figures total;
    const int kinds[] = {SYS_FAULT_OPEN_WRITE, SYS_FAULT_WRITE, SYS_FAULT_RENAME, SYS_FAULT_DELETE};
    for (const Scenario& s : kScenarios) {
        Campaign c(s);
        std::vector<unsigned long> counts = c.CountCalls();
        for (size_t k = 0; k < counts.size(); k++) {
            int kind = kPointKinds[k].kind;
            if (std::find(std::begin(kinds), std::end(kinds), kind) == std::end(kinds)) continue;
            unsigned long count = counts[k];
            unsigned long step = full || count <= 6 ? 1 : count / 6;
            for (unsigned long n = 1; n <= count; n += step) {
                std::string why = c.KillOne(kind, n, total);
                EXPECT_EQ(why, "") << s.what << ": ended at " << kPointKinds[k].name << " #" << n
                                   << " of " << count;
            }
        }
    }
    printf("kill points tried: %lu, recoveries that kept every record: %lu, bytes of user data "
           "lost: %lu, earlier installations found exactly as they were: %lu\n",
           total.kills, total.recoveries, total.bytesLost, total.rolledBack);
}

// Hostile earlier installations: the installation the step migrates from is damaged, lies
// about its sizes, loops, is deep, is huge or has names outside ASCII. Each run must end in
// success or a known fatal number (never a crash: the host build runs under ASan), lose no
// byte of the user's files, and after a success hold every record the old database could be
// read for, or keep the old database and say so.
const char kOldDb[] = "C:\\KOV\\IDB\\MAIN.IDX";

std::string Patched(std::string db, uint32_t gid, uint32_t length) {
    size_t at = db.find("R2D2" + migratetest::Le32(gid));
    if (at != std::string::npos) db.replace(at + 8, 4, migratetest::Le32(length));
    return db;
}

std::string OldDbWith(const std::vector<migratetest::Rec>& records) {
    return migratetest::DbFile(DB_NEW_FORM, DB_ID_MAIN, records);
}

std::vector<migratetest::Rec> OldRecordsWith(const migratetest::Rec& names) {
    std::vector<migratetest::Rec> r = kOldRecords;
    r[1] = names;
    return r;
}

// A folder chain depth levels deep below folder.
void DeepTree(const EngineMachine& m, std::string folder, int depth) {
    for (int i = 0; i < depth; i++) folder += "\\d";
    Put(m, (folder + "\\leaf.txt").c_str(), "deep");
}

const struct HostileCase {
    const char* what;
    bool search;  // the step's installation is the one the search finds, not the one given
    void (*spoil)(Campaign&);
} kHostileCases[] = {
    {"main database cut inside a record", false,
     [](Campaign& c) {
         std::string db = c.m->Read(kOldDb);
         Put(*c.m, kOldDb, db.substr(0, db.size() - 1500));
     }},
    {"main database cut inside its header", false,
     [](Campaign& c) { Put(*c.m, kOldDb, c.m->Read(kOldDb).substr(0, 11)); }},
    {"main database empty", false, [](Campaign& c) { Put(*c.m, kOldDb, ""); }},
    {"main database of random bytes", false,
     [](Campaign& c) {
         std::string junk;
         for (unsigned i = 0, seed = 7; i < 4096; i++)
             junk += (char)((seed = seed * 69069 + 1) >> 24);
         Put(*c.m, kOldDb, junk);
     }},
    {"main database with a damaged record header", false,
     [](Campaign& c) {
         std::string db = c.m->Read(kOldDb);
         size_t at = db.find("R2D2" + migratetest::Le32(0x14000097));
         db.replace(at, 4, "XXXX");
         Put(*c.m, kOldDb, db);
     }},
    {"record longer than the file", false,
     [](Campaign& c) { Put(*c.m, kOldDb, Patched(c.m->Read(kOldDb), 0x14000098, 0x7FFFFFF0)); }},
    {"record length of 4 GB less one", false,
     [](Campaign& c) { Put(*c.m, kOldDb, Patched(c.m->Read(kOldDb), 0x14000097, 0xFFFFFFFF)); }},
    {"names record longer than the file", false,
     [](Campaign& c) {
         Put(*c.m, kOldDb, Patched(c.m->Read(kOldDb), GID_USER_NAMES, 0x00100000));
     }},
    {"names record counting 16 names, holding one", false,
     [](Campaign& c) {
         migratetest::Rec names = migratetest::Names({"Jean"});
         names.data[0] = 16;
         Put(*c.m, kOldDb, OldDbWith(OldRecordsWith(names)));
     }},
    {"names record counting 255 names, holding none", false,
     [](Campaign& c) {
         Put(*c.m, kOldDb, OldDbWith(OldRecordsWith({GID_USER_NAMES, std::string(1, '\xFF')})));
     }},
    {"names without their terminating zero", false,
     [](Campaign& c) {
         migratetest::Rec names = migratetest::Names({"Jean"});
         for (size_t i = 1; i < names.data.size(); i++) names.data[i] = 'N';
         Put(*c.m, kOldDb, OldDbWith(OldRecordsWith(names)));
     }},
    {"names and files with Windows-1252 letters", true,
     [](Campaign& c) {
         Put(*c.m, kOldDb,
             OldDbWith(OldRecordsWith(migratetest::Names({"J\xE9r\xF4me", "\xC9lo\xEF"
                                                                          "se"}))));
         Put(*c.m,
             "C:\\KOV\\organize\\R\xE9"
             "union \xE0 No\xEB"
             "l.fld",
             "mail of the meeting");
         Put(*c.m, "C:\\KOV\\download\\\xC9t\xE9 \x80\x99.txt", "a download with a high name");
         Put(*c.m,
             "C:\\KOV\\IDB\\\xC7"
             "a.MAL",
             "more mail");
     }},
    {"leftover damaged OLD.DB beside the main database", false,
     [](Campaign& c) { Put(*c.m, "C:\\KOV\\IDB\\OLD.DB", c.m->Read(kOldDb).substr(0, 40)); }},
    {"main database that is a folder", false,
     [](Campaign& c) {
         (void)system(("rm -f '" + c.m->Host(kOldDb) + "'").c_str());
         Put(*c.m, "C:\\KOV\\IDB\\MAIN.IDX\\inside.txt", "a file in the folder");
     }},
    {"main database that is a folder, found by the search", true,
     [](Campaign& c) {
         (void)system(("rm -f '" + c.m->Host(kOldDb) + "'").c_str());
         Put(*c.m, "C:\\KOV\\IDB\\MAIN.IDX\\inside.txt", "a file in the folder");
     }},
    {"folder loops on the search path", true,
     [](Campaign& c) {
         c.m->Dir("C:\\A\\B");
         (void)system(("ln -s .. '" + c.m->Host("C:\\A\\B") + "/up'").c_str());
         (void)system(
             ("ln -s '" + c.m->Host("C:\\A") + "' '" + c.m->Host("C:\\KOV") + "/back'").c_str());
         (void)system(("ln -s . '" + c.m->Host("C:\\KOV\\organize") + "/self'").c_str());
     }},
    {"tree 300 folders deep beside the installation", true,
     [](Campaign& c) { DeepTree(*c.m, "C:\\AAA", 300); }},
    {"tree 300 folders deep inside the installation", true,
     [](Campaign& c) { DeepTree(*c.m, "C:\\KOV\\organize", 300); }},
    {"read-only preserved files and main database", false,
     [](Campaign& c) {
         for (const char* f : {"goto.ini", "download/f.txt", "organize/a.fld", "mpm/modem.ini",
                               "IDB/USER.MAL", "IDB/MAIN.IDX"})
             chmod((c.m->Host("C:\\KOV") + "/" + f).c_str(), 0444);
     }},
    {"30,000 art records and 30,000 others", false,
     [](Campaign& c) {
         std::vector<migratetest::Rec> records = kOldRecords;
         for (uint32_t i = 0; i < 30000; i++) {
             records.push_back({0x01100000 + i, "art " + std::to_string(i), migratetest::TYPE_P});
             records.push_back({0x15000000 + i, std::string(i % 97, 'x')});
         }
         Put(*c.m, kOldDb, OldDbWith(records));
     }},
    {"the same record 5,000 times", false,
     [](Campaign& c) {
         std::vector<migratetest::Rec> records = kOldRecords;
         for (uint32_t i = 0; i < 5000; i++)
             records.push_back({0x14000098, "copy " + std::to_string(i)});
         Put(*c.m, kOldDb, OldDbWith(records));
     }},
};

std::string RunHostile(Campaign& c, const HostileCase& h) {
    c.Prepare();
    h.spoil(c);
    c.userBefore.clear();
    Walk(c.m->Host("C:\\KOV"), "", c.userBefore);
    // What the old database holds as its own reader sees it: the records a success must carry.
    std::map<uint32_t, std::string> readable = migratetest::LiveRecords(kOldDb);
    // A leftover OLD.DB of an unfinished run that holds no record is not the user's data.
    bool leftoverEmpty = migratetest::LiveRecords("C:\\KOV\\IDB\\OLD.DB").empty();
    std::string why;
    if (h.search) {
        InstallSettings.PreviousDir[0] = 0;
        char found[257] = "";
        if (PreviousVersionSearch(found, nullptr)) strcpy(InstallSettings.PreviousDir, found);
        // Nothing found: the setup offers a folder of its own, never the unrecognised one.
        else strcpy(InstallSettings.DestDir, "C:\\Kov30I");
        LogPrintf("The search found \"%s\"", found);
    }
    int result = c.InstallStep();
    bool success = result == 1 && SetupError == 0 && !UserAbort;
    if (success != (result == 1)) why = "success with an error or a cancel";
    if (result == 0 && !SetupError && !UserAbort) why = "failure without an error or a cancel";
    if (!KnownError(SetupError)) why = "unknown fatal number " + std::to_string(SetupError);

    // A deep or looping tree never fills the transfer's list (which took minutes to do).
    if (migratetest::LogHas("Too many preserved entries")) why = "the transfer's list filled up";
    Tree all;
    Walk(c.m->Host("C:\\"), "", all);
    std::string newDb = std::string(InstallSettings.DestDir) + "\\IDB\\MAIN.IDX";
    std::map<uint32_t, std::string> records = migratetest::LiveRecords(newDb.c_str());
    const std::string& oldDb =
        c.userBefore.count("IDB/MAIN.IDX") ? c.userBefore["IDB/MAIN.IDX"] : "";
    bool oldDbKept = false;
    for (auto& f : all) oldDbKept = oldDbKept || (!oldDb.empty() && f.second == oldDb);
    bool migrated = InstallSettings.PreviousDir[0] != 0;
    if (success && migrated) {
        unsigned missing = 0;
        for (auto& r : readable) {
            bool carried =
                r.first >> 24 == 1 || std::count(std::begin(kCarried), std::end(kCarried), r.first);
            if (!carried || r.second.empty()) continue;
            if (records.count(r.first) && records[r.first] == r.second) continue;
            missing++;
        }
        bool said = EngineMachine::Log().find("Keeping C:\\KOV\\IDB\\") != std::string::npos;
        if (missing && !(oldDbKept && (said || !c.scenario.inPlace)))
            why = std::to_string(missing) + " readable records neither carried nor kept";
    }
    // Every file of the user's (the old client program aside, which the package replaces)
    // is somewhere on the disk, byte for byte; the main database may live on in the records.
    for (auto& u : c.userBefore) {
        // The client's index of its database goes when a database is written there.
        if (u.first == "kov.exe" || u.first == "WKOV.EXE" || u.first == "TOOL/chat.kov" ||
            u.first == "IDB/MAIN.IND")
            continue;
        if (success && migrated && u.first == "IDB/MAIN.IDX" && why.empty()) continue;
        if (u.first == "IDB/OLD.DB" && leftoverEmpty) continue;
        bool somewhere = false;
        for (auto& f : all) somewhere = somewhere || f.second == u.second;
        if (!somewhere) why = "user file lost: " + u.first;
    }
    if (!why.empty()) {
        why += " (result " + std::to_string(result) + ", error " + std::to_string(SetupError) +
               ", cancel " + std::to_string(UserAbort) + ")\n" + EngineMachine::Log();
    }
    c.Finish();
    return why;
}

}  // namespace

TEST(Faults, EveryCallOfTheInstallMayFail) {
    const char* mode = getenv("KOV_FAULTS");
    RunCampaign(mode && strcmp(mode, "full") == 0);
}

TEST(Faults, EndedAtAnyCallASecondRunRecovers) {
    const char* mode = getenv("KOV_FAULTS");
    RunKillCampaign(mode && strcmp(mode, "full") == 0);
}

TEST(Faults, HostileEarlierInstallations) {
    for (const Scenario& s : kScenarios) {
        Campaign c(s);
        for (const HostileCase& h : kHostileCases) {
            EXPECT_EQ(RunHostile(c, h), "") << s.what << ": " << h.what;
        }
    }
}
