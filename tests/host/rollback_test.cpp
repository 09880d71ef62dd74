// The rollback journal of an in-place update: what it reads back from a cut or damaged file,
// what a damaged journal may touch, the space fallback, and what a good install leaves.
// The whole install step under faults and kills is the fault campaign's (faults_test.cpp).
#include <gtest/gtest.h>

#include "record/installrec.h"
#include "record/journal.h"
#include "base/globals.h"
#include "base/log.h"
#include "base/seat.h"
#include "install/rollback.h"
#include "res/strings.h"
#include "tests/host/install_fixture.h"

namespace {

struct InPlaceMachine : EngineMachine {
    InPlaceMachine() {
        strcpy(InstallSettings.PreviousDir, "C:\\KOV");
        strcpy(InstallSettings.DestDir, "C:\\KOV");
        Put("C:\\KOV\\kov.exe", "MZ old client");
        Put("C:\\KOV\\help\\kov.hlp", "old help");
    }
    bool PointerExists() const { return Exists("C:\\setup.jnl"); }
};

// A journal cut inside its last line (a write ended by a kill) and one with a line that is
// no line of the format are read up to their last whole line; the cut line is dropped when
// the rollback adds its marks, and the earlier files come back.
TEST(Rollback, ACutOrDamagedJournalIsReadUpToItsLastWholeLine) {
    const struct {
        const char* what;
        const char* tail;  // appended to the journal the install wrote
        unsigned damaged;
        int cut;
    } cases[] = {
        {"whole", "", 0, 0},
        {"cut inside a line", "NEW\tsub\\hal", 0, 1},
        {"unknown kind and a bad escape", "BOGUS\tx\r\nNEW\tbad%G1\r\nMOVED\tonly one field\r\n", 3,
         0},
        {"a second destination line", "DEST\tC:\\WINDOWS\r\n", 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        InPlaceMachine m;
        ASSERT_TRUE(JournalBegin("C:\\KOV"));
        EXPECT_TRUE(m.PointerExists());
        ASSERT_TRUE(JournalSetAside("C:\\KOV\\kov.exe"));
        m.Put("C:\\KOV\\kov.exe", "MZ new client");
        ASSERT_TRUE(JournalSetAside("C:\\KOV\\new.dll"));
        m.Put("C:\\KOV\\new.dll", "new");
        ASSERT_TRUE(JournalDiscard("C:\\KOV\\help\\kov.hlp"));
        ResetJournalState();  // the run ends here, as a killed one would
        std::string journal = m.Read("C:\\KOV\\SETUPBAK\\JOURNAL.TXT") + c.tail;
        m.Put("C:\\KOV\\SETUPBAK\\JOURNAL.TXT", journal);

        Journal j;
        ASSERT_TRUE(ReadJournal("C:\\KOV\\SETUPBAK\\JOURNAL.TXT", &j));
        EXPECT_STREQ("C:\\KOV", j.dest);
        EXPECT_EQ(4u, j.count);  // DEST, MOVED, NEW, MOVED
        EXPECT_EQ(c.damaged, j.damaged);
        EXPECT_EQ(c.cut, j.cut);
        FreeJournal(&j);

        EXPECT_TRUE(RecoverInterruptedInstall());
        EXPECT_EQ("MZ old client", m.Read("C:\\KOV\\kov.exe")) << m.Log();
        EXPECT_EQ("old help", m.Read("C:\\KOV\\help\\kov.hlp"));
        EXPECT_FALSE(m.Exists("C:\\KOV\\new.dll"));
        EXPECT_FALSE(m.Exists("C:\\KOV\\SETUPBAK"));
        EXPECT_FALSE(m.PointerExists());
        EXPECT_TRUE(m.Logged("Earlier installation rolled back: 3 changes undone")) << m.Log();
    }
}

// A journal anyone could have edited names nothing outside the folder it lies in: a path
// that climbs out, an absolute path, a backup outside the backup folder, a journal that
// claims another folder, or a pointer to a file that is no journal.
TEST(Rollback, ADamagedJournalTouchesNothingOutsideTheDestination) {
    const struct {
        const char* what;
        const char* journal;  // after the header
        const char* path;     // the file the journal lies at
    } cases[] = {
        {"new file climbing out", "DEST\tC:\\KOV\r\nNEW\t..\\WINDOWS\\win.ini\r\n",
         "C:\\KOV\\SETUPBAK\\JOURNAL.TXT"},
        {"new file with a drive", "DEST\tC:\\KOV\r\nNEW\tC:\\WINDOWS\\win.ini\r\n",
         "C:\\KOV\\SETUPBAK\\JOURNAL.TXT"},
        {"backup outside its folder",
         "DEST\tC:\\KOV\r\nMOVED\tkov.exe\t..\\..\\WINDOWS\\win.ini\r\n",
         "C:\\KOV\\SETUPBAK\\JOURNAL.TXT"},
        {"rename onto a file outside", "DEST\tC:\\KOV\r\nOLDDB\t..\\WINDOWS\\win.ini\tkov.exe\r\n",
         "C:\\KOV\\SETUPBAK\\JOURNAL.TXT"},
        {"journal claiming another folder", "DEST\tC:\\WINDOWS\r\nNEW\twin.ini\r\n",
         "C:\\KOV\\SETUPBAK\\JOURNAL.TXT"},
        {"journal outside any backup folder", "DEST\tC:\\WINDOWS\r\nNEW\twin.ini\r\n",
         "C:\\WINDOWS\\JOURNAL.TXT"},
        {"pointer to something else", nullptr, "C:\\WINDOWS\\win.ini"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        InPlaceMachine m;
        m.Put("C:\\WINDOWS\\win.ini", "[windows]\r\n");
        if (c.journal) m.Put(c.path, std::string("KOV setup journal 1\r\n") + c.journal);
        m.Put("C:\\setup.jnl", std::string(c.path) + "\r\n");
        RecoverInterruptedInstall();
        EXPECT_EQ("[windows]\r\n", m.Read("C:\\WINDOWS\\win.ini")) << m.Log();
        EXPECT_EQ("MZ old client", m.Read("C:\\KOV\\kov.exe")) << m.Log();
        EXPECT_FALSE(m.PointerExists()) << m.Log();
    }
}

// An install that fits only when the files it overwrites count as freed keeps no backups:
// it says so before the first file, and the cancel question stays the one that warns the
// earlier installation will not be usable (no journal open).
TEST(Rollback, AnInstallThatFitsOnlyWithTheSavingsKeepsNoBackups) {
    for (bool room : {true, false}) {
        SCOPED_TRACE(room ? "room for both" : "room only with the savings");
        InPlaceMachine m;
        EntryTable table{{"dunzip32.dll", 10}, {"kov.exe", 3000000}};
        m.Put("C:\\KOV\\kov.exe", std::string(3000000, 'o'));
        // 2 MB free: the 3 MB client fits in place of the old one, not beside it.
        SysSetDiskGeometry('C', 8, 512, room ? 4000 : 500, 1000000);
        uint32_t needed = 0;
        EXPECT_EQ(1, CheckDiskSpace(2, "C:\\KOV", "C:\\KOV", &needed)) << m.Log();
        ASSERT_EQ(1, PrepareDestination());
        EXPECT_EQ(room, JournalActive() != 0);
        EXPECT_EQ(!room, m.Logged("No room to keep the earlier files until the end: they are "
                                  "overwritten"))
            << m.Log();
        EXPECT_EQ(room, m.Exists("C:\\KOV\\SETUPBAK\\JOURNAL.TXT"));
        ResetJournalState();
    }
}

// After a good install nothing of the journal is left, and the uninstaller's record has the
// same lines as one written without a journal.
TEST(Rollback, AGoodInstallLeavesNoBackupAndTheSameRecord) {
    std::string records[2];
    for (int journal = 0; journal < 2; journal++) {
        InPlaceMachine m;
        m.Put("C:\\KOV\\" INSTALL_RECORD_NAME, "the earlier installation's record");
        if (journal) ASSERT_TRUE(JournalBegin("C:\\KOV"));
        ASSERT_TRUE(JournalSetAside("C:\\KOV\\kov.exe"));
        m.Put("C:\\KOV\\kov.exe", "MZ new client");
        RecordFile("C:\\KOV\\kov.exe");
        RecordProfileValue("WIN.INI", "WKOV", "Installed", nullptr);
        ASSERT_TRUE(FinishInstallRecord());
        EXPECT_EQ(1, CommitInstall());
        EXPECT_FALSE(m.Exists("C:\\KOV\\SETUPBAK"));
        EXPECT_FALSE(m.PointerExists());
        EXPECT_EQ("MZ new client", m.Read("C:\\KOV\\kov.exe"));
        records[journal] = m.Read("C:\\KOV\\" INSTALL_RECORD_NAME);
        if (journal) EXPECT_TRUE(m.Logged("Install committed: 2 earlier files deleted")) << m.Log();
    }
    EXPECT_EQ(records[0], records[1]);
}

// The same journal undone twice (a rollback ended after it put a file back but before it
// could mark the line) never deletes the earlier file it put back: a tool module deleted
// before the loop and written again by it.
TEST(Rollback, ARollbackRunTwiceUndoesNothingTwice) {
    InPlaceMachine m;
    m.Put("C:\\KOV\\TOOL\\chat.kov", "old tool");
    ASSERT_TRUE(JournalBegin("C:\\KOV"));
    ASSERT_TRUE(JournalDiscard("C:\\KOV\\TOOL\\chat.kov"));
    ASSERT_TRUE(JournalSetAside("C:\\KOV\\TOOL\\chat.kov"));
    m.Put("C:\\KOV\\TOOL\\chat.kov", "new tool");
    ResetJournalState();
    std::string journal = m.Read("C:\\KOV\\SETUPBAK\\JOURNAL.TXT");
    ASSERT_TRUE(RecoverInterruptedInstall());
    EXPECT_EQ("old tool", m.Read("C:\\KOV\\TOOL\\chat.kov"));
    // Again, from the journal as it was before any mark, with its pointer.
    m.Put("C:\\KOV\\SETUPBAK\\JOURNAL.TXT", journal);
    m.Put("C:\\setup.jnl", "C:\\KOV\\SETUPBAK\\JOURNAL.TXT\r\n");
    ASSERT_TRUE(RecoverInterruptedInstall());
    EXPECT_EQ("old tool", m.Read("C:\\KOV\\TOOL\\chat.kov")) << m.Log();
    EXPECT_FALSE(m.Exists("C:\\KOV\\SETUPBAK"));
}

// The run's own rollback, after a failure and after a cancel: the earlier files come back,
// only a failure shows the notice that says so (a cancel has had its own question), and the
// log written afterwards leaves the earlier installation's setup.log as it was.
std::vector<unsigned> asked;
int RecordAsk(int, unsigned id, const char*) {
    asked.push_back(id);
    return SYS_ID_OK;
}
TEST(Rollback, TheRunsOwnRollbackTellsAFailureAndKeepsTheLogAway) {
    for (uint16_t error : {uint16_t(21), uint16_t(0)}) {
        SCOPED_TRACE(error ? "failure" : "cancel");
        InPlaceMachine m;
        m.Put("C:\\KOV\\setup.log", "earlier log");
        SeatT saved = Seat;
        Seat.ask = RecordAsk;
        asked.clear();
        ASSERT_TRUE(JournalBegin("C:\\KOV"));
        ASSERT_TRUE(JournalSetAside("C:\\KOV\\kov.exe"));
        m.Put("C:\\KOV\\kov.exe", "MZ new client");
        SetupError = error;
        UserAbort = !error;
        EXPECT_TRUE(RollBackInstall()) << m.Log();
        Seat = saved;
        EXPECT_EQ("MZ old client", m.Read("C:\\KOV\\kov.exe"));
        EXPECT_EQ(error ? std::vector<unsigned>{IDS_EARLIER_RESTORED} : std::vector<unsigned>{},
                  asked);
        LogPrintf("after the rollback");
        LogFlush();
        EXPECT_EQ("earlier log", m.Read("C:\\KOV\\setup.log"));
        EXPECT_NE(std::string::npos, m.Read("C:\\setup.log").find("after the rollback"));
        SetupError = 0;
        UserAbort = 0;
    }
}

}  // namespace
