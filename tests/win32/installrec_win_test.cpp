// The install record's notes of registry and WIN.INI values against the test machine, and
// the registry layer's deletes that the uninstaller uses to put them back.
#include <gtest/gtest.h>
#include <string.h>
#include <string>

#include "record/installrec.h"
#include "registry/registry.h"
#include "tests/win32/reg_fixture.h"

using namespace regtest;

namespace {

class RecordNotes : public ::testing::Test {
protected:
    std::string base;
    char dir[MAX_PATH];
    void SetUp() override {
        base = std::string("Software\\KovSetupTests\\") +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        DeleteTree(HKEY_CURRENT_USER, base);
        ResetInstallRecord();
        GetTempPathA(sizeof dir, dir);
    }
    void TearDown() override {
        DeleteTree(HKEY_CURRENT_USER, base);
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KovSetupTests");  // only when empty
        ResetInstallRecord();
        std::string record = std::string(dir) + INSTALL_RECORD_NAME;
        DeleteFileA(record.c_str());
    }
    // The noted lines of one kind, as "field|field|...", read back from a written record.
    std::vector<std::string> Lines(int kind) {
        std::vector<std::string> out;
        EXPECT_TRUE(WriteInstallRecord(dir, "C:\\KOV"));
        InstallRecord record;
        EXPECT_TRUE(ReadInstallRecord((std::string(dir) + INSTALL_RECORD_NAME).c_str(), &record));
        for (int i = 0; i < record.count; ++i) {
            if (record.items[i].kind != kind) continue;
            std::string line;
            for (int f = 0; f < ITEM_FIELDS; ++f)
                line += (f ? "|" : "") + std::string(record.items[i].field[f]);
            // Keys above the test's own are the machine's business.
            if (kind != ITEM_KEY || line.find(base) != std::string::npos) out.push_back(line);
        }
        FreeInstallRecord(&record);
        return out;
    }
};

TEST_F(RecordNotes, RegistryValueNotesItsEarlierStateAndTheKeysTheWriteMakes) {
    const std::string key = base + "\\KOV\\CurrentVersion";
    DWORD seven = 7;
    BYTE blob[3] = {1, 2, 3};
    struct {
        const char* what;
        int plant;  // 0 nothing, 1 key only, 2 string, 3 number, 4 binary
        const char* state;
        int keys;
    } cases[] = {
        {"no key", 0, "-", 3},           {"key without the value", 1, "-", 0},
        {"a string", 2, "Sold text", 0}, {"a number", 3, "D7", 0},
        {"another type", 4, "?", 0},
    };
    for (auto& c : cases) {
        DeleteTree(HKEY_CURRENT_USER, base);
        ResetInstallRecord();
        if (c.plant == 1) PutString(HKEY_CURRENT_USER, key, "Other", "x");
        if (c.plant == 2) PutString(HKEY_CURRENT_USER, key, "AppPath", "old text");
        if (c.plant == 3) PutValue(HKEY_CURRENT_USER, key, "AppPath", REG_DWORD, &seven, 4);
        if (c.plant == 4) PutValue(HKEY_CURRENT_USER, key, "AppPath", REG_BINARY, blob, 3);
        NoteRegistryValue(HKEY_CURRENT_USER, key.c_str(), "AppPath");
        // A second note of the same value, after the write, changes nothing.
        RegistrySetString(HKEY_CURRENT_USER, key.c_str(), "AppPath", "C:\\KOV");
        NoteRegistryValue(HKEY_CURRENT_USER, key.c_str(), "AppPath");

        std::vector<std::string> values = Lines(ITEM_VALUE);
        ASSERT_EQ(values.size(), 1u) << c.what;
        EXPECT_EQ(values[0], "HKCU|" + key + "|AppPath|" + c.state) << c.what;
        std::vector<std::string> keys = Lines(ITEM_KEY);
        ASSERT_EQ((int)keys.size(), c.keys) << c.what;
        if (c.keys) {
            // Outermost first, so that the uninstaller, going backwards, empties them in turn.
            EXPECT_EQ(keys[0], "HKCU|" + base + "||");
            EXPECT_EQ(keys[1], "HKCU|" + base + "\\KOV||");
            EXPECT_EQ(keys[2], "HKCU|" + key + "||");
        }
    }
}

TEST_F(RecordNotes, DeletesLeaveWhatOthersPutThere) {
    const std::string key = base + "\\KOV";
    EXPECT_EQ(RegistryDeleteEmptyKey(HKEY_CURRENT_USER, key.c_str()), ERROR_SUCCESS);  // absent
    EXPECT_EQ(RegistryDeleteValue(HKEY_CURRENT_USER, key.c_str(), "AppPath"), ERROR_SUCCESS);
    PutString(HKEY_CURRENT_USER, key + "\\Sub", "Other", "x");
    EXPECT_EQ(RegistryDeleteEmptyKey(HKEY_CURRENT_USER, key.c_str()), ERROR_DIR_NOT_EMPTY);
    EXPECT_EQ(RegistryDeleteEmptyKey(HKEY_CURRENT_USER, (key + "\\Sub").c_str()),
              ERROR_DIR_NOT_EMPTY);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, key + "\\Sub"));
    EXPECT_EQ(RegistryDeleteValue(HKEY_CURRENT_USER, (key + "\\Sub").c_str(), "Other"),
              ERROR_SUCCESS);
    EXPECT_FALSE(ReadValue(HKEY_CURRENT_USER, key + "\\Sub", "Other").found);
    EXPECT_EQ(RegistryDeleteEmptyKey(HKEY_CURRENT_USER, (key + "\\Sub").c_str()), ERROR_SUCCESS);
    EXPECT_EQ(RegistryDeleteEmptyKey(HKEY_CURRENT_USER, key.c_str()), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key));
    EXPECT_EQ(RegistryDeleteEmptyKey(HKEY_CURRENT_USER, ""), ERROR_INVALID_PARAMETER);
}

TEST_F(RecordNotes, ProfileValueTellsAbsentFromEmpty) {
    const char* section = "KovSetupTests";
    WriteProfileStringA(section, nullptr, nullptr);
    WriteProfileStringA(section, "Empty", "");
    WriteProfileStringA(section, "Path", "C:\\OLD");
    for (const char* name : {"Absent", "Empty", "Path"}) NoteProfileValue(section, name);
    WriteProfileStringA(section, nullptr, nullptr);
    std::vector<std::string> lines = Lines(ITEM_PROFILE);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "WIN.INI|KovSetupTests|Absent|-");
    EXPECT_EQ(lines[1], "WIN.INI|KovSetupTests|Empty|=");
    EXPECT_EQ(lines[2], "WIN.INI|KovSetupTests|Path|=C:\\OLD");
}

}  // namespace
