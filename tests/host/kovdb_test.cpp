// The kovdb inspector, run as a program: its output, its edits and its exit codes.
#include <gtest/gtest.h>

#include "tests/host/machine.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <string>

#ifndef KOV_BINARY_DIR
#define KOV_BINARY_DIR "."
#endif

namespace {

struct Result {
    int code;
    std::string out;
    std::string err;
};

class Kovdb : public ::testing::Test {
protected:
    std::string dir;
    void SetUp() override {
        char tmpl[] = "/tmp/kovdbtool.XXXXXX";
        dir = mkdtemp(tmpl);
    }
    void TearDown() override { (void)system(("rm -rf '" + dir + "'").c_str()); }

    // Runs kovdb with args (shell words) in the test's folder; prefix goes before the program.
    Result Run(const std::string& args, const std::string& prefix = "") {
        std::string cmd =
            "cd '" + dir + "' && " + prefix + "'" KOV_BINARY_DIR "/kovdb' " + args + " 2>err.txt";
        Result r{-1, "", ""};
        FILE* p = popen(cmd.c_str(), "r");
        if (!p) return r;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
        int status = pclose(p);
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        FILE* e = fopen((dir + "/err.txt").c_str(), "rb");
        if (e) {
            while ((n = fread(buf, 1, sizeof buf, e)) > 0) r.err.append(buf, n);
            fclose(e);
        }
        return r;
    }
    std::string Bytes(const char* name) { return ReadHostFile(dir + "/" + name); }
    void Write(const char* name, const std::string& bytes) {
        WriteHostFile(dir + "/" + name, bytes);
    }
};

TEST_F(Kovdb, CreateSetListGetDelete) {
    for (const char* form : {"", " --old-form"}) {
        SCOPED_TRACE(*form ? "old form" : "new form");
        (void)system(("rm -f '" + dir + "/main.idx'").c_str());
        ASSERT_EQ(0, Run(std::string("create main.idx --id 0x01000401") + form).code);
        EXPECT_EQ(*form ? 10u : 25u, Bytes("main.idx").size());
        Write("blob.bin", std::string("\x00\x01\x02", 3));
        struct {
            const char* args;
            int code;
        } steps[] = {
            {"set main.idx 0x14000011 --number 258", 0},
            {"set main.idx 0x1400002D --text 'modem 1.ini'", 0},
            {"set main.idx 7 --hex 00ff10", 0},
            {"set main.idx 0x01000001 --hex 41 --type p", 0},
            {"set main.idx 8 --file blob.bin", 0},
            {"set main.idx 7 --hex 0102", 0},  // another length: appended
            {"delete main.idx 8", 0},
            {"delete main.idx 8", 1},
            {"delete main.idx 9", 1},
        };
        for (auto& s : steps) EXPECT_EQ(s.code, Run(s.args).code) << s.args;

        // 7's first live occurrence is now its appended copy: it comes first.
        EXPECT_EQ("0x00000007 b 2\n"
                  "0x01000001 p 1\n"
                  "0x1400002D t 11\n"
                  "0x14000011 b 4\n",
                  Run("list main.idx").out);
        struct {
            const char* gid;
            std::string data;
            int code;
        } gets[] = {
            {"0x14000011", std::string("\x00\x00\x01\x02", 4), 0},
            {"0x1400002d", "modem 1.ini\n", 0},  // a text ends with a newline
            {"7", "\x01\x02", 0},
            {"8", "", 1},
        };
        for (auto& g : gets) {
            Result r = Run(std::string("get main.idx ") + g.gid);
            EXPECT_EQ(g.code, r.code) << g.gid;
            EXPECT_EQ(g.data, r.out) << g.gid;
        }
        Result dump = Run("dump main.idx");
        EXPECT_EQ(0, dump.code);
        EXPECT_NE(std::string::npos, dump.out.find(*form ? "form old" : "form new"));
        EXPECT_NE(std::string::npos, dump.out.find("identifier 0x01000401"));
        EXPECT_NE(std::string::npos, dump.out.find("number: 258"));
        EXPECT_NE(std::string::npos, dump.out.find("text: \"modem 1.ini\""));
        EXPECT_NE(std::string::npos, dump.out.find("flags 0x0070 type p"));
        EXPECT_EQ(0, Run("check main.idx").code);
    }
}

TEST_F(Kovdb, CheckReportsDamage) {
    ASSERT_EQ(0, Run("create d.idx --id 5").code);
    ASSERT_EQ(0, Run("set d.idx 1 --text first").code);
    ASSERT_EQ(0, Run("set d.idx 2 --text second").code);
    ASSERT_EQ(0, Run("set d.idx 3 --text third").code);
    std::string clean = Bytes("d.idx");
    unsigned second = 25 + 26 + 5;

    std::string inserted = clean;
    inserted.insert(second, "#");
    Write("d.idx", inserted);
    Result r = Run("check d.idx");
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos,
              r.out.find("skipped 1 bytes: bad header at 56, next good header at 57"))
        << r.out;
    EXPECT_EQ("0x00000003 t 5\n0x00000002 t 6\n0x00000001 t 5\n", Run("list d.idx").out);

