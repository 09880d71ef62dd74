// The folder transfer: new names, the growing list walked breadth-first, rename mode with its
// undo, and the copy queue.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "tests/host/install_fixture.h"
#include "migrate/internal.h"
#include "migrate/state.h"

namespace {

TEST(Transfer, NewNames) {
    struct Case {
        const char *file, *action, *name;
    } cases[] = {
        {"MAIN.IDX", "*.old", "MAIN.old"},    {"README", "*.old", "README"},  // no dot: unchanged
        {"a.b.c", "*.old", "a.old"},  // from the first dot on
        {"MAIN.IDX", "", "MAIN.IDX"},         {"MAIN.IDX", "move", "MAIN.IDX"},
        {"MAIN.IDX", "Move", "Move"},  // "move" is exact
        {"goto.ini", "goto.sav", "goto.sav"}, {"MAIN.IDX", "*", "MAIN."},
    };
    for (const Case& c : cases) {
        char out[260];
        EXPECT_STREQ(c.name, TransferTargetName(out, c.file, c.action))
            << c.file << " " << c.action;
    }
}

// download\*.* with "move", and a tree of subfolders in the old download folder.
TEST(Transfer, FoldersFoundBreadthFirst) {
    for (uint32_t moveAgreed : {1u, 0u}) {
        EngineMachine m;
        strcpy(InstallSettings.PreviousDir, "C:\\OLD");
        strcpy(InstallSettings.DestDir, "C:\\NEW");
        MigrationState.MoveOldDownloads = moveAgreed;
        SetList(InstallSettings.PreservedFiles, {{"download\\*.*", "move"}, {"goto.ini", ""}});
        m.Put("C:\\OLD\\download\\top.txt", "t");
        m.Put("C:\\OLD\\download\\mail\\m1.txt", "1");
        m.Put("C:\\OLD\\download\\mail\\deep\\d.txt", "d");
        m.Put("C:\\OLD\\download\\news\\n.txt", "n");
        m.Put("C:\\OLD\\goto.ini", "g");

        EXPECT_EQ(5, TransferFolders(0));
        const TextList& list = InstallSettings.PreservedFiles;
        std::set<std::string> level1 = {list.a[2], list.a[3]};
        EXPECT_EQ((std::set<std::string>{"download\\mail\\*.*", "download\\news\\*.*"}), level1);
        EXPECT_STREQ("download\\mail\\deep\\*.*", list.a[4]);
        for (int i = 2; i < 5; i++) EXPECT_STREQ("move", list.b[i]);
        EXPECT_TRUE(m.Exists("C:\\NEW\\download\\mail\\deep"));
        EXPECT_FALSE(m.Exists("C:\\NEW\\download\\mail\\deep\\*.*"));

        std::set<std::string> queued;
        for (CopyQueueItem* q = MigrationState.CopyQueue; q; q = q->next)
            queued.insert(std::string(q->source) + (q->move ? " => " : " -> ") + q->destination);
        std::set<std::string> expected = {"C:\\OLD\\goto.ini -> C:\\NEW\\goto.ini"};
        if (moveAgreed)
            for (const char* f : {"top.txt", "mail\\m1.txt", "mail\\deep\\d.txt", "news\\n.txt"})
                expected.insert(std::string("C:\\OLD\\download\\") + f + " => C:\\NEW\\download\\" +
                                f);
        EXPECT_EQ(expected, queued) << moveAgreed;
        EXPECT_EQ(expected.size(), MigrationState.CopyQueueCount);
        // Newest first: the last entry walked is the deepest folder.
        EXPECT_STREQ(moveAgreed ? "C:\\OLD\\download\\mail\\deep\\d.txt" : "C:\\OLD\\goto.ini",
                     MigrationState.CopyQueue->source);
    }
}

TEST(Transfer, RenameModeAndItsUndo) {
    EngineMachine m;
    strcpy(InstallSettings.PreviousDir, "C:\\KOV");
    strcpy(InstallSettings.DestDir, "C:\\KOV");
    SetList(InstallSettings.PreservedFiles, {{"idb\\*.*", "*.old"},
                                             {"organize\\*.*", ""},
                                             {"goto.ini", "goto.sav"},
                                             {"x.ini", "..\\..\\evil.ini"},
                                             {"..\\*.*", "*.old"}});
    m.Put("C:\\KOV\\idb\\MAIN.IDX", "main");
    m.Put("C:\\KOV\\idb\\KEEP.old", "an older copy that the action leaves as it is");
    m.Put("C:\\KOV\\idb\\sub\\S.MAL", "s");
    m.Put("C:\\KOV\\organize\\sub\\F.FLD", "f");
    m.Put("C:\\KOV\\goto.ini", "g");
    m.Put("C:\\KOV\\goto.sav", "old save");
    m.Put("C:\\KOV\\x.ini", "x");
    m.Put("C:\\outside.txt", "o");

    EXPECT_EQ(6, TransferFolders(1));  // idb\sub found; organize (empty action) skipped
    EXPECT_EQ("main", m.Read("C:\\KOV\\idb\\MAIN.old"));
    EXPECT_EQ("s", m.Read("C:\\KOV\\idb\\sub\\S.old"));
    EXPECT_EQ("an older copy that the action leaves as it is", m.Read("C:\\KOV\\idb\\KEEP.old"));
    EXPECT_EQ("g", m.Read("C:\\KOV\\goto.sav"));
    EXPECT_EQ("x", m.Read("C:\\KOV\\x.ini"));  // a new name that is a path is refused
    EXPECT_FALSE(m.Exists("C:\\evil.ini"));
    EXPECT_TRUE(m.Exists("C:\\outside.txt"));
    EXPECT_TRUE(m.Logged("Rename: C:\\KOV\\idb\\MAIN.IDX -> C:\\KOV\\idb\\MAIN.old"));
    EXPECT_EQ(nullptr, MigrationState.CopyQueue);
    EXPECT_EQ(std::string::npos, m.Log().find("organize"));

    // The package's own files come and go; then the renames are undone, newest first.
    m.Put("C:\\KOV\\idb\\MAIN.IDX", "package");
    SysDelete("C:\\KOV\\idb\\MAIN.IDX");
    UndoTransferRenames();
    EXPECT_EQ("main", m.Read("C:\\KOV\\idb\\MAIN.IDX"));
    EXPECT_EQ("s", m.Read("C:\\KOV\\idb\\sub\\S.MAL"));
    EXPECT_EQ("g", m.Read("C:\\KOV\\goto.ini"));
    EXPECT_FALSE(m.Exists("C:\\KOV\\idb\\MAIN.old"));
    EXPECT_TRUE(m.Logged("Renamed C:\\KOV\\goto.sav back to C:\\KOV\\goto.ini"));
}

TEST(Transfer, FailedRenameIsLoggedAndTheWalkGoesOn) {
    EngineMachine m;
    strcpy(InstallSettings.PreviousDir, "C:\\KOV");
    strcpy(InstallSettings.DestDir, "C:\\KOV");
    SetList(InstallSettings.PreservedFiles, {{"a\\*.*", "*.old"}});
    m.Put("C:\\KOV\\a\\ONE.X", "1");
    m.Put("C:\\KOV\\a\\TWO.X", "2");
    m.Dir("C:\\KOV\\a\\TWO.old\\busy");  // a folder in the way: not deleted, rename fails
    TransferFolders(1);
    EXPECT_TRUE(m.Logged("Rename failed")) << m.Log();
    // The install must not go on: the package would write over the file kept aside.
    EXPECT_EQ(FATAL_FILE_CREATE, SetupError);
    EXPECT_EQ("1", m.Read("C:\\KOV\\a\\ONE.old"));
    EXPECT_EQ("2", m.Read("C:\\KOV\\a\\TWO.X"));
}

}  // namespace
