// The record keys this program reads or writes, and how their data reads.
#include "clientdb/format.h"

const DbKnownGid DbKnownGids[] = {
    {0x14000006u, DB_DECODE_RAW, "version (byte 1 major, byte 2 minor)"},
    {0x14000010u, DB_DECODE_RAW, "user names"},
    {0x14000011u, DB_DECODE_NUMBER, "speed index"},
    {0x14000012u, DB_DECODE_NUMBER, "speed index (second copy)"},
    {0x14000015u, DB_DECODE_NUMBER, "COM port"},
    {0x1400002Du, DB_DECODE_TEXT, "modem profile file"},
    {0x1400002Eu, DB_DECODE_NUMBER, "modem list index"},
    {0x14000032u, DB_DECODE_RAW, "converted names and passwords"},
    {0x14000044u, DB_DECODE_TEXT, "version text"},
    {0x14000046u, DB_DECODE_TEXT, "resource tag"},
    {0x14000048u, DB_DECODE_TEXT, "modem name"},
    {0x14000068u, DB_DECODE_RAW, "database kind code (bytes 2-3)"},
    {0x1400006Du, DB_DECODE_RAW, "database kind (byte 0)"},
    {0x140000D1u, DB_DECODE_NUMBER, "flag record"},
    {0x140000D2u, DB_DECODE_TEXT, "client text A"},
    {0x140000D3u, DB_DECODE_TEXT, "client text B"},
    {0x1400011Bu, DB_DECODE_TEXT, "installation folder"},
    {0x1402000Eu, DB_DECODE_TEXT, "download folder"},
};
const int DbKnownGidCount = int(sizeof DbKnownGids / sizeof DbKnownGids[0]);

const DbKnownGid* DbFindKnownGid(uint32_t gid) {
    for (int i = 0; i < DbKnownGidCount; i++)
        if (DbKnownGids[i].gid == gid) return &DbKnownGids[i];
    return nullptr;
}
