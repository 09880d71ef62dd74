// The string table the native build carries is generated from res/strings.rc, the same source
// windres compiles, so these checks hold for both builds.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

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
    struct Case {
        unsigned id;
        const char* utf8;
    };
    const Case cases[] = {
        {34001, "Veuillez quitter KOV avant d'exécuter le programme d'installation."},
        {34007, "WKOV.EXE"},
        {34012, "KOV31\\SETUP16.EXE"},
        {34200, "Mémoire insuffisante pour continuer.\n\nFermez au moins une application et "
                "sélectionnez 'Réessayer'."},
        {34202, "L'installation ne peut pas continuer."},
        {34304, "Installation"},
        {34707, "TOOL\\*.KOV"},
        {34715, "ou sélectionner une autre unité.  "},
        {34724, "Available Drives\tType\tFree Space(KB)"},
        {34900, "Invité    "},
    };
    auto t = Table();
    for (const Case& c : cases) {
        ASSERT_TRUE(t.count(c.id)) << c.id;
        EXPECT_EQ(t[c.id], Cp1252(c.utf8)) << c.id;
    }
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

}  // namespace
