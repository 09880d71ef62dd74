// The registry layer against the real registry of the test machine. Every test works under
// a key of its own below HKCU\Software\KovSetupTests and removes it afterwards.
#include <gtest/gtest.h>
#include <string.h>
#include "registry/registry.h"
#include "tests/win32/reg_fixture.h"

using namespace regtest;

namespace {

const char QUESTION[] = "Une version plus r\xe9"
                        "cente d'KOV est install\xe9"
                        "e sur votre syst\xe8"
                        "me. "
                        "Souhaitez-vous l'\xe9"
                        "craser ?";

class RegistryLayer : public ::testing::Test {
protected:
    std::string base;
    void SetUp() override {
        base = std::string("Software\\KovSetupTests\\") +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        DeleteTree(HKEY_CURRENT_USER, base);
    }
    void TearDown() override {
        DeleteTree(HKEY_CURRENT_USER, base);
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KovSetupTests");  // only when empty
    }
    std::string Key(const std::string& sub) const { return base + "\\" + sub; }
};

enum Seed { NO_KEY, EMPTY_KEY, OTHER_VALUE, BUILD_VALUE, DEFAULT_VALUE };

void Plant(Seed seed, const std::string& path) {
    HKEY key;
    switch (seed) {
    case NO_KEY: break;
    case EMPTY_KEY:
        RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr);
        RegCloseKey(key);
        break;
    case OTHER_VALUE: PutString(HKEY_CURRENT_USER, path, "Other", "other text"); break;
    case BUILD_VALUE: PutString(HKEY_CURRENT_USER, path, "Build", "5.00.2614.3500"); break;
    case DEFAULT_VALUE: PutString(HKEY_CURRENT_USER, path, nullptr, "unnamed"); break;
    }
}

TEST_F(RegistryLayer, GetStringStatusesBufferAndDefaults) {
    struct Case {
        Seed seed;
        const char* name;  // null: the key's default value
        int create;
        LONG status;
        const char* buffer;  // what the caller's buffer holds afterwards
        const char* stored;  // the value afterwards, null when absent
    } cases[] = {
        {NO_KEY, "Build", 0, 2, "preset", nullptr},
        {NO_KEY, "Build", 1, 0, "preset", "preset"},
        {EMPTY_KEY, "Build", 0, 2, "preset", nullptr},
        {EMPTY_KEY, "Build", 1, 2, "preset", "preset"},
        {OTHER_VALUE, "Build", 0, 259, "preset", nullptr},
        {OTHER_VALUE, "Build", 1, 259, "preset", "preset"},
        {BUILD_VALUE, "build", 0, 0, "5.00.2614.3500", "5.00.2614.3500"},
        {BUILD_VALUE, "BUILD", 1, 0, "5.00.2614.3500", "5.00.2614.3500"},
        {DEFAULT_VALUE, nullptr, 0, 0, "unnamed", "unnamed"},
        {NO_KEY, nullptr, 1, 0, "preset", "preset"},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string path = Key("case" + std::to_string(n++));
        Plant(c.seed, path);
        char buffer[64];
        memset(buffer, '#', sizeof buffer);
        strcpy(buffer, "preset");
        char before[64];
        memcpy(before, buffer, sizeof buffer);

        LONG status = RegistryGetString(HKEY_CURRENT_USER, path.c_str(), c.name, buffer,
                                        sizeof buffer, c.create);
        SCOPED_TRACE(path + " name " + (c.name ? c.name : "(default)") + " create " +
                     std::to_string(c.create));
        EXPECT_EQ(c.status, status);
        EXPECT_STREQ(c.buffer, buffer);
        if (status != 0) {
            EXPECT_EQ(0, memcmp(before, buffer, sizeof buffer)) << "buffer touched";
        }
        RawValue v = ReadValue(HKEY_CURRENT_USER, path, c.name);
        if (c.stored) {
            EXPECT_TRUE(v.found);
            EXPECT_EQ((DWORD)REG_SZ, v.type);
            EXPECT_EQ(c.stored, v.Text());
        } else {
            EXPECT_FALSE(v.found);
        }
        if (c.seed == NO_KEY && !c.create) {
            EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, path)) << "a read must not create";
        }
    }
}

TEST_F(RegistryLayer, NullRootIsAnsweredWithNotFound) {
    char buffer[16] = "keep";
    EXPECT_EQ(2, RegistryGetString(nullptr, base.c_str(), "Build", buffer, sizeof buffer, 1));
    EXPECT_STREQ("keep", buffer);
    EXPECT_EQ(2, RegistrySetString(nullptr, base.c_str(), "Build", "x"));
    EXPECT_EQ(2, RegistryDeleteKey(nullptr, base.c_str()));
    EXPECT_EQ(1, RegistryUpdateString(nullptr, base.c_str(), "Build", "x"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, base));
}

