// The decompression library's core over real archives made here.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>
#include <zlib.h>
#include <string>

#include "dunzip/unzip.h"
#include "tests/host/machine.h"

namespace {

void Put16(std::string& s, unsigned v) {
    s += (char)(v & 255);
    s += (char)(v >> 8 & 255);
}
void Put32(std::string& s, unsigned long v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16 & 0xFFFF);
}

std::string Deflate(const std::string& data) {
    z_stream z = {};
    deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, data.size()), '\0');
    z.next_in = (Bytef*)data.data();
    z.avail_in = data.size();
    z.next_out = (Bytef*)&out[0];
    z.avail_out = out.size();
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

struct ZipOptions {
    unsigned method = 8;
    bool descriptor = false;
    long crcDelta = 0;
    long sizeDelta = 0;
    bool central = true;       // a standard archive ends with its central directory
    long descriptorDelta = 0;  // added to the size the descriptor gives
    long centralDelta = 0;     // added to the size the central directory gives
};

std::string Zip(const std::string& name, const std::string& data, ZipOptions o = {}) {
    std::string packed = o.method == 8 ? Deflate(data) : data;
    unsigned long crc = crc32(0, (const Bytef*)data.data(), data.size()) + o.crcDelta;
    std::string z;
    Put32(z, 0x04034B50);
    Put16(z, 20);
    Put16(z, o.descriptor ? 8 : 0);
    Put16(z, o.method);
    Put16(z, 0);
    Put16(z, 0);
    Put32(z, o.descriptor ? 0 : crc);
    Put32(z, o.descriptor ? 0 : packed.size());
    Put32(z, o.descriptor ? 0 : data.size() + o.sizeDelta);
    Put16(z, name.size());
    Put16(z, 0);
    z += name + packed;
    if (o.descriptor) {
        Put32(z, 0x08074B50);
        Put32(z, crc);
        Put32(z, packed.size());
        Put32(z, data.size() + o.descriptorDelta);
    }
    if (!o.central) return z;
    size_t at = z.size();
    std::string c;
    Put32(c, 0x02014B50);
    Put16(c, 20);
    Put16(c, 20);
    Put16(c, o.descriptor ? 8 : 0);
    Put16(c, o.method);
    Put32(c, 0);
    Put32(c, crc);
    Put32(c, packed.size());
    Put32(c, data.size() + o.sizeDelta + o.centralDelta);
    Put16(c, name.size());
    Put16(c, 0);
    Put16(c, 0);
    Put16(c, 0);
    Put16(c, 0);
    Put32(c, 0);
    Put32(c, 0);
    c += name;
    z += c;
    Put32(z, 0x06054B50);
    Put32(z, 0);
    Put16(z, 1);
    Put16(z, 1);
    Put32(z, c.size());
    Put32(z, at);
    Put16(z, 0);
    return z;
}

struct Dir {
    std::string path;
    Dir() {
        char t[] = "/tmp/unzip.XXXXXX";
        path = mkdtemp(t);
    }
    ~Dir() {
        std::string c = "rm -rf '" + path + "'";
        if (system(c.c_str())) {}
    }
    std::string Write(const std::string& name, const std::string& data) {
        WriteHostFile(path + "/" + name, data);
        return path + "/" + name;
    }
    std::string Read(const std::string& name) {
        bool exists;
        std::string s = ReadHostFile(path + "/" + name, &exists);
        return exists ? s : "<absent>";
    }
};

std::string Sample(size_t n) {
    std::string s;
    unsigned x = 12345;
    while (s.size() < n) {
        x = x * 1103515245 + 12345;
        s += (char)("KOV modem \n\x01\xE9"[x >> 16 & 15 % 13]);
    }
    return s;
}

}  // namespace

TEST(Unzip, ExtractsTheMember) {
    struct {
        const char* what;
        std::string data;
        ZipOptions o;
    } cases[] = {
        {"deflate", Sample(200000), {}},
        {"stored", Sample(1000), {0}},
        {"descriptor", Sample(70000), {8, true}},
        {"empty", "", {}},
    };
    for (auto& c : cases) {
        Dir d;
        std::string archive = d.Write("a.zip", Zip("modem.ini", c.data, c.o));
        EXPECT_EQ(UnzipFirstMember(archive.c_str(), d.path.c_str(), '/'), UNZIP_OK) << c.what;
        EXPECT_EQ(d.Read("modem.ini"), c.data) << c.what;
    }
}