    Write("d.idx", clean + "R2D2");
    r = Run("check d.idx");
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos, r.out.find("short tail: 4 bytes")) << r.out;

    Write("d.idx", clean.substr(0, clean.size() - 2));
    r = Run("check d.idx");
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos, r.out.find("record 0x00000003")) << r.out;

    // An unfinished copy of record 3 at the end: the complete one is read, the damage still shown.
    Write("d.idx", clean + std::string("R2D2\x03\0\0\0\x0d\0\0\0t ", 14) + std::string(12, '\0') +
                       "third, long");
    EXPECT_EQ("third\n", Run("get d.idx 3").out);
    r = Run("check d.idx");
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos, r.out.find("data missing: the last record ends 2 bytes past"))
        << r.out;

    // Damage in the last record: the records before it are read, the end is kept.
    std::string last = clean;
    last[second + 26 + 6] = '#';
    Write("d.idx", last);
    r = Run("check d.idx");
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos, r.out.find("damaged end: the 31 bytes at 88")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("2 records, 1 damaged places")) << r.out;
    r = Run("list d.idx");
    EXPECT_EQ(1, r.code);
    EXPECT_EQ("0x00000002 t 6\n0x00000001 t 5\n", r.out);

    // Eight bytes over the second header after its magic: a made-up record whose data would
    // run past the end. It is damage in the middle, told once; the last record is read.
    std::string over = clean;
    over.replace(second + 4, 8, "XXXXXXXX");
    Write("d.idx", over);
    r = Run("check d.idx");
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos,
              r.out.find("skipped 32 bytes: bad header at 56, next good header at 88"))
        << r.out;
    EXPECT_EQ(std::string::npos, r.out.find("past the end")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("2 records, 1 damaged places")) << r.out;
    EXPECT_EQ("0x00000003 t 5\n0x00000001 t 5\n", Run("list d.idx").out);

    // A length with bit 16 set: read by its low 16 bits, and said.
    std::string high = clean;
    high[second + 10] = 1;
    Write("d.idx", high);
    r = Run("check d.idx");
    EXPECT_EQ(1, r.code);
    EXPECT_NE(std::string::npos, r.out.find("wrong length: the record header at 56")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("3 records, 1 damaged places")) << r.out;

    Write("d.idx", "DC");
    r = Run("check d.idx");
    EXPECT_EQ(3, r.code);
    EXPECT_NE(std::string::npos, r.out.find("unreadable")) << r.out;
}

TEST_F(Kovdb, EveryCommandSaysWhenItMeetsDamage) {
    ASSERT_EQ(0, Run("create d.idx --id 5").code);
    ASSERT_EQ(0, Run("set d.idx 1 --text first").code);
    ASSERT_EQ(0, Run("set d.idx 2 --text second").code);
    ASSERT_EQ(0, Run("set d.idx 3 --text third").code);
    std::string clean = Bytes("d.idx");
    std::string skipped = clean;
    skipped.insert(25 + 26 + 5, "#");
    struct {
        const char* what;
        std::string bytes;
        const char* checkSays;
    } files[] = {
        {"a skipped place", skipped, "3 records, 1 damaged places (1 bytes skipped)"},
        {"30 bytes of garbage at the end", clean + std::string(30, 'g'),
         "3 records, 1 damaged places"},
        {"a short tail", clean + "R2D2", "3 records, 1 damaged places"},
        {"an unfinished last record", clean.substr(0, clean.size() - 2),
         "3 records, 1 damaged places"},
    };
    for (auto& f : files) {
        SCOPED_TRACE(f.what);
        for (const char* args : {"list d.idx", "dump d.idx", "get d.idx 1", "check d.idx"}) {
            SCOPED_TRACE(args);
            Write("d.idx", f.bytes);
            Result r = Run(args);
            EXPECT_EQ(1, r.code);
            if (strcmp(args, "check d.idx") != 0) {
                EXPECT_NE(std::string::npos, r.err.find("kovdb: warning: d.idx")) << r.err;
            } else {
                EXPECT_NE(std::string::npos, r.out.find(f.checkSays)) << r.out;
            }
            if (!strcmp(args, "get d.idx 1")) EXPECT_EQ("first\n", r.out);
            EXPECT_EQ(f.bytes, Bytes("d.idx"));
        }
    }
    // A write that cuts an unfinished record off says so.
    Write("d.idx", clean.substr(0, clean.size() - 2));
    Result r = Run("set d.idx 9 --text nine");
    EXPECT_EQ(0, r.code);
    EXPECT_NE(std::string::npos, r.err.find("unfinished record at 88")) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("cut off")) << r.err;
    EXPECT_EQ(0, Run("check d.idx").code);
}