TEST_F(RegistryLayer, LongValueIsCutToTheCallersBuffer) {
    std::string path = Key("long");
    std::string longText(300, 'L');
    longText += "END";
    ASSERT_EQ(0, PutString(HKEY_CURRENT_USER, path, "AppPath", longText));
    PutString(HKEY_CURRENT_USER, path, "Short", "s");

    // The caller's buffer sits between two guards that must survive.
    struct {
        char before[16];
        char buffer[20];
        char after[16];
    } area;
    memset(&area, 'G', sizeof area);
    EXPECT_EQ(0, RegistryGetString(HKEY_CURRENT_USER, path.c_str(), "AppPath", area.buffer,
                                   sizeof area.buffer, 0));
    EXPECT_EQ(std::string(19, 'L'), std::string(area.buffer));
    for (char g : area.before) EXPECT_EQ('G', g);
    for (char g : area.after) EXPECT_EQ('G', g);

    // The same through the lookup in an open key, for a value of another type.
    HKEY key;
    ASSERT_EQ(0, RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &key));
    memset(&area, 'G', sizeof area);
    EXPECT_EQ(0, RegistryFindValue(key, "APPPATH", area.buffer, 8));
    EXPECT_STREQ("LLLLLLL", area.buffer);
    for (size_t i = 8; i < sizeof area.buffer; i++) EXPECT_EQ('G', area.buffer[i]);
    RegCloseKey(key);
}

TEST_F(RegistryLayer, FindValueCopiesAnyTypeAsText) {
    std::string path = Key("types");
    DWORD number = 0x00434241;  // "ABC" in memory order
    const char binary[] = {'x', 'y', 0, 'z'};
    const char shorter[] = {'o', 'k'};
    PutValue(HKEY_CURRENT_USER, path, "Number", REG_DWORD, &number, sizeof number);
    PutValue(HKEY_CURRENT_USER, path, "Blob", REG_BINARY, binary, sizeof binary);
    // Without a terminator and listed after longer data, so a stale tail would show.
    PutValue(HKEY_CURRENT_USER, path, "Tail", REG_BINARY, shorter, sizeof shorter);
    PutValue(HKEY_CURRENT_USER, path, "Empty", REG_SZ, "", 0);

    struct {
        const char* name;
        LONG status;
        const char* text;
    } cases[] = {
        {"number", 0, "ABC"},          {"Blob", 0, "xy"}, {"tail", 0, "ok"}, {"Empty", 0, ""},
        {"Missing", 259, "unchanged"},
    };
    HKEY key;
    ASSERT_EQ(0, RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &key));
    for (const auto& c : cases) {
        char buffer[32] = "unchanged";
        EXPECT_EQ(c.status, RegistryFindValue(key, c.name, buffer, sizeof buffer)) << c.name;
        EXPECT_STREQ(c.text, buffer) << c.name;
    }
    RegCloseKey(key);
}

TEST_F(RegistryLayer, SetStringWritesTerminatedTextAndCreatesTheKey) {
    std::string path = Key("a\\b");
    struct {
        const char* name;
        const char* text;
    } cases[] = {
        {"AppPath", "C:\\Kov30I"},
        {nullptr, "unnamed default"},
        {"Empty", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(0, RegistrySetString(HKEY_CURRENT_USER, path.c_str(), c.name, c.text));
        RawValue v = ReadValue(HKEY_CURRENT_USER, path, c.name);
        ASSERT_TRUE(v.found);
        EXPECT_EQ((DWORD)REG_SZ, v.type);
        EXPECT_EQ(std::string(c.text, strlen(c.text) + 1), v.data) << "length plus one";
    }
    // The default value and a named one are distinct.
    char buffer[32];
    EXPECT_EQ(
        0, RegistryGetString(HKEY_CURRENT_USER, path.c_str(), nullptr, buffer, sizeof buffer, 0));
    EXPECT_STREQ("unnamed default", buffer);
}

TEST_F(RegistryLayer, DwordsReadAndWritten) {
    std::string path = Key("d");
    DWORD value = 77;
    EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, path.c_str()));
    EXPECT_EQ(2, RegistryGetDword(HKEY_CURRENT_USER, path.c_str(), "N", &value));
    EXPECT_EQ(0, RegistrySetDword(HKEY_CURRENT_USER, path.c_str(), "N", 0x01020304));
    EXPECT_TRUE(RegistryKeyExists(HKEY_CURRENT_USER, path.c_str()));
    RawValue v = ReadValue(HKEY_CURRENT_USER, path, "N");
    ASSERT_TRUE(v.found);
    EXPECT_EQ((DWORD)REG_DWORD, v.type);
    EXPECT_EQ(std::string("\x04\x03\x02\x01", 4), v.data);
    EXPECT_EQ(0, RegistryGetDword(HKEY_CURRENT_USER, path.c_str(), "N", &value));
    EXPECT_EQ(0x01020304u, value);
    // Absent, or longer than four bytes: an error status and the value left alone.
    value = 77;
    EXPECT_EQ(2, RegistryGetDword(HKEY_CURRENT_USER, path.c_str(), "Absent", &value));
    PutString(HKEY_CURRENT_USER, path, "Long", "longer than four");
    EXPECT_EQ(ERROR_MORE_DATA, RegistryGetDword(HKEY_CURRENT_USER, path.c_str(), "Long", &value));
    EXPECT_EQ(77u, value);
    EXPECT_EQ(2, RegistryGetDword(nullptr, path.c_str(), "N", &value));
}