TEST(Unzip, RefusesDamagedOrHostileArchives) {
    std::string good = Zip("kov.exe", Sample(5000));
    struct {
        const char* what;
        std::string zip;
        int status;
    } cases[] = {
        {"bad crc", Zip("kov.exe", Sample(5000), {8, false, 1}), UNZIP_BAD_CRC},
        {"bad size", Zip("kov.exe", Sample(5000), {8, false, 0, 3}), UNZIP_BAD_CRC},
        {"truncated", good.substr(0, good.size() - 100), UNZIP_BAD_DATA},
        {"not a zip", "MZ" + std::string(100, 'x'), UNZIP_BAD_ARCHIVE},
        {"short header", good.substr(0, 20), UNZIP_BAD_ARCHIVE},
        {"parent", Zip("../evil.exe", "x"), UNZIP_BAD_NAME},
        {"folder", Zip("sub/evil.exe", "x"), UNZIP_BAD_NAME},
        {"backslash", Zip("..\\evil.exe", "x"), UNZIP_BAD_NAME},
        {"drive", Zip("C:evil.exe", "x"), UNZIP_BAD_NAME},
        {"serial port", Zip("com1", "ATZ"), UNZIP_BAD_NAME},
        {"printer", Zip("LPT1.TXT", "x"), UNZIP_BAD_NAME},
        {"null device", Zip("Nul.dll", "x"), UNZIP_BAD_NAME},
        {"method", Zip("kov.exe", "x", {12}), UNZIP_BAD_METHOD},
    };
    for (auto& c : cases) {
        Dir d;
        std::string archive = d.Write("a.zip", c.zip);
        EXPECT_EQ(UnzipFirstMember(archive.c_str(), d.path.c_str(), '/'), c.status) << c.what;
        EXPECT_EQ(d.Read("kov.exe"), "<absent>") << c.what;  // nothing half-written is left
        EXPECT_EQ(d.Read("../evil.exe"), "<absent>") << c.what;
    }
    EXPECT_EQ(UnzipFirstMember("/nonexistent/a.zip", "/tmp", '/'), UNZIP_NO_ARCHIVE);
    Dir d;
    std::string archive = d.Write("a.zip", good);
    EXPECT_EQ(UnzipFirstMember(archive.c_str(), "/nonexistent", '/'), UNZIP_CANNOT_CREATE);
}

TEST(Unzip, MemberLargerThanDeclaredIsRefusedBeforeWriting) {
    // The target stands for a full disk: anything written past the declared 10 bytes would
    // come back as "disk full" (28), which the setup answers by asking to free space.
    struct {
        const char* what;
        unsigned method;
    } cases[] = {{"deflate", 8}, {"stored", 0}};
    for (auto& c : cases) {
        Dir d;
        std::string archive =
            d.Write("a.zip", Zip("kov.exe", Sample(100000), {c.method, false, 0, -99990}));
        ASSERT_EQ(symlink("/dev/full", (d.path + "/kov.exe").c_str()), 0);
        EXPECT_EQ(UnzipFirstMember(archive.c_str(), d.path.c_str(), '/'), UNZIP_BAD_CRC) << c.what;
    }
}

TEST(Unzip, MemberWithDescriptorIsBoundByTheCentralDirectory) {
    // Sizes after the data cannot bound the inflate; the central directory's can. A stream
    // that runs past it (a bomb) stops there, before the full disk would be reported.
    std::string data = Sample(300000);
    struct {
        const char* what;
        ZipOptions o;
        int status;
        bool fullDisk;
    } cases[] = {
        {"descriptor lies", {8, true, 0, 0, true, 5}, UNZIP_BAD_CRC, false},
        {"central directory smaller", {8, true, 0, 0, true, 0, -299000}, UNZIP_BAD_CRC, true},
        {"no central directory", {8, true, 0, 0, false}, UNZIP_BAD_ARCHIVE, false},
    };
    for (auto& c : cases) {
        Dir d;
        std::string archive = d.Write("a.zip", Zip("kov.exe", data, c.o));
        if (c.fullDisk) ASSERT_EQ(symlink("/dev/full", (d.path + "/kov.exe").c_str()), 0);
        EXPECT_EQ(UnzipFirstMember(archive.c_str(), d.path.c_str(), '/'), c.status) << c.what;
        if (!c.fullDisk) EXPECT_EQ(d.Read("kov.exe"), "<absent>") << c.what;
    }
}

TEST(Unzip, CommandRecordChecked) {
    unsigned char record[UNZIP_COMMAND_SIZE] = {142, 0, 0, 0, 8};
    record[8] = 0x34, record[9] = 0x12, record[24] = 0x78, record[27] = 0x56;
    uint64_t a = 0, t = 0;
    EXPECT_EQ(ReadUnzipCommand(record, &a, &t), UNZIP_OK);
    EXPECT_EQ(a, 0x1234u);
    EXPECT_EQ(t, 0x56000078u);
    record[4] = 7;
    EXPECT_EQ(ReadUnzipCommand(record, &a, &t), UNZIP_BAD_COMMAND);
    record[4] = 8, record[0] = 141;
    EXPECT_EQ(ReadUnzipCommand(record, &a, &t), UNZIP_BAD_COMMAND);
}
