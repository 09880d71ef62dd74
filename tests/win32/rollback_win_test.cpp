// The journal's registry and WIN.INI lines put back by a rollback on the test machine: the
// values an interrupted update changed come back as they were, and the keys it made go.
#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>
#include <string>

#include "base/globals.h"
#include "record/installrec.h"
#include "record/journal.h"
#include "install/rollback.h"
#include "registry/registry.h"
#include "tests/win32/reg_fixture.h"

using namespace regtest;

namespace {

const char kKey[] = "Software\\Tavelin Online\\KovSetupTests\\Rollback";
const char kNewKey[] = "Software\\Tavelin Online\\KovSetupTests\\Rollback\\Made";
const char kOutside[] = "Software\\KovSetupTests\\Rollback";

std::string Profile(const char* name) {
    char value[64];
    GetProfileStringA("WKOV", name, "(absent)", value, sizeof value);
    return value;
}

TEST(RollbackWin, RegistryAndProfileValuesComeBack) {
    DeleteTree(HKEY_CURRENT_USER, kKey);
    DeleteTree(HKEY_CURRENT_USER, kOutside);
    ASSERT_EQ(ERROR_SUCCESS, PutString(HKEY_CURRENT_USER, kKey, "Earlier", "old"));
    WriteProfileStringA("WKOV", "KovTestEarlier", "earlier");
    WriteProfileStringA("WKOV", "KovTestNew", nullptr);
    char dest[MAX_PATH];
    GetTempPathA(sizeof dest, dest);
    strcat(dest, "KOVRB");
    CreateDirectoryA(dest, nullptr);
    ResetInstallRecord();
    SetupError = 0;

    const std::string tree = std::string(kKey) + "\\Tree";
    ASSERT_EQ(ERROR_SUCCESS, PutString(HKEY_CURRENT_USER, tree + "\\Deep", "Kept", "deep"));
    ASSERT_EQ(ERROR_SUCCESS, PutString(HKEY_CURRENT_USER, tree, nullptr, "default"));

    ASSERT_TRUE(JournalBegin(dest));
    // A whole tree the update deletes (as the migration clears the client's settings).
    EXPECT_EQ(ERROR_SUCCESS, RegistryDeleteKey(HKEY_CURRENT_USER, tree.c_str()));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, tree));
    NoteRegistryValue(HKEY_CURRENT_USER, kKey, "Earlier");
    RegistrySetString(HKEY_CURRENT_USER, kKey, "Earlier", "new");
    NoteRegistryValue(HKEY_CURRENT_USER, kNewKey, "Added");
    RegistrySetDword(HKEY_CURRENT_USER, kNewKey, "Added", 5);
    NoteProfileValue("WKOV", "KovTestEarlier");
    WriteProfileStringA("WKOV", "KovTestEarlier", "new");
    NoteProfileValue("WKOV", "KovTestNew");
    WriteProfileStringA("WKOV", "KovTestNew", "new");
    // A key outside the client's own is never the journal's to change, whatever it says.
    NoteRegistryValue(HKEY_CURRENT_USER, kOutside, "Other");
    RegistrySetString(HKEY_CURRENT_USER, kOutside, "Other", "stays");

    EXPECT_EQ(1, RollBackInstall());
    EXPECT_EQ("old", ReadValue(HKEY_CURRENT_USER, kKey, "Earlier").Text());
    EXPECT_EQ("deep", ReadValue(HKEY_CURRENT_USER, tree + "\\Deep", "Kept").Text());
    EXPECT_EQ("default", ReadValue(HKEY_CURRENT_USER, tree, nullptr).Text());
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kNewKey));
    EXPECT_EQ("earlier", Profile("KovTestEarlier"));
    EXPECT_EQ("(absent)", Profile("KovTestNew"));
    EXPECT_EQ("stays", ReadValue(HKEY_CURRENT_USER, kOutside, "Other").Text());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES,
              GetFileAttributesA((std::string(dest) + "\\SETUPBAK").c_str()));

    WriteProfileStringA("WKOV", "KovTestEarlier", nullptr);
    DeleteTree(HKEY_CURRENT_USER, "Software\\Tavelin Online\\KovSetupTests");
    DeleteTree(HKEY_CURRENT_USER, kOutside);
    RemoveDirectoryA(dest);
    ResetInstallRecord();
    ResetJournalState();
}

}  // namespace