TEST_F(Kovdb, ReadOnlyCommandsChangeNothing) {
    const char* reads[] = {"list d.idx", "dump d.idx", "get d.idx 1", "check d.idx"};
    // Neither a file that is no database nor a sound one loses its companion index.
    for (const std::string& bytes : {std::string("DC"), std::string()}) {
        if (bytes.empty()) {
            ASSERT_EQ(0, unlink((dir + "/d.idx").c_str()));
            ASSERT_EQ(0, Run("create d.idx --id 5").code);
            ASSERT_EQ(0, Run("set d.idx 1 --text first").code);
        } else {
            Write("d.idx", bytes);
        }
        std::string before = Bytes("d.idx");
        for (const char* args : reads) {
            Write("d.ind", "client index");
            EXPECT_EQ(bytes.empty() ? 0 : 3, Run(args).code) << args;
            EXPECT_EQ("client index", Bytes("d.ind")) << args;
            EXPECT_EQ(before, Bytes("d.idx")) << args;
        }
    }
    // A database nobody may write can still be read. The superuser writes anything, so the
    // commands then run as nobody.
    std::string prefix;
    if (geteuid() == 0) {
        if (system("command -v setpriv >/dev/null") != 0) GTEST_SKIP() << "no setpriv";
        prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    }
    ASSERT_EQ(0, chmod(dir.c_str(), 0777));
    ASSERT_EQ(0, chmod((dir + "/d.idx").c_str(), 0444));
    for (const char* args : reads) EXPECT_EQ(0, Run(args, prefix).code) << args;
    EXPECT_EQ("first\n", Run("get d.idx 1", prefix).out);
    EXPECT_EQ(3, Run("set d.idx 2 --text x", prefix).code);
}

TEST_F(Kovdb, NumbersAreDecimalOrHex) {
    ASSERT_EQ(0, Run("create n.idx --id 010").code);
    EXPECT_NE(std::string::npos, Run("dump n.idx").out.find("identifier 0x0000000A"));
    struct {
        const char* gid;
        const char* listed;  // the GID as list shows it, null: refused
    } cases[] = {
        {"010", "0x0000000A"},
        {"08", "0x00000008"},
        {"0x1f", "0x0000001F"},
        {"0X20", "0x00000020"},
        {"4294967295", "0xFFFFFFFF"},
        {"0x", nullptr},
        {"+5", nullptr},
        {" 5", nullptr},
        {"0x-1", nullptr},
        {"1e3", nullptr},
        {"0b1", nullptr},
        {"0x100000000", nullptr},
    };
    for (auto& c : cases) {
        Result r = Run(std::string("set n.idx '") + c.gid + "' --number 1");
        EXPECT_EQ(c.listed ? 0 : 2, r.code) << c.gid;
        if (c.listed) {
            EXPECT_NE(std::string::npos, Run("list n.idx").out.find(c.listed)) << c.gid;
            EXPECT_EQ(0, Run(std::string("get n.idx '") + c.gid + "'").code) << c.gid;
        }
    }
}

