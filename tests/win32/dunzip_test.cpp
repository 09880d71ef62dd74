// The decompression library as the setup uses it: loaded by full path, entry "dunzip",
// one 142-byte command record per archive.
#include <gtest/gtest.h>
#include <windows.h>
#include <zlib.h>
#include <string.h>
#include <string>

#include "base/globals.h"
#include "base/path.h"
#include "install/decompress.h"
#include "install/state.h"

namespace {

typedef int(__stdcall* DunzipEntry)(unsigned char*);

void Put(std::string& s, unsigned long v, int bytes) {
    while (bytes--) {
        s += (char)(v & 255);
        v >>= 8;
    }
}

std::string OneMemberZip(const char* name, const std::string& data) {
    uLongf n = compressBound(data.size());
    std::string full(n, '\0');
    compress2((Bytef*)&full[0], &n, (const Bytef*)data.data(), data.size(), 6);
    std::string packed = full.substr(2, n - 6);  // raw deflate inside the zlib wrapper
    std::string z;
    Put(z, 0x04034B50, 4);
    Put(z, 20, 2);
    Put(z, 0, 2);
    Put(z, 8, 2);
    Put(z, 0, 4);
    Put(z, crc32(0, (const Bytef*)data.data(), data.size()), 4);
    Put(z, packed.size(), 4);
    Put(z, data.size(), 4);
    Put(z, strlen(name), 2);
    Put(z, 0, 2);
    return z + name + packed;
}

// The record as the library reads it: its address words as wide as a pointer of this build.
void Record(unsigned char* r, const char* archive, const char* dir) {
    memset(r, 0, 142);
    unsigned long words[][2] = {{0, 142}, {4, 8}, {36, 1}, {40, 1}, {48, 1}, {52, 1}};
    for (auto& w : words) memcpy(r + w[0], &w[1], 4);
    memcpy(r + 8, &archive, sizeof archive);
    memcpy(r + 24, &dir, sizeof dir);
}

void WriteHostFile(const char* path, const std::string& bytes) {
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD n;
    WriteFile(h, bytes.data(), (DWORD)bytes.size(), &n, NULL);
    CloseHandle(h);
}

}  // namespace

TEST(Dunzip, ExtractsThroughTheEntry) {
    // The build puts the library beside the test program, where the loader looks first.
    HMODULE lib = LoadLibraryA("dunzip32.dll");
    ASSERT_NE(lib, (HMODULE)NULL);
    DunzipEntry entry = (DunzipEntry)GetProcAddress(lib, "dunzip");
    ASSERT_NE(entry, (DunzipEntry)NULL);

    CreateDirectoryA("C:\\KOVZIP", NULL);
    std::string data;
    for (int i = 0; i < 5000; i++) data += "Bienvenue sur KOV\r\n";
    std::string zip = OneMemberZip("bienvenu.txt", data);
    WriteHostFile("C:\\KOVZIP\\a.zip", zip);

    unsigned char record[142];
    Record(record, "C:\\KOVZIP\\a.zip", "C:\\KOVZIP");
    EXPECT_EQ(entry(record), 0);
    WIN32_FILE_ATTRIBUTE_DATA info;
    ASSERT_TRUE(GetFileAttributesExA("C:\\KOVZIP\\bienvenu.txt", GetFileExInfoStandard, &info));
    EXPECT_EQ(info.nFileSizeLow, data.size());
    EXPECT_TRUE(GetFileAttributesA("C:\\KOVZIP\\a.zip") !=
                INVALID_FILE_ATTRIBUTES);  // left for the caller

    record[0] = 141;
    EXPECT_EQ(entry(record), 11);
    Record(record, "C:\\KOVZIP\\missing.zip", "C:\\KOVZIP");
    EXPECT_EQ(entry(record), 2);

    DeleteFileA("C:\\KOVZIP\\bienvenu.txt");
    DeleteFileA("C:\\KOVZIP\\a.zip");
    RemoveDirectoryA("C:\\KOVZIP");
    FreeLibrary(lib);
}

