// The decompression library as the setup uses it: loaded by full path, entry "dunzip",
// one 142-byte command record per archive.
#include <gtest/gtest.h>
#include <windows.h>
#include <zlib.h>
#include <string.h>
#include <string>

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

void Record(unsigned char* r, const char* archive, const char* dir) {
    memset(r, 0, 142);
    unsigned long words[][2] = {{0, 142}, {4, 8}, {36, 1}, {40, 1}, {48, 1}, {52, 1}};
    for (auto& w : words) memcpy(r + w[0], &w[1], 4);
    memcpy(r + 8, &archive, 4);
    memcpy(r + 24, &dir, 4);
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
    HANDLE h = CreateFileA("C:\\KOVZIP\\a.zip", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD n;
    WriteFile(h, zip.data(), zip.size(), &n, NULL);
    CloseHandle(h);

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