TEST_F(RegistryLayer, UpdateStringGuardsAgainstALowerRevision) {
    enum Stored { NOTHING, OTHER_ONLY, STORED };
    struct Case {
        Stored seed;
        const char* stored;
        const char* name;
        const char* text;
        int answer;  // button pressed if asked
        bool asks;
        LONG status;
        const char* after;
    } cases[] = {
        {STORED, "4.0", "Revision", "3.0", IDNO, true, 0, "4.0"},
        {STORED, "4.0", "Revision", "3.0", IDYES, true, 0, "3.0"},
        {STORED, "9", "Revision", "10", IDNO, true, 0, "9"},  // compared as text
        {STORED, "B", "REVISION", "a", IDNO, true, 0, "B"},   // without regard to case
        {STORED, "4.0", "Revision", "4.0", IDNO, false, 0, "4.0"},
        {STORED, "4.0", "Revision", "5.0", IDNO, false, 0, "5.0"},
        {STORED, "4.0", "AppPath", "3.0", IDNO, false, 0, "3.0"},
        {NOTHING, nullptr, "Revision", "3.0", IDNO, false, 0, "3.0"},
        {OTHER_ONLY, nullptr, "Revision", "3.0", IDNO, false, 0, "3.0"},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string path = Key("case" + std::to_string(n++));
        if (c.seed == STORED) PutString(HKEY_CURRENT_USER, path, c.name, c.stored);
        if (c.seed == OTHER_ONLY) PutString(HKEY_CURRENT_USER, path, "Other", "x");
        SCOPED_TRACE(path + " " + c.name + ": " + c.text + " over " +
                     (c.stored ? c.stored : "nothing"));

        BoxAnswerer user("KOV", c.answer);
        LONG status = RegistryUpdateString(HKEY_CURRENT_USER, path.c_str(), c.name, c.text);
        user.Stop();

        EXPECT_EQ(c.status, status);
        EXPECT_EQ(c.asks ? 1 : 0, user.seen);
        if (c.asks) {
            EXPECT_EQ(QUESTION, user.text);
            EXPECT_TRUE(user.hadYesNo);
        }
        EXPECT_EQ(c.after, ReadValue(HKEY_CURRENT_USER, path, c.name).Text());
    }
}

TEST_F(RegistryLayer, DeleteKeyRemovesTheWholeSubtree) {
    std::string top = Key("top");
    PutString(HKEY_CURRENT_USER, top, "v", "1");
    PutString(HKEY_CURRENT_USER, top + "\\one", "v", "2");
    PutString(HKEY_CURRENT_USER, top + "\\one\\two", "v", "3");
    PutString(HKEY_CURRENT_USER, top + "\\one\\two\\three", nullptr, "4");
    PutString(HKEY_CURRENT_USER, top + "\\one\\sibling", "v", "5");
    PutString(HKEY_CURRENT_USER, top + "\\second", "v", "6");
    PutString(HKEY_CURRENT_USER, Key("topmost"), "v", "stays");  // shares a prefix only

    EXPECT_EQ(0, RegistryDeleteKey(HKEY_CURRENT_USER, top.c_str()));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, top));
    EXPECT_EQ("stays", ReadValue(HKEY_CURRENT_USER, Key("topmost"), "v").Text());

    // Nothing to delete is not an error; an empty path would mean the root itself.
    EXPECT_EQ(0, RegistryDeleteKey(HKEY_CURRENT_USER, Key("missing").c_str()));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegistryDeleteKey(HKEY_CURRENT_USER, ""));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegistryDeleteKey(HKEY_CURRENT_USER, nullptr));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Key("topmost")));
}

}  // namespace