// What support meets: a value of the wrong kind for a key the setup reads, a damaged file
// header, and writes that cannot happen, each said with its reason.
TEST_F(Kovdb, RefusalsSayWhy) {
    ASSERT_EQ(0, Run("create k.idx --id 0x01000401").code);
    std::string empty = Bytes("k.idx");
    struct {
        const char* args;
        int code;
        const char* says;  // on standard error; "" for nothing in particular
    } sets[] = {
        {"set k.idx 0x14000015 --text deux", 2, "0x14000015 (COM port) holds a number"},
        {"set k.idx 0x14000015 --hex 0003", 2, "gives not 4 bytes"},
        {"set k.idx 0x1400011B --number 5", 2, "0x1400011B (installation folder) holds a text"},
        {"set k.idx 0x14000015 --number 3", 0, ""},
        {"set k.idx 0x14000015 --hex 00000003", 0, ""},
        {"set k.idx 0x1400011B --hex 43", 0, ""},
        {"set k.idx 0x1400011B --number 5 --force", 0, ""},
        {"set k.idx 0x14000015 --force --text deux", 0, ""},
    };
    for (const auto& c : sets) {
        std::string before = Bytes("k.idx");
        Result r = Run(c.args);
        EXPECT_EQ(c.code, r.code) << c.args << "\n" << r.err;
        EXPECT_NE(std::string::npos, r.err.find(c.says)) << c.args << "\n" << r.err;
        if (c.code) EXPECT_EQ(before, Bytes("k.idx")) << c.args;
    }
    EXPECT_NE(std::string::npos, Run("set k.idx 0x14000015 --text deux").err.find("--force"));

    // A signature zeroed or overwritten is damage, whatever the records after it; its case
    // does not matter to the reader.
    ASSERT_EQ(0, Run("set k.idx 1 --text un").code);
    std::string good = Bytes("k.idx");
    EXPECT_EQ(0, Run("check k.idx").code);
    struct {
        const char* what;
        std::string header;
        int code;
    } headers[] = {
        {"zeroed", std::string(9, '\0'), 1},
        {"overwritten", "XXXXXXXXX", 1},
        {"no NUL", "KOVDB-25 ", 1},
        {"lower case", std::string("kovdb-25\0", 9), 0},
    };
    for (const auto& h : headers) {
        Write("k.idx", h.header + good.substr(9));
        Result r = Run("check k.idx");
        EXPECT_EQ(h.code, r.code) << h.what << "\n" << r.out;
        EXPECT_EQ(h.code != 0, r.out.find("damaged file header") != std::string::npos)
            << h.what << "\n"
            << r.out;
        EXPECT_EQ(h.code == 0, r.out.find("no damage") != std::string::npos) << h.what;
    }

    // Damage that may hide records: nothing is appended, and the refusal says why. A length
    // that runs past the end of the file in the middle (a valid header follows), and the last
    // header overwritten (the end itself may hold records).
    Write("k.idx", empty);
    ASSERT_EQ(0, Run("set k.idx 1 --text first").code);
    ASSERT_EQ(0, Run("set k.idx 2 --text second").code);
    ASSERT_EQ(0, Run("set k.idx 3 --text third").code);
    const std::string sound = Bytes("k.idx");
    struct {
        unsigned at;  // where the damage is written
        std::string bytes;
        const char* why;
    } lengths[] = {
        {25 + 26 + 5 + 9, "\x50", "k.idx holds a damaged record length before its end"},
        {25 + 26 + 5 + 26 + 6, "XXXX", "k.idx is damaged from 88 to its end"},
    };
    Result r;
    for (const auto& l : lengths) {
        std::string damaged = sound;
        damaged.replace(l.at, l.bytes.size(), l.bytes);
        Write("k.idx", damaged);
        r = Run("set k.idx 4 --text fourth");
        EXPECT_EQ(4, r.code) << l.why;
        EXPECT_NE(std::string::npos,
                  r.err.find(std::string("writing record 0x00000004 refused: ") + l.why))
            << r.err;
        EXPECT_EQ(damaged, Bytes("k.idx"));
    }

    r = Run("get absent.idx 1");
    EXPECT_EQ(3, r.code);
    EXPECT_NE(std::string::npos, r.err.find("cannot open absent.idx: No such file or directory"))
        << r.err;
    // A file nobody may write: opened for writing, refused by the system. The superuser
    // writes anything, so the command then runs as nobody.
    std::string prefix;
    if (geteuid() == 0) {
        if (system("command -v setpriv >/dev/null") != 0) GTEST_SKIP() << "no setpriv";
        prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    }
    Write("ro.db", empty);
    ASSERT_EQ(0, chmod(dir.c_str(), 0777));
    ASSERT_EQ(0, chmod((dir + "/ro.db").c_str(), 0444));
    r = Run("set ro.db 1 --text x", prefix);
    EXPECT_EQ(3, r.code);
    EXPECT_NE(std::string::npos, r.err.find("cannot open ro.db for writing: Permission denied"))
        << r.err;
}

