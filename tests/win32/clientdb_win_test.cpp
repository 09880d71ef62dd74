// The record database over the real Win32 seam, on the test machine: finding, recovery,
// rewrites, the damaged-end cut, companion deletion, embedded reads and drive space.
#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>
#include <string>

#include "base/globals.h"
#include "clientdb/access.h"
#include "clientdb/format.h"
#include "sys/sys.h"

namespace {

std::string Le32(uint32_t v) {
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

std::string Record(uint32_t gid, const std::string& data, uint32_t at) {
    return "R2D2" + Le32(gid) + Le32(uint32_t(data.size())) + std::string("\x62\x20", 2) +
           std::string(8, '\0') + Le32(at) + data;
}

void Put(const char* path, const std::string& bytes) {
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    WriteFile(h, bytes.data(), DWORD(bytes.size()), &done, NULL);
    CloseHandle(h);
}

DWORD SizeOf(const char* path) {
    WIN32_FILE_ATTRIBUTE_DATA a;
    return GetFileAttributesExA(path, GetFileExInfoStandard, &a) ? a.nFileSizeLow : DWORD(-1);
}

}  // namespace

TEST(Win32ClientDb, FindRecoverRewriteAndClose) {
    ResetRunState();
    CreateDirectoryA("C:\\KOVDBT", NULL);
    CreateDirectoryA("C:\\KOVDBT\\IDB", NULL);
    std::string head = std::string("KOVDB-25", 8) + '\0';
    Put("C:\\KOVDBT\\IDB\\A.DB", head + Le32(990) + std::string(12, '\0'));
    // Records 1, 2 (one byte inserted before its header), 3, then 4 whose data stops short.
    std::string main = head + Le32(DB_ID_MAIN) + std::string(12, '\0');
    main += Record(1, "first", 25);
    main += "#" + Record(2, "second", 0) + Record(3, "third", 0);
    main += Record(4, "fourth", 0).substr(0, 26 + 3);
    Put("C:\\KOVDBT\\IDB\\MAIN.IDX", main);
    Put("C:\\KOVDBT\\IDB\\MAIN.ind", "client index");

    RecordDb* db = nullptr;
    ASSERT_EQ(0, DbOpenById("C:\\KOVDBT\\IDB", DB_ID_MAIN, &db));
    EXPECT_STREQ("C:\\KOVDBT\\IDB\\MAIN.IDX", db->path);
    EXPECT_EQ(4u, DbRecordCount(db));
    EXPECT_EQ(1u, DbLastResync.scans);
    char text[16];
    EXPECT_STREQ("second", DbReadText(db, 2, text, sizeof text));
    EXPECT_EQ(nullptr, DbReadText(db, 4, text, sizeof text));
    EXPECT_EQ(SizeOf("C:\\KOVDBT\\IDB\\MAIN.IDX"), DWORD(main.size()));

    ASSERT_EQ(1, DbWriteText(db, 3, "THIRD"));  // same length: in place
    EXPECT_EQ(SizeOf("C:\\KOVDBT\\IDB\\MAIN.IDX"), DWORD(main.size()));
    ASSERT_EQ(1, DbWriteText(db, 1, "first, longer"));  // appended after the cut tail
    DWORD cut = DWORD(main.size() - (26 + 3));
    EXPECT_EQ(SizeOf("C:\\KOVDBT\\IDB\\MAIN.IDX"), cut + 26 + 13);
    EXPECT_EQ(1, DbClose(db));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\KOVDBT\\IDB\\MAIN.ind"));

    db = nullptr;
    ASSERT_EQ(0, DbOpen("C:\\KOVDBT\\IDB\\MAIN.IDX", &db));
    EXPECT_STREQ("first, longer", DbReadText(db, 1, text, sizeof text));
    EXPECT_STREQ("THIRD", DbReadText(db, 3, text, sizeof text));
    EXPECT_EQ(0, DbRecordLength(db, 4));
    DbClose(db);

    // Embedded: the same bytes read in place from a package file.
    std::string package = std::string(300, 'P') + head + Le32(DB_ID_EF) + std::string(12, '\0') +
                          Record(0x01000001, "art", 0);
    Put("C:\\KOVDBT\\PKG.BIN", package);
    SysFile f = SysOpen("C:\\KOVDBT\\PKG.BIN", SYS_READ);
    ASSERT_TRUE(f);
    ASSERT_EQ(0, DbOpenEmbedded("art.idx", &db, 300, uint32_t(package.size() - 300), f));
    EXPECT_STREQ("art", DbReadText(db, 0x01000001, text, sizeof text));
    DbRelease(db);
    SysClose(f);

    for (const char* p :
         {"C:\\KOVDBT\\IDB\\A.DB", "C:\\KOVDBT\\IDB\\MAIN.IDX", "C:\\KOVDBT\\PKG.BIN"})
        DeleteFileA(p);
    RemoveDirectoryA("C:\\KOVDBT\\IDB");
    RemoveDirectoryA("C:\\KOVDBT");
}

TEST(Win32ClientDb, ReadOnlyOpenAndReadErrors) {
    ResetRunState();
    CreateDirectoryA("C:\\KOVDBR", NULL);
    std::string bytes = std::string("KOVDB-25", 8) + '\0' + Le32(DB_ID_MAIN) +
                        std::string(12, '\0') + Record(1, "one", 25) + Record(2, "two", 54);
    Put("C:\\KOVDBR\\MAIN.IDX", bytes);
    Put("C:\\KOVDBR\\MAIN.ind", "client index");

    // A read that fails while the index is built fails the open; nothing is touched.
    SysFailCalls(SYS_FAULT_READ, 3, 1);
    RecordDb* db = nullptr;
    EXPECT_EQ(1, DbOpen("C:\\KOVDBR\\MAIN.IDX", &db));
    SysClearFaults();
    EXPECT_EQ(SizeOf("C:\\KOVDBR\\MAIN.IDX"), DWORD(bytes.size()));
    EXPECT_EQ(SizeOf("C:\\KOVDBR\\MAIN.ind"), 12u);

    // A file that cannot be opened for writing (as on a CD-ROM) is read, not written, and
    // its companion stays.
    SysFailCalls(SYS_FAULT_OPEN_WRITE, 1, ~0ul);
    EXPECT_EQ(2, DbOpen("C:\\KOVDBR\\MAIN.IDX", &db));
    ASSERT_EQ(0, DbOpenReadOnly("C:\\KOVDBR\\MAIN.IDX", &db));
    char text[8];
    EXPECT_STREQ("two", DbReadText(db, 2, text, sizeof text));
    EXPECT_EQ(0, DbWriteText(db, 3, "three"));
    EXPECT_EQ(1, DbClose(db));
    SysClearFaults();
    EXPECT_EQ(SizeOf("C:\\KOVDBR\\MAIN.ind"), 12u);
    EXPECT_EQ(SizeOf("C:\\KOVDBR\\MAIN.IDX"), DWORD(bytes.size()));

    for (const char* p : {"C:\\KOVDBR\\MAIN.IDX", "C:\\KOVDBR\\MAIN.ind"}) DeleteFileA(p);
    RemoveDirectoryA("C:\\KOVDBR");
}

TEST(Win32ClientDb, DriveRoomFromTheSystem) {
    EXPECT_EQ(1, DriveHasRoom(2, 0));   // C: of the test machine has room
    EXPECT_EQ(0, DriveHasRoom(16, 0));  // Q: does not exist
}
