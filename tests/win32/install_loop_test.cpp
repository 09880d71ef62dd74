// The install loop on Windows with the real decompression library loaded from the
// destination: the copy dialog and its Cancel question, the interrupted notice, clean-up
// after an unload (a loaded library's file cannot be deleted), and hostile archives that
// must stop at the size the package promised. Each runs with the library as built, which
// reads the package directly, and with its build that keeps to the command record alone,
// which takes the path through temporary archives.
#include <gtest/gtest.h>
#include <windows.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

#include "base/globals.h"
#include "base/log.h"
#include "base/mem.h"
#include "base/seat.h"
#include "install/decompress.h"
#include "install/destination.h"
#include "install/install.h"
#include "install/space.h"
#include "install/state.h"
#include "package/package.h"
#include "setup/connect.h"
#include "tests/host/zipfile.h"
#include "tests/win32/ui_testlib.h"
#include "ui/dialogs.h"
#include "ui/frame.h"

namespace {

struct PkgFile {
    std::string name, stored;
    uint32_t installed;
};

std::string ReadWhole(const std::string& path, bool* exists = nullptr) {
    std::string out;
    HANDLE h =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (exists) *exists = h != INVALID_HANDLE_VALUE;
    if (h == INVALID_HANDLE_VALUE) return out;
    char buf[65536];
    DWORD n;
    while (ReadFile(h, buf, sizeof buf, &n, NULL) && n) out.append(buf, n);
    CloseHandle(h);
    return out;
}

void WriteWhole(const std::string& path, const std::string& data) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD n;
    WriteFile(h, data.data(), (DWORD)data.size(), &n, NULL);
    CloseHandle(h);
}

// Every file under a folder, relative names.
void ListFiles(const std::string& dir, const std::string& rel, std::vector<std::string>& out) {
    WIN32_FIND_DATAA f;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &f);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        std::string n = f.cFileName;
        if (n == "." || n == "..") continue;
        if (f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListFiles(dir + "\\" + n, rel + n + "\\", out);
        else out.push_back(rel + n);
    } while (FindNextFileA(h, &f));
    FindClose(h);
}

void RemoveTree(const std::string& dir) {
    WIN32_FIND_DATAA f;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &f);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string n = f.cFileName;
            if (n == "." || n == "..") continue;
            if (f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(dir + "\\" + n);
            else DeleteFileA((dir + "\\" + n).c_str());
        } while (FindNextFileA(h, &f));
        FindClose(h);
    }
    RemoveDirectoryA(dir.c_str());
}

std::string Sample(size_t n, unsigned seed) {
    std::string s(n, 0);
    for (size_t i = 0; i < n; i++) {
        seed = seed * 1103515245 + 12345;
        s[i] = (char)(seed >> 16);
    }
    return s;
}

// A library as built, from the build tree (reached through Wine's path to host files).
std::string LibraryImage(const char* file) {
    std::string path = "\\\\?\\unix" KOV_BINARY_DIR "/" + std::string(file);
    for (char& c : path)
        if (c == '/') c = '\\';
    return ReadWhole(path);
}

class InstallLoop : public ::testing::TestWithParam<const char*> {
protected:
    std::string LibraryImage() { return ::LibraryImage(GetParam()); }
    std::string dest;
    std::vector<std::string> boxes;  // texts of the message boxes shown
    void SetUp() override {
        ResetRunState();
        LogReset();
        GetWindowsDirectoryA(WindowsDir, sizeof WindowsDir);
        const char* d = getenv("KOV_INSTALL_DEST");
        dest = d && *d ? d : "C:\\KOVLOOP";
        strcpy(InstallSettings.DestDir, dest.c_str());
        RemoveTree(dest);  // what an earlier case installed
        strcpy(InstallSettings.QuickRefFile, "quickref.txt");
        InstallState.FirstFileIndex = 0;
        InstallState.OverwriteInPlace = 0;
        InstallState.ToolBytesFromOld = 0;
    }
    void TearDown() override {
        uitest::Stop();
        ClosePackage();
        FreeInstallScript();
        DeleteFileA(packagePath.c_str());
    }
    std::string packagePath = "C:\\kovloop.pkg";
    void Package(const std::vector<PkgFile>& files) {
        std::string data = "script";
        FileTable = (FileTableT*)MemAlloc(sizeof(FileTableT) + files.size() * sizeof(void*));
        FileTable->entry = (PackageEntry**)(FileTable + 1);
        for (const PkgFile& f : files) {
            PackageEntry* e = (PackageEntry*)MemAlloc(sizeof(PackageEntry) + f.name.size() + 1);
            strcpy(e->name, f.name.c_str());
            e->installedSize = f.installed;
            e->storedSize = (uint32_t)f.stored.size();
            e->offset = (uint32_t)data.size();
            data += f.stored;
            FileTable->entry[FileTable->count++] = e;
            FileTable->total += f.installed;
        }
        WriteWhole(packagePath, data);
        strcpy(InstallFile, packagePath.c_str());
        InstallFileGiven = 1;
        ASSERT_EQ(OpenPackage(), 1);
    }
    std::vector<PkgFile> Files() {
        std::vector<PkgFile> files = {{"dunzip32.dll", LibraryImage(), 0},
                                      {"quickref.txt", "Guide\r\n", 7}};
        files[0].installed = (uint32_t)files[0].stored.size();
        for (int i = 0; i < 30; i++) {
            std::string name = "data\\file" + std::to_string(i) + ".dat";
            std::string data = Sample(150000, i + 1);
            files.push_back(
                {name, MakeZip("file" + std::to_string(i) + ".dat", data), (uint32_t)data.size()});
        }
        return files;
    }
    std::vector<std::string> Left() {
        std::vector<std::string> out;
        ListFiles(dest, "", out);
        return out;
    }
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Libraries, InstallLoop,
                         ::testing::Values("dunzip32.dll", "dunzip_record.dll"),
                         [](const ::testing::TestParamInfo<const char*>& i) {
                             return std::string(i.index ? "RecordOnly" : "Direct");
                         });