TEST_F(Kovdb, CommandLineErrors) {
    ASSERT_EQ(0, Run("create x.idx --id 1").code);
    ASSERT_EQ(0, mkdir((dir + "/folder").c_str(), 0755));
    struct {
        const char* args;
        int code;
    } cases[] = {
        {"", 2},
        {"list", 2},
        {"frobnicate x.idx", 2},
        {"get x.idx", 2},
        {"get x.idx 0xZZ", 2},
        {"get x.idx 0x100000000", 2},
        {"get x.idx -1", 2},
        {"list x.idx extra", 2},
        {"set x.idx 1", 2},
        {"set x.idx 1 --number 1 --text a", 2},
        {"set x.idx 1 --hex 0", 2},
        {"set x.idx 1 --text a --type q", 2},
        {"set x.idx 1 --number", 2},
        {"create y.idx", 2},
        {"create x.idx --id 1", 3},
        {"list absent.idx", 3},
        {"set x.idx 1 --file absent.bin", 3},
        {"set x.idx 1 --file folder", 3},  // a folder cannot be read: no empty record
        {"get x.idx 1", 1},
    };
    for (auto& c : cases) {
        Result r = Run(c.args);
        EXPECT_EQ(c.code, r.code) << c.args;
        EXPECT_NE(std::string::npos, r.err.find("kovdb: ")) << c.args;
    }
    Result help = Run("--help");
    EXPECT_EQ(0, help.code);
    EXPECT_NE(std::string::npos, help.out.find("exit status"));
}

}  // namespace

namespace {

// Texts are stored in Windows-1252: a UTF-8 terminal reads and writes them as UTF-8, a
// script with --raw (or any other locale) gets the stored bytes.
TEST_F(Kovdb, TextsFollowTheLocale) {
    const std::string utf8 = "LC_ALL=C.UTF-8 ", plain = "LC_ALL=C ";
    ASSERT_EQ(Run("create t.db --id 0x01000401").code, 0);
    ASSERT_EQ(Run("set t.db 0x14000044 --text 're\xC3\xA7u \xE2\x82\xAC'", utf8).code, 0);
    EXPECT_EQ(Run("--raw get t.db 0x14000044", utf8).out, "re\xE7u \x80");
    struct {
        std::string args, prefix, out;
    } cases[] = {
        {"get t.db 0x14000044", utf8, "re\xC3\xA7u \xE2\x82\xAC"},
        {"get t.db 0x14000044", plain, "re\xE7u \x80"},
        {"dump t.db", utf8, "text: \"re\xC3\xA7u \xE2\x82\xAC\""},
        {"dump t.db", plain, "text: \"re\\xE7u \\x80\""},
        {"--raw dump t.db", utf8, "text: \"re\\xE7u \\x80\""},
    };
    for (const auto& c : cases) {
        Result r = Run(c.args, c.prefix);
        EXPECT_EQ(r.code, 0) << c.args;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << c.prefix << c.args << "\n" << r.out;
    }
    // A character the code page cannot hold is refused and nothing is written; --raw stores
    // the bytes as given.
    Result r = Run("set t.db 0x14000044 --text '\xE6\x97\xA5'", utf8);
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("U+65E5 has no place in Windows-1252"), std::string::npos) << r.err;
    EXPECT_EQ(Run("--raw get t.db 0x14000044", utf8).out, "re\xE7u \x80");
    ASSERT_EQ(Run("--raw set t.db 0x14000044 --text '\xE6\x97\xA5'", utf8).code, 0);
    EXPECT_EQ(Run("--raw get t.db 0x14000044").out, "\xE6\x97\xA5");
}

TEST_F(Kovdb, KeysAndVersion) {
    Result keys = Run("keys");
    EXPECT_EQ(keys.code, 0);
    for (const char* line : {"0x01000401", "0x1400006D", "0x14000044  text", "ExpectedDbKind"})
        EXPECT_NE(keys.out.find(line), std::string::npos) << line << "\n" << keys.out;
    EXPECT_EQ(Run("keys t.db").code, 2);
    Result v = Run("--version");
    EXPECT_EQ(v.code, 0);
    EXPECT_EQ(v.out.compare(0, 6, "kovdb "), 0) << v.out;
}

}  // namespace
