// The string table the native build carries is generated from res/strings.rc, the same source
// windres compiles, so these checks hold for both builds.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "base/globals.h"
#include "res/resource.h"
#include "res/strings.h"
#include "sys/posix/strings_table.h"
#include "tests/cp1252.h"

namespace {

std::map<unsigned, std::string> Table() {
    std::map<unsigned, std::string> t;
    for (int i = 0; i < KovStringCount; ++i) t[KovStrings[i].id] = KovStrings[i].text;
    return t;
}

TEST(StringTable, IdsAreUniqueAndInRange) {
    std::set<unsigned> seen;
    for (int i = 0; i < KovStringCount; ++i) {
        unsigned id = KovStrings[i].id;
        EXPECT_GE(id, 34000u);
        EXPECT_LE(id, 35102u);
        EXPECT_TRUE(seen.insert(id).second) << "duplicate id " << id;
        EXPECT_NE(KovStrings[i].text[0], '\0') << "empty text " << id;
    }
    EXPECT_EQ(KovStrings[KovStringCount].text, nullptr);  // terminator row
}

TEST(StringTable, ExactTexts) {
    // The generated name, the number the system fixes and the text: a name must not hide a
    // wrong number, and the number must carry its text.
    struct Case {
        unsigned named, id;
        const char* utf8;
    };
    const Case cases[] = {
        {IDS_CLIENT_RUNNING, 34001,
         "Veuillez quitter KOV avant d'exécuter le programme d'installation."},
        {IDS_CLIENT_MODULE, 34007, "WKOV.EXE"},
        {IDS_WIN31_SETUP, 34012, "KOV31\\SETUP16.EXE"},
        {IDS_DISK_FULL, 34050,
         "Espace disque insuffisant pour l'installation.\n\nLibérez de l'espace puis "
         "sélectionnez 'Réessayer'."},
        {IDS_LOW_MEMORY, 34200,
         "Mémoire insuffisante pour continuer.\n\nFermez au moins une application et "
         "sélectionnez 'Réessayer'."},
        {IDS_CANNOT_CONTINUE, 34202, "L'installation ne peut pas continuer."},
        {IDS_CAPTION, 34304, "Installation"},
        {IDS_PRODUCT, 34306, "KOV"},
        {IDS_INSERT_DISK, 34308,
         "Veuillez insérer cet élément : %s puis cliquer sur OK pour continuer."},
        {IDS_DB_DISK_FULL, 34400,
         "Espace disque insuffisant pour continuer !\n\nSupprimez au moins un fichier du "
         "lecteur %c:, puis sélectionnez 'Réessayer' pour continuer."},
        {IDS_NEW_MARK, 34502, "NOUVEAU"},
        {IDS_PROFILE_CLASS33, 34605, "CLASS33.MDM"},
        {IDS_TOOL_PATTERN, 34707, "TOOL\\*.KOV"},
        {IDS_SPACE_OTHER_DRIVE, 34715, "ou sélectionner une autre unité.  "},
        {IDS_DRIVE_HEADER, 34724, "Available Drives\tType\tFree Space(KB)"},
        {IDS_GUEST_NAME, 34900, "Invité    "},
        {IDS_MOVE_DOWNLOADS, 34911,
         "Souhaitez-vous que les fichiers figurant dans l'ancien dossier DOWNLOAD soient "
         "déplacés dans le nouveau dossier ?"},
        {IDS_NEWER_REGISTERED, 35000,
         "Une version plus récente d'KOV est installée sur votre système. Souhaitez-vous "
         "l'écraser ?"},
    };
    auto t = Table();
    for (const Case& c : cases) {
        EXPECT_EQ(c.named, c.id);
        ASSERT_TRUE(t.count(c.id)) << c.id;
        EXPECT_EQ(t[c.id], Cp1252(c.utf8)) << c.id;
    }
    EXPECT_EQ(IDS_FATAL_ERROR, 34002);
    EXPECT_EQ(IDS_FATAL_ADVICE, 34003);
    // The fatal error message is two entries shown back to back.
    EXPECT_EQ(t[34002] + t[34003],
              Cp1252("Erreur (n° %u) détectée. L'installation est interrompue.\n\nCette erreur a "
                     "pu être générée par une copie altérée du programme d'installation ou un "
                     "disque défectueux.Veuillez réinitialiser votre système et réessayer. Si "
                     "l'incident persiste, veuillez contacter le Service clientèle d'KOV au "
                     "01-23-45-67-89."));
    EXPECT_EQ(t[34002].substr(8, 2), "n\xb0");  // the degree-like sign is one cp1252 byte
}

// Every message goes through wsprintf: a text carries exactly the placeholders its caller
// fills in, and no other text may hold a '%'.
TEST(StringTable, FormatPlaceholders) {
    const std::map<unsigned, std::string> expected = {
        {34002, "%u"}, {34301, "%d"}, {34302, "%d"},  {34307, "%d"},
        {34308, "%s"}, {34400, "%c"}, {34700, "%lu"}, {34713, "%lu"},
    };
    for (const auto& e : Table()) {
        std::string found;
        for (size_t p = e.second.find('%'); p != std::string::npos; p = e.second.find('%', p + 1)) {
            size_t q = p + 1;
            while (q < e.second.size() && e.second[q] == 'l') ++q;
            found += e.second.substr(p, q - p + 1);
        }
        auto it = expected.find(e.first);
        EXPECT_EQ(found, it == expected.end() ? "" : it->second) << e.first;
    }
}

// Names loaded into the 50-byte caption buffer must not be cut.
TEST(StringTable, CaptionsFitTheirBuffer) {
    const unsigned captions[] = {34007, 34008, 34009, 34080, 34304, 34306, 34502, 34605, 34607,
                                 34611, 34707, 34709, 34711, 34721, 34722, 34723, 34902};
    auto t = Table();
    for (unsigned id : captions) {
        ASSERT_TRUE(t.count(id)) << id;
        EXPECT_LE(t[id].size(), 49u) << id;
    }
}

// The shared names of res/resource.h against the numbers the templates, the robot's rules
// and the recorded behaviour use.
TEST(ResourceIds, NamesCarryTheFixedNumbers) {
    const std::pair<int, int> ids[] = {
        {IDI_SETUP, 300},
        {IDB_TITLE, 350},
        {IDR_PACKAGE_OFFSET, 100},
        {IDD_COPY, 200},
        {IDD_WELCOME, 201},
        {IDD_PREVSEARCH, 202},
        {IDD_MODEMSEARCH, 203},
        {IDD_NOMODEM, 204},
        {IDD_CONFIRMQUIT, 205},
        {IDD_PREVDIR_FOUND, 206},
        {IDD_PREVDIR_NONE, 207},
        {IDD_DESTDIR_MIGRATE, 208},
        {IDD_DESTDIR, 209},
        {IDD_MIGRATE, 210},
        {IDD_COLOURS16, 211},
        {IDD_INTERRUPTED, 212},
        {IDD_FINISHED, 213},
        {IDD_FINISHED_MIGRATED, 214},
        {IDD_SHORTCUT, 217},
        {IDD_RESTART, 218},
        {IDD_NEXTDISK, 219},
        {IDD_COPY_CONTINUED, 220},
        {IDD_WELCOME_CACHE, 223},
        {IDD_GRAPHICS_REQUESTED, 224},
        {IDD_GRAPHICS, 225},
        {IDD_WIN31_FALLBACK, 226},
        {IDD_SLOWMACHINE, 227},
        {IDD_WIN95DISK, 228},
        {IDD_QUICKREF, 229},
        {IDD_DISKSPACE, 231},
        {IDD_DRIVES, 232},
        {IDD_RESTART_EN, 233},
        {IDD_ADDONS, 235},
        {ID_FIRST_END, 400},
        {ID_LAST_END, 418},
        {ID_INSTALL, 401},
        {ID_SHOWDIRS, 402},
        {ID_QUIT, 403},
        {ID_SKIP, 404},
        {ID_RETRY, 405},
        {ID_CANCEL, 406},
        {ID_CLOSED, 406},
        {ID_RESUME, 407},
        {ID_CONTINUE, 408},
        {ID_RESTORE, 409},
        {ID_OK, 412},
        {ID_YES, 413},
        {ID_OTHEREDITION, 414},
        {ID_PRINTNOW, 415},
        {ID_DRIVES, 416},
        {ID_TRYAGAIN, 417},
        {ID_SELECT, 418},
        {ID_SHORTCUT_OK, 1},
        {IDC_APPICON, 300},
        {IDC_APPICON_ALT, 201},
        {IDC_STATUS, 501},
        {IDC_DIRFIELD, 501},
        {IDC_GAUGE, 502},
        {IDC_EXTRA, 503},
        {IDC_STARTMENU, 505},
        {IDC_FREESPACE, 508},
        {IDC_GUIDE, 510},
        {IDC_PRINTDOC, 512},
        {IDC_DISKPROMPT, 513},
        {IDC_SPACE_NEEDED, 516},
        {IDC_SPACE_HOWTO, 517},
        {IDC_SPACE_NEXT, 518},
        {IDC_DRIVELIST, 519},
        {IDC_DRIVEHEADER, 520},
        {IDC_ADDONLIST, 521},
        {IDC_SELECTALL, 522},
        {IDC_CACHE5, 600},
        {IDC_CACHE10, 601},
        {IDC_CACHE20, 602},
        {IDC_TEXT1, 1001},
        {IDC_TEXT2, 1002},
        {IDC_TEXT3, 1003},
        {IDC_FILELABEL, 1005},
        {IDC_SEPARATOR, 1502},
        {IDC_DONE_TEXT, 2101},
    };
    for (const auto& id : ids) EXPECT_EQ(id.first, id.second);
    EXPECT_STREQ(IDD_PRINT, "RESID_DLG_PRINT");
    EXPECT_STREQ(KOV_GAUGE_CLASS, "_KOVSETUP_Gauge");
}

// The fatal error numbers are what the user reads out to customer service.
TEST(FatalErrors, NamesCarryTheFixedNumbers) {
    const std::pair<int, int> numbers[] = {
        {FATAL_NO_PACKAGE_OFFSET, 1},
        {FATAL_NO_OWN_NAME, 2},
        {FATAL_PACKAGE_OPEN, 3},
        {FATAL_SCRIPT_SEEK, 4},
        {FATAL_SCRIPT_FIELD, 5},
        {FATAL_SCRIPT_RECORD, 6},
        {FATAL_ENTRY_SEEK, 7},
        {FATAL_ENTRY_READ, 8},
        {FATAL_ENTRY_WRITE, 9},
        {FATAL_NOT_DECOMPRESSOR, 10},
        {FATAL_TARGET_CREATE, 11},
        {FATAL_TARGET_CLOSE, 12},
        {FATAL_DECOMPRESSOR_LOAD, 13},
        {FATAL_DECOMPRESSOR_ENTRY, 14},
        {FATAL_GAUGE_CLASS, 15},
        {FATAL_FRAME_CLASS, 16},
        {FATAL_FRAME_CREATE, 17},
        {FATAL_SCRIPT_MAGIC, 18},
        {FATAL_FILE_CREATE, 19},
        {FATAL_FILE_CLOSE, 20},
        {FATAL_FILE_SIZE, 21},
        {FATAL_DB_OPEN, 22},
        {FATAL_DB_VERSION_WRITE, 23},
        {FATAL_DB_NO_VERSION, 24},
        {FATAL_DB_VERSION_TEXT, 25},
        {FATAL_DB_RESOURCE_TAG, 29},
        {FATAL_SYSTEM_FILE, 30},
        {FATAL_DB_KIND_CODE, 31},
        {FATAL_SKIP_SEARCH, 32},
        {FATAL_NO_MIGRATION, 33},
        {FATAL_DB_KIND, 34},
        {FatalDecompressStatus(4), 1004},
        {FatalDecompressStatus(50), 1050},
    };
    for (const auto& n : numbers) EXPECT_EQ(n.first, n.second);
}

}  // namespace