TEST_P(InstallLoop, CancelQuestionAndInterruptedNotice) {
    struct {
        const char* what;
        bool inPlace;
        int answer;  // to the Cancel question
        const char* question;
        int result;
    } cases[] = {
        {"No goes on", false, IDNO, "Souhaitez-vous annuler l'installation ?", 1},
        {"Yes stops", false, IDYES, "Souhaitez-vous annuler l'installation ?", 0},
        // In place the earlier files are kept until the end: the question says they come back.
        {"in place", true, IDYES,
         "Souhaitez-vous annuler l'installation ?\n\nSi vous l'interrompez maintenant, la version "
         "ant\xE9rieure d'KOV sera r\xE9tablie",
         0},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        if (c.inPlace) strcpy(InstallSettings.PreviousDir, dest.c_str());
        std::vector<PkgFile> files = Files();
        Package(files);
        bool cancelPressed = false;
        int notices = 0;
        std::vector<std::string> labels;
        uitest::Act([&](HWND w) {
            std::string box = uitest::BoxText(w);
            if (GetDlgItem(w, 502)) {
                // The copy dialog: press Cancel once, when a file is on its way.
                labels.push_back(uitest::Text(w, 503));
                if (cancelPressed || labels.back().empty()) return false;
                cancelPressed = true;
                uitest::Press(w, 406);
                return false;  // keep reading its label
            }
            if (GetDlgItem(w, 408)) {
                notices++;  // the interrupted notice
                uitest::Press(w, 408);
                return true;
            }
            boxes.push_back(box);
            uitest::Press(w, c.answer);
            return true;
        });
        ASSERT_TRUE(CreateFrameWindow("KOV"));  // owner of the dialogs, and the gauge's class
        int result = InstallFiles();
        uitest::Stop();
        DestroyFrameWindow();
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(SetupError, 0);
        ASSERT_EQ(boxes.size(), 1u) << boxes[0] << "/" << boxes.back();
        EXPECT_EQ(boxes[0].find(c.question), 0u) << boxes[0] << LogTraceText();
        EXPECT_EQ(boxes[0].find("\n\nSi vous") != std::string::npos, c.inPlace);
        EXPECT_EQ(notices, c.result ? 0 : 1);
        if (c.result) {
            for (size_t i = 1; i < files.size(); i++) {
                std::string data = ReadWhole(dest + "\\" + files[i].name);
                EXPECT_EQ(data.size(), files[i].installed) << files[i].name;
                if (i >= 2) {
                    EXPECT_TRUE(data == Sample(150000, (unsigned)i - 1)) << files[i].name;
                }
            }
        } else {
            // The library was unloaded before the clean-up, so its file went too.
            EXPECT_TRUE(Left().empty()) << Left()[0];
            EXPECT_FALSE(DecompressorLoaded());
        }
        boxes.clear();
    }
}

TEST_P(InstallLoop, HostileArchivesStopAtThePromisedSize) {
    // Run on the small drive (KOV_INSTALL_DEST=S:\...), a member that ran past its size
    // would fill it and come back as "disk full" with its question instead.
    struct {
        const char* what;
        PkgFile file;
    } cases[] = {
        {"200 MB member", {"kov.exe", MakeZeroBomb("kov.exe", 200u << 20, 4096), 4096}},
        // The descriptor claims the promised size while the data runs on to 200 MB.
        {"lying descriptor", {"kov.exe", MakeZeroBomb("kov.exe", 200u << 20, 4096, true), 4096}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        Seat = QuietSeat;
        std::vector<PkgFile> files = {{"dunzip32.dll", LibraryImage(), 0}, c.file};
        files[0].installed = (uint32_t)files[0].stored.size();
        Package(files);
        uitest::Act([&](HWND w) {
            boxes.push_back(uitest::BoxText(w));
            uitest::Press(w, IDCANCEL);
            return true;
        });
        EXPECT_EQ(InstallFiles(), 0);
        uitest::Stop();
        EXPECT_EQ(SetupError, 1008);  // the library's "check value or size differs"
        EXPECT_TRUE(boxes.empty()) << boxes[0];
        EXPECT_TRUE(Left().empty()) << Left()[0];
        ConnectRun(0);
        boxes.clear();
    }
}