// The setup's own record writer and the library, with the archive and folder names in memory
// above 4 GB on a 64-bit build (the top of the address space), where an address cut to 32 bits
// would point elsewhere; on i386 the same memory is simply the highest the process has.
TEST(Dunzip, AddressesAboveFourGigabytesReachTheLibrary) {
    char* high =
        (char*)VirtualAlloc(NULL, 65536, MEM_RESERVE | MEM_COMMIT | MEM_TOP_DOWN, PAGE_READWRITE);
    ASSERT_NE(high, nullptr);
#ifdef _WIN64
    ASSERT_GT((uint64_t)(uintptr_t)high, 0xFFFFFFFFull);
#endif
    CreateDirectoryA("C:\\KOVHIGH", NULL);
    ASSERT_TRUE(CopyFileA("dunzip32.dll", "C:\\KOVHIGH\\dunzip32.dll", FALSE));
    WriteHostFile("C:\\KOVHIGH\\high.zip", OneMemberZip("haut.txt", "au-dessus de 4 Go"));
    strcpy(high, "C:\\KOVHIGH\\high.zip");
    strcpy(high + 1024, "C:\\KOVHIGH");
    CopyText(InstallSettings.DestDir, "C:\\KOVHIGH", sizeof InstallSettings.DestDir);
    ASSERT_EQ(LoadDecompressor(), 1);
    EXPECT_EQ(RunDecompressor(nullptr, high, high + 1024), 0u);
    // The words in the record are the whole addresses.
    uint64_t word = 0;
    memcpy(&word, InstallState.UnzipCommand + 8, sizeof(void*));
    EXPECT_EQ(word, (uint64_t)(uintptr_t)high);
    FreeDecompressor();
    WIN32_FILE_ATTRIBUTE_DATA info;
    EXPECT_TRUE(GetFileAttributesExA("C:\\KOVHIGH\\haut.txt", GetFileExInfoStandard, &info));
    for (const char* f : {"haut.txt", "high.zip", "dunzip32.dll"}) {
        char path[MAX_PATH];
        DeleteFileA(JoinPath(path, "C:\\KOVHIGH", f, (const char*)nullptr));
    }
    RemoveDirectoryA("C:\\KOVHIGH");
    InstallSettings.DestDir[0] = 0;
    VirtualFree(high, 0, MEM_RELEASE);
}

// The direct entry reads the archive through the caller's reader (here a string in memory)
// and writes the member to the file named, when it is that file and size; the build that
// keeps to the record alone does not export it.
namespace {
intptr_t __stdcall ReadString(void* context, uintptr_t at, void* buffer, uintptr_t count) {
    const std::string* s = (const std::string*)context;
    if (at > s->size()) return -1;
    size_t n = count < s->size() - at ? count : s->size() - at;
    memcpy(buffer, s->data() + at, n);
    return (intptr_t)n;
}
typedef int(__stdcall* DirectEntry)(intptr_t(__stdcall*)(void*, uintptr_t, void*, uintptr_t), void*,
                                    uintptr_t, const char*, uintptr_t);
}  // namespace

TEST(Dunzip, DirectEntryWritesTheNamedFileOnly) {
    HMODULE lib = LoadLibraryA("dunzip32.dll");
    ASSERT_NE(lib, (HMODULE)NULL);
    DirectEntry direct = (DirectEntry)GetProcAddress(lib, "dunzip_direct");
    ASSERT_NE(direct, (DirectEntry)NULL);
    CreateDirectoryA("C:\\KOVDIRECT", NULL);
    std::string data;
    for (int i = 0; i < 5000; i++) data += "Bienvenue sur KOV\r\n";
    std::string zip = OneMemberZip("bienvenu.txt", data);
    const char* target = "C:\\KOVDIRECT\\BIENVENU.TXT";
    struct {
        const char* what;
        const char* target;
        size_t size;
        int status;
    } cases[] = {
        {"the file promised", target, data.size(), 0},
        {"another size", target, data.size() + 1, 12},
        {"another name", "C:\\KOVDIRECT\\autre.txt", data.size(), 12},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(direct(ReadString, &zip, zip.size(), c.target, c.size), c.status);
        WIN32_FILE_ATTRIBUTE_DATA info;
        bool there = GetFileAttributesExA(c.target, GetFileExInfoStandard, &info);
        EXPECT_EQ(there, c.status == 0);
        if (there) EXPECT_EQ(info.nFileSizeLow, data.size());
        DeleteFileA(c.target);
    }
    RemoveDirectoryA("C:\\KOVDIRECT");
    FreeLibrary(lib);

    HMODULE recordOnly = LoadLibraryA("dunzip_record.dll");
    ASSERT_NE(recordOnly, (HMODULE)NULL);
    EXPECT_NE(GetProcAddress(recordOnly, "dunzip"), (FARPROC)NULL);
    EXPECT_EQ(GetProcAddress(recordOnly, "dunzip_direct"), (FARPROC)NULL);
    FreeLibrary(recordOnly);
}
