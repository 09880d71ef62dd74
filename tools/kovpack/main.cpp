// kovpack: the package builder of the setup program.
#include "tools/kovpack/kovpack.h"
#include "tools/common/codepage.h"
#include "tools/common/version.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char kUsage[] =
    "usage: kovpack [options] DESCRIPTION     build a package\n"
    "       kovpack --list FILE [--verify] [--raw]\n"
    "                                         show a package or a setup program's package\n"
    "\n"
    "options:\n"
    "  -o, --output FILE    file to write (required when building)\n"
    "  --stub SETUP.EXE     write a complete setup program: this program followed by the\n"
    "                       package, with the package offset written into its resource;\n"
    "                       without it the bare package is written (for -X and -T)\n"
    "  --source DIR         folder of the files named in [Files] (default: the folder of\n"
    "                       the description)\n"
    "  --libdeflate-level N libdeflate's level for files up to the --stream-above size,\n"
    "                       0 to 12 (default 9; 0: zlib alone)\n"
    "  --level N            zlib's level, 1 to 9 (default 6), for larger files and --fast\n"
    "  --fast               zlib alone, at --level\n"
    "  --smallest           every file up to the --stream-above size deflated by both\n"
    "                       libdeflate at 12 and zlib at 9, the smaller kept (slow)\n"
    "  -j, --jobs N         compress with N threads (default: one per core)\n"
    "  --stream-above MB    files larger than MB megabytes (default 32) are deflated by\n"
    "                       zlib in streamed chunks; smaller ones are read whole, which\n"
    "                       costs up to 3 x MB x 3 bytes of memory\n"
    "  --strict             warnings about what the description means are errors\n"
    "  -q, --quiet          no progress lines\n"
    "  --verify             with --list: inflate every entry and check its size and CRC,\n"
    "                       its archive, and the script's check value\n"
    "  --raw                with --list: texts as stored (Windows-1252), not converted\n"
    "                       to UTF-8 for a UTF-8 terminal\n"
    "  --version            the program's version\n"
    "  -h, --help           this text\n"
    "\n"
    "The description format is documented in tools/kovpack/FORMAT.md and kovpack(1).\n"
    "Exit status: 0 on success, 1 on any error, 2 on a usage error.\n";

int main(int argc, char** argv) {
    BuildOptions opt;
    ListOptions listOptions;
    std::string description, source;
    bool listing = false;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        auto value = [&](const char* name) -> std::string {
            if (i + 1 >= argc) {
                fprintf(stderr, "kovpack: %s needs a value\n%s", name, kUsage);
                exit(2);
            }
            return argv[++i];
        };
        if (a == "-h" || a == "--help") {
            fputs(kUsage, stdout);
            return 0;
        } else if (a == "--version") {
            printf("kovpack %s\n", KOV_TOOLS_VERSION);
            return 0;
        } else if (a == "--fast") {
            opt.bestLevel = 0;
        } else if (a == "--smallest") {
            opt.bestLevel = 12;
            opt.level = 9;
            opt.bothEncoders = true;
        } else if (a == "--strict") {
            opt.strict = true;
        } else if (a == "--verify") {
            listOptions.verify = true;
        } else if (a == "--raw") {
            listOptions.raw = true;
        } else if (a == "--libdeflate-level") {
            std::string v = value("--libdeflate-level");
            int n = atoi(v.c_str());
            if (v.find_first_not_of("0123456789") != std::string::npos || v.empty() || n > 12) {
                fprintf(stderr, "kovpack: --libdeflate-level must be 0 to 12\n");
                return 2;
            }
            opt.bestLevel = n;
        } else if (a == "--stream-above") {
            std::string v = value("--stream-above");
            int n = atoi(v.c_str());
            if (v.find_first_not_of("0123456789") != std::string::npos || n < 1 || n > 1024) {
                fprintf(stderr, "kovpack: --stream-above must be 1 to 1024\n");
                return 2;
            }
            opt.streamAboveMb = (unsigned)n;
        } else if (a == "-j" || a == "--jobs") {
            std::string v = value("--jobs");
            int n = atoi(v.c_str());
            if (v.find_first_not_of("0123456789") != std::string::npos || n < 1 || n > 256) {
                fprintf(stderr, "kovpack: --jobs must be 1 to 256\n");
                return 2;
            }
            opt.jobs = (unsigned)n;
        } else if (a == "-o" || a == "--output") {
            opt.output = value("--output");
        } else if (a == "--stub") {
            opt.stub = value("--stub");
        } else if (a == "--source") {
            source = value("--source");
        } else if (a == "--level") {
            std::string v = value("--level");
            opt.level = atoi(v.c_str());
            if (v.size() != 1 || opt.level < 1 || opt.level > 9) {
                fprintf(stderr, "kovpack: --level must be 1 to 9\n");
                return 2;
            }
        } else if (a == "-q" || a == "--quiet") {
            opt.quiet = true;
        } else if (a == "--list") {
            listing = true;
        } else if (!a.empty() && a[0] == '-') {
            fprintf(stderr, "kovpack: unknown option %s\n%s", a.c_str(), kUsage);
            return 2;
        } else if (description.empty()) {
            description = a;
        } else {
            fprintf(stderr, "kovpack: more than one description given\n%s", kUsage);
            return 2;
        }
    }
    if (listing) {
        if (description.empty() || !opt.output.empty()) {
            fprintf(stderr, "kovpack: --list takes one FILE and no -o\n%s", kUsage);
            return 2;
        }
        return ListPackage(description, listOptions);
    }
    if (listOptions.verify || listOptions.raw) {
        fprintf(stderr, "kovpack: --verify and --raw go with --list\n%s", kUsage);
        return 2;
    }
    if (description.empty() || opt.output.empty()) {
        fprintf(stderr, "kovpack: a description and -o are needed\n%s", kUsage);
        return 2;
    }
    try {
        Description d = ReadDescription(description, source);
        BuildPackage(d, opt);
    } catch (const BuildError& e) {
        // Messages quote texts as the setup holds them, in Windows-1252.
        std::string text = e.text;
        if (LocaleIsUtf8() && !IsUtf8(text)) text = Cp1252ToUtf8(text);
        fprintf(stderr, "kovpack: %s\n", text.c_str());
        return 1;
    }
    return 0;
}
