// The install record's note of a Windows profile value, read through the profile calls.
#include <windows.h>
#include "record/installrec.h"

void NoteProfileValue(const char* section, const char* name) {
    // The profile calls cannot tell an absent value from an empty one but by a default no
    // value would hold.
    static const char ABSENT[] = "\x01kov-absent\x01";
    char value[ITEM_FIELD_SIZE - 2];
    GetProfileStringA(section, name, ABSENT, value, sizeof value);
    RecordProfileValue("WIN.INI", section, name, lstrcmpA(value, ABSENT) == 0 ? nullptr : value);
}
