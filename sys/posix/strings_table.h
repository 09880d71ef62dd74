// The program's string table for the native build, generated from res/strings.rc.
#pragma once
struct KovString {
    unsigned id;
    const char* text;
};
extern const KovString KovStrings[];
extern const int KovStringCount;
