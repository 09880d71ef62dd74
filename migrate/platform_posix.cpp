// The native stand-ins of the platform table: an empty registry and profile, Windows 95.
// Tests put their own functions in the table.
#ifndef _WIN32
#include "migrate/platform.h"
#include "migrate/internal.h"

namespace {

long NoKey(int, const char*, const char*, char*, unsigned) { return 2; }
long WriteNowhere(int, const char*, const char*, const char*) { return 0; }
long DeleteNothing(int, const char*) { return 0; }
void EmptyProfile(const char*, const char*, const char*, char* out, unsigned size) {
    if (size) out[0] = 0;
}
int ProfileNowhere(const char*, const char*, const char*) { return 1; }
int Windows95(void) { return 1; }
void Nothing(void) {}
int Zero(void) { return 0; }
unsigned LevelZero(void) { return 0; }

}  // namespace

MigratePlatformT MigratePlatform = {
    NoKey,     WriteNowhere, DeleteNothing, EmptyProfile, ProfileNowhere, LevelZero,
    Windows95, Nothing,      Zero,          Zero,         nullptr,        nullptr,
};
#endif
