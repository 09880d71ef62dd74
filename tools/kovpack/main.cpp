// kovpack: the package builder of the setup program.
#include "tools/kovpack/kovpack.h"
#include "tools/common/codepage.h"
#include "tools/common/version.h"
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

// Where `cmake --install` puts the description format; set by the build.
#ifndef KOV_DOC_DIR
#define KOV_DOC_DIR "/usr/local/share/doc/kovpack"
#endif

static const char kUsage[] =
    "usage: kovpack [options] -o OUTPUT DESCRIPTION\n"
    "                                         build a package\n"
    "       kovpack --check [options] DESCRIPTION\n"
    "                                         every check of a build, nothing written\n"
    "       kovpack --list FILE [--verify] [--raw]\n"
    "                                         show a package or a setup program's package\n"
    "\n"
    "options:\n"
    "  -o, --output FILE    file to write (required when building); - writes the\n"
    "                       package to standard output (not to a terminal)\n"
    "  DESCRIPTION          the package description; - reads it from standard input\n"
    "                       (its sources are then found from the current folder)\n"
    "  -D NAME=VALUE        ${NAME} in the description stands for VALUE (repeatable;\n"
    "                       a later -D of the same NAME wins); an undefined NAME is an\n"
    "                       error\n"
    "  --check              read the description, find every source file and run every\n"
    "                       check; write nothing. Exit status 0 when a build would run\n"
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
    "Every error of a description is said, each with its file and line (up to 20).\n"
    "The description format is documented in FORMAT.md, installed as\n"
    "  " KOV_DOC_DIR "/FORMAT.md\n"
    "(tools/kovpack/FORMAT.md in the source tree), and in kovpack(1).\n"
    "Exit status: 0 on success, 1 on any error, 2 on a usage error.\n";

namespace {

// The package to standard output: built into a temporary file first, since the script is
// written again once the stored sizes are known, which a pipe cannot do.
int BuildToStandardOutput(const Description& d, BuildOptions opt) {
    if (isatty(STDOUT_FILENO)) {
        fprintf(stderr, "kovpack: -o -: standard output is a terminal; not writing a package "
                        "there (redirect it, or give a file)\n");
        return 2;
    }
    const char* tmp = getenv("TMPDIR");
    std::string temp = std::string(tmp && *tmp ? tmp : "/tmp") + "/kovpackXXXXXX";
    int fd = mkstemp(&temp[0]);
    if (fd < 0)
        throw BuildError{"cannot create a temporary file in " + temp + ": " + strerror(errno)};
    close(fd);
    opt.output = temp;
    try {
        BuildPackage(d, opt);
    } catch (...) {
        remove(temp.c_str());
        throw;
    }
    FILE* in = fopen(temp.c_str(), "rb");
    bool ok = in != nullptr;
    char buffer[1 << 16];
    size_t n;
    while (ok && (n = fread(buffer, 1, sizeof buffer, in)) > 0)
        ok = fwrite(buffer, 1, n, stdout) == n;
    ok = ok && !ferror(in) && fflush(stdout) == 0;
    int why = errno;
    if (in) fclose(in);
    remove(temp.c_str());
    if (!ok)
        throw BuildError{std::string("cannot write the package to standard output: ") +
                         strerror(why)};
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    BuildOptions opt;
    ListOptions listOptions;
    std::string description, source;
    bool listing = false, haveDescription = false;
    Defines defines;
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
        } else if (a == "--check") {
            opt.checkOnly = true;
        } else if (a == "-D" || (a.size() > 2 && a.compare(0, 2, "-D") == 0)) {
            std::string def = a.size() > 2 ? a.substr(2) : value("-D");
            size_t eq = def.find('=');
            std::string name = def.substr(0, eq);
            bool good =
                eq != std::string::npos && !name.empty() &&
                name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                       "0123456789_") == std::string::npos;
            if (!good) {
                fprintf(stderr, "kovpack: -D takes NAME=VALUE, NAME of letters, digits and _\n");
                return 2;
            }
            // Command-line texts come in the terminal's encoding; the description is read as
            // UTF-8 once decoded.
            std::string v = def.substr(eq + 1);
            if (!LocaleIsUtf8()) v = Cp1252ToUtf8(v);
            else if (!IsUtf8(v)) {
                fprintf(stderr, "kovpack: -D %s: the value is not valid UTF-8\n", name.c_str());
                return 2;
            }
            defines[name] = v;
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
        } else if (a.size() > 1 && a[0] == '-') {
            fprintf(stderr, "kovpack: unknown option %s\n%s", a.c_str(), kUsage);
            return 2;
        } else if (!haveDescription && !a.empty()) {
            description = a;
            haveDescription = true;
        } else {
            fprintf(stderr, "kovpack: more than one description given\n%s", kUsage);
            return 2;
        }
    }
    if (listing) {
        if (description.empty() || !opt.output.empty() || opt.checkOnly) {
            fprintf(stderr, "kovpack: --list takes one FILE and no -o or --check\n%s", kUsage);
            return 2;
        }
        if (description == "-") {
            fprintf(stderr, "kovpack: --list reads a file; a package cannot be listed from "
                            "standard input\n");
            return 2;
        }
        return ListPackage(description, listOptions);
    }
    if (listOptions.verify || listOptions.raw) {
        fprintf(stderr, "kovpack: --verify and --raw go with --list\n%s", kUsage);
        return 2;
    }
    if (opt.checkOnly && !opt.output.empty()) {
        fprintf(stderr, "kovpack: --check writes nothing; leave out -o\n");
        return 2;
    }
    if (description.empty() || (opt.output.empty() && !opt.checkOnly)) {
        fprintf(stderr, "kovpack: a description and -o are needed\n%s", kUsage);
        return 2;
    }
    try {
        Description d = ReadDescription(description, source, defines);
        if (opt.output == "-" && !opt.checkOnly) return BuildToStandardOutput(d, opt);
        BuildPackage(d, opt);
    } catch (const BuildError& e) {
        Say(e.text);
        return 1;
    }
    return 0;
}
