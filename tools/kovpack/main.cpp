// kovpack: the package builder of the setup program.
#include "tools/kovpack/kovpack.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char kUsage[] =
    "usage: kovpack [options] DESCRIPTION     build a package\n"
    "       kovpack --list FILE               show a package or a setup program's package\n"
    "\n"
    "options:\n"
    "  -o, --output FILE    file to write (required when building)\n"
    "  --stub SETUP.EXE     write a complete setup program: this program followed by the\n"
    "                       package, with the package offset written into its resource;\n"
    "                       without it the bare package is written (for -X and -T)\n"
    "  --source DIR         folder of the files named in [Files] (default: the folder of\n"
    "                       the description)\n"
    "  --level N            deflate level 1 to 9 (default 6)\n"
    "  -q, --quiet          no progress lines\n"
    "  -h, --help           this text\n"
    "\n"
    "The description format is documented in tools/kovpack/FORMAT.md.\n"
    "Exit status: 0 on success, 1 on any error, 2 on a usage error.\n";

int main(int argc, char** argv) {
    BuildOptions opt;
    std::string description, source, list;
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
            list = value("--list");
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
    if (!list.empty()) return ListPackage(list);
    if (description.empty() || opt.output.empty()) {
        fprintf(stderr, "kovpack: a description and -o are needed\n%s", kUsage);
        return 2;
    }
    try {
        Description d = ReadDescription(description, source);
        BuildPackage(d, opt);
    } catch (const BuildError& e) {
        fprintf(stderr, "kovpack: %s\n", e.text.c_str());
        return 1;
    }
    return 0;
}
