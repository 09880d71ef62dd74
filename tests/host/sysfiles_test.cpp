// System files: version comparison over real version resources, the replace-or-retain
// decisions and their log lines, the in-use question and the deferral to restsys.bat.
#include <gtest/gtest.h>

#include "tests/host/install_fixture.h"
#include "install/state.h"

namespace {

const time_t T2020 = 1577836800;  // 2020-01-01 00:00:00 UTC

std::string Pe(const char* version) {
    if (!version) return "no version resource, not even an image";
    unsigned a, b, c, d;
    sscanf(version, "%u.%u.%u.%u", &a, &b, &c, &d);
    return TestPe(true, a << 16 | b, c << 16 | d);
}

TEST(SystemFiles, CompareVersions) {
    struct Case {
        const char *newVersion, *existingVersion;
        int result;
    } cases[] = {
        {"4.0.0.1", "4.0.0.0", NEW_VERSION_HIGHER},
        {"4.0.0.0", "4.0.0.1", EXISTING_VERSION_HIGHER},
        {"4.0.0.0", "4.0.0.0", VERSIONS_EQUAL},
        {"5.0.0.0", "4.0.9.9", NEW_VERSION_HIGHER},  // the high word decides first
        {"4.0.9.9", "5.0.0.0", EXISTING_VERSION_HIGHER},
        {nullptr, "4.0.0.0", ONLY_EXISTING_VERSIONED},
        {"4.0.0.0", nullptr, ONLY_NEW_VERSIONED},
        {nullptr, nullptr, NEITHER_VERSIONED},
        {"0.0.0.0", "4.0.0.0", ONLY_EXISTING_VERSIONED},  // a zero version is none
    };
    for (const Case& c : cases) {
        EngineMachine m;
        m.Put("C:\\N.DLL", Pe(c.newVersion));
        m.Put("C:\\E.DLL", Pe(c.existingVersion));
        EXPECT_EQ(c.result, CompareFileVersions("C:\\N.DLL", "C:\\E.DLL"))
            << (c.newVersion ? c.newVersion : "none") << " vs "
            << (c.existingVersion ? c.existingVersion : "none");
    }
    EngineMachine m;
    uint32_t ms = 1, ls = 1;
    GetFileVersion("C:\\ABSENT.DLL", &ms, &ls);
    EXPECT_EQ(0u, ms | ls);
}

// Every cut of a versioned image, and every byte of its headers and resource tree set to
// 0xFF, reads without going outside the file; a cut image has a version only when the cut
// leaves the whole version block.
TEST(SystemFiles, DamagedImagesReadSafely) {
    EngineMachine m;
    const size_t blockEnd = 0x200 + 0x58 + 92;
    std::string whole = Pe("4.0.0.1"), host = m.Host("C:\\T.DLL");
    for (size_t n = 0; n <= whole.size(); n += (n < blockEnd + 8 ? 1 : 64)) {
        WriteHostFile(host, whole.substr(0, n));
        uint32_t ms = 0, ls = 0;
        EXPECT_EQ(n >= blockEnd ? 1 : 0, SysFileVersion("C:\\T.DLL", &ms, &ls)) << n;
    }
    for (size_t i = 0; i < blockEnd; i++) {
        std::string damaged = whole;
        damaged[i] = (char)0xFF;
        WriteHostFile(host, damaged);
        uint32_t ms = 0, ls = 0;
        SysFileVersion("C:\\T.DLL", &ms, &ls);
    }
    WriteHostFile(host, whole);
    uint32_t ms = 0, ls = 0;
    EXPECT_EQ(1, SysFileVersion("C:\\T.DLL", &ms, &ls));
    EXPECT_EQ(0x00040000u, ms);
    EXPECT_EQ(0x00000001u, ls);
}

TEST(SystemFiles, DosStamp) {
    struct Case {
        time_t written;
        uint32_t stamp;
    } cases[] = {
        {T2020, 1344339968u},       // 2020-01-01 00:00:00
        {1592228731, 1355771311u},  // 2020-06-15 13:45:31: seconds count in pairs
        {315529200, 0},             // 1979 has no DOS form
    };
    for (const Case& c : cases) {
        EngineMachine m;
        m.Put("C:\\F.DLL", "x");
        SetFileTime(m.Host("C:\\F.DLL"), c.written);
        EXPECT_EQ(c.stamp, GetFileDosTime("C:\\F.DLL")) << c.written;
    }
    EngineMachine m;
    EXPECT_EQ(0u, GetFileDosTime("C:\\ABSENT.DLL"));
}

// The extracted file C:\KOV\X.DLL against C:\WINDOWS\SYSTEM\X.DLL.
TEST(SystemFiles, ReplaceOrRetain) {
    struct Case {
        const char* what;
        const char *newVersion, *existingVersion;
        time_t newTime, existingTime;
        bool replaced;
    } cases[] = {
        {"newer version", "4.0.0.1", "4.0.0.0", T2020, T2020 + 60, true},
        {"older version", "4.0.0.0", "4.0.0.1", T2020 + 60, T2020, false},
        {"equal versions", "4.0.0.0", "4.0.0.0", T2020, T2020, true},
        {"only the existing one versioned", nullptr, "4.0.0.0", T2020 + 60, T2020, false},
        {"only the new one versioned", "4.0.0.0", nullptr, T2020, T2020 + 60, true},
        {"no versions, new stamp later", nullptr, nullptr, T2020 + 60, T2020, true},
        {"no versions, equal stamps", nullptr, nullptr, T2020, T2020, true},
        {"no versions, existing stamp later", nullptr, nullptr, T2020, T2020 + 60, false},
    };
    for (const Case& c : cases) {
        EngineMachine m;
        strcpy(InstallSettings.DestDir, "C:\\KOV");
        std::string fresh = Pe(c.newVersion) + "new", old = Pe(c.existingVersion) + "old";
        m.Put("C:\\KOV\\X.DLL", fresh);
        m.Put("C:\\WINDOWS\\SYSTEM\\X.DLL", old);
        SetFileTime(m.Host("C:\\KOV\\X.DLL"), c.newTime);
        SetFileTime(m.Host("C:\\WINDOWS\\SYSTEM\\X.DLL"), c.existingTime);
        uint32_t install = GetFileDosTime("C:\\KOV\\X.DLL");
        uint32_t current = GetFileDosTime("C:\\WINDOWS\\SYSTEM\\X.DLL");

        EXPECT_NE(0, InstallSystemFile("C:\\KOV\\X.DLL")) << c.what;
        EXPECT_EQ(c.replaced ? fresh : old, m.Read("C:\\WINDOWS\\SYSTEM\\X.DLL")) << c.what;
        EXPECT_FALSE(m.Exists("C:\\KOV\\X.DLL")) << c.what;
        EXPECT_TRUE(m.Logged(
            "System file C:\\WINDOWS\\SYSTEM\\X.DLL exists (current=" + std::to_string(current) +
            ", install=" + std::to_string(install) + ")"))
            << c.what << "\n"
            << m.Log();
        EXPECT_TRUE(m.Logged(c.replaced ? "Replacing existing" : "Retaining existing")) << c.what;
        EXPECT_EQ(c.replaced, m.Logged("Copy C:\\KOV\\X.DLL -> C:\\WINDOWS\\SYSTEM\\X.DLL"))
            << c.what;
        EXPECT_EQ(0, SysQuestionsAsked()) << c.what;
    }
}

TEST(SystemFiles, AbsentFromSystemFolderGoesToWindowsSystem) {
    EngineMachine m;
    strcpy(InstallSettings.DestDir, "C:\\KOV");
    m.Dir("C:\\WINDOWS\\SYS32");
    SysSetSystemDir("C:\\WINDOWS\\SYS32");
    m.Put("C:\\KOV\\X.DLL", "new");
    EXPECT_NE(0, InstallSystemFile("C:\\KOV\\X.DLL"));
    EXPECT_EQ("new", m.Read("C:\\WINDOWS\\SYSTEM\\X.DLL"));
    EXPECT_FALSE(m.Exists("C:\\KOV\\X.DLL"));
    EXPECT_EQ(std::string::npos, m.Log().find("exists (current="));
    EXPECT_TRUE(m.Logged("Copy C:\\KOV\\X.DLL -> C:\\WINDOWS\\SYSTEM\\X.DLL"));

    // A copy that cannot be made fails and keeps the extracted file.
    strcpy(WindowsDir, "C:\\NOWIN");
    m.Put("C:\\KOV\\Y.DLL", "new");
    EXPECT_EQ(0, InstallSystemFile("C:\\KOV\\Y.DLL"));
    EXPECT_TRUE(m.Logged("Copy failed"));
    EXPECT_TRUE(m.Exists("C:\\KOV\\Y.DLL"));
    EXPECT_EQ(0u, InstallState.SystemFileCopied);

    // A disk that fills during the copy: no part of the new file stays to pass for it.
    strcpy(WindowsDir, "C:\\WINDOWS");
    m.Put("C:\\KOV\\Z.DLL", std::string(100000, 'z'));
    SysFailCalls(SYS_FAULT_WRITE, 2, 1);
    EXPECT_EQ(0, InstallSystemFile("C:\\KOV\\Z.DLL"));
    SysClearFaults();
    EXPECT_FALSE(m.Exists("C:\\WINDOWS\\SYSTEM\\Z.DLL"));
    EXPECT_TRUE(m.Logged("Removed C:\\WINDOWS\\SYSTEM\\Z.DLL")) << m.Log();
    EXPECT_TRUE(m.Exists("C:\\KOV\\Z.DLL"));
    EXPECT_EQ(0u, InstallState.SystemFileCopied);
}

// The old X.DLL is loaded by the setup itself while the new one is handed over.
TEST(SystemFiles, InUse) {
    struct Case {
        const char* what;
        uint32_t defer, clientUpdate;
        int loadedLookups;
        std::vector<int> answers;
        int questions;
        bool replaced, aborted, deferred;
    } cases[] = {
        {"deferred", 1, 0, 100, {}, 0, false, false, true},
        {"retry until freed", 0, 0, 2, {SYS_ID_RETRY, SYS_ID_RETRY}, 2, true, false, false},
        {"cancelled", 0, 0, 100, {SYS_ID_CANCEL}, 1, false, true, false},
        // Without a batch file to carry the move the user is asked, as with no flag.
        {"client update mode alone", 0, 1, 1, {SYS_ID_RETRY}, 1, true, false, false},
    };
    for (const Case& c : cases) {
        EngineMachine m;
        strcpy(InstallSettings.DestDir, "C:\\KOV");
        InstallSettings.DeferInUseFiles = c.defer;
        InstallSettings.ClientUpdateMode = c.clientUpdate;
        OpenRestsysBatch();
        m.Put("C:\\KOV\\X.DLL", Pe("4.0.0.1"));
        m.Put("C:\\WINDOWS\\SYSTEM\\X.DLL", Pe("4.0.0.0"));
        SysSetModuleLoaded("x.dll", c.loadedLookups);
        SysQueueAnswers(c.answers.data(), (int)c.answers.size());

        EXPECT_NE(0, InstallSystemFile("C:\\KOV\\X.DLL")) << c.what;
        EXPECT_EQ(c.questions, SysQuestionsAsked()) << c.what;
        if (c.questions) {
            char text[512];
            SysLoadString(34004, text, sizeof text);
            EXPECT_STREQ(text, SysLastQuestion()) << c.what;
        }
        EXPECT_EQ(c.replaced ? Pe("4.0.0.1") : Pe("4.0.0.0"), m.Read("C:\\WINDOWS\\SYSTEM\\X.DLL"))
            << c.what;
        EXPECT_EQ(!c.replaced, m.Exists("C:\\KOV\\X.DLL")) << c.what;
        EXPECT_EQ(c.aborted ? 1u : 0u, UserAbort) << c.what;
        EXPECT_EQ(c.deferred ? 1u : 0u, RestartWindows) << c.what;
        EXPECT_TRUE(m.Logged("In use; prompt")) << c.what;
        FinishRestsysBatch();
        if (c.deferred)
            EXPECT_EQ("@echo off\r\n\r\n"
                      "move C:\\KOV\\X.DLL C:\\WINDOWS\\SYSTEM\\X.DLL > nul\r\n\r\n"
                      "del C:\\KOV\\restsys.bat\r\n\r\n",
                      m.Read("C:\\KOV\\restsys.bat"));
        else EXPECT_FALSE(m.Exists("C:\\KOV\\restsys.bat")) << c.what;
        SysSetModuleLoaded("x.dll", 0);
    }
}

TEST(SystemFiles, BatchFileWithoutMoves) {
    EngineMachine m;
    strcpy(InstallSettings.DestDir, "C:\\KOV30I");  // not made yet
    InstallSettings.DeferInUseFiles = 1;
    InstallSettings.ClientUpdateMode = 1;
    ASSERT_EQ(1, OpenRestsysBatch());
    FinishRestsysBatch();
    EXPECT_EQ("@echo off\r\n\r\n"
              "del C:\\KOV30I\\tod\\*.tod\r\n\r\n"
              "del C:\\KOV30I\\tod\\*.utf\r\n\r\n"
              "del C:\\KOV30I\\tod\\*.aaa\r\n\r\n"
              "del C:\\KOV30I\\tod\\*.phx\r\n\r\n"
              "del C:\\KOV30I\\tod\\*.exe\r\n\r\n"
              "del C:\\KOV30I\\tod\\*.dll\r\n\r\n"
              "del C:\\KOV30I\\restsys.bat\r\n\r\n",
              m.Read("C:\\KOV30I\\restsys.bat"));
    EXPECT_EQ(0, InstallState.RestsysFile);
    FinishRestsysBatch();  // finished once only
    EXPECT_EQ(std::string::npos, m.Read("C:\\KOV30I\\restsys.bat").find("bat\r\n\r\ndel"));
}

}  // namespace
