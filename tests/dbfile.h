// A client record database encoder written from the file layout alone, so that tests of
// the search and the migration do not trust the code they test. Host and Win32 tests.
#pragma once
#include <stdint.h>

#include <string>
#include <vector>

#include "migrate/internal.h"
#include "migrate/search.h"

namespace migratetest {

enum : uint16_t { TYPE_B = 'b' | 0x2000, TYPE_T = 't' | 0x2000, TYPE_P = 'p' };

struct Rec {
    uint32_t gid;
    std::string data;
    uint16_t flags = TYPE_B;
};

inline std::string Le32(uint32_t v) {
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}
inline std::string Be32(uint32_t v) {
    return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}
inline std::string Le16(uint16_t v) { return std::string{char(v), char(v >> 8)}; }

// form: 0 old ("DC", "RE" headers), 1 new ("KOVDB-25", "R2D2" headers).
inline std::string DbFile(int form, uint32_t id, const std::vector<Rec>& records) {
    std::string out = form == 0 ? "DC" + Le32(id) + std::string(4, '\0')
                                : std::string("KOVDB-25", 8) + '\0' + Le32(id) + std::string(12, 0);
    for (const Rec& r : records) {
        uint32_t at = uint32_t(out.size());
        if (form == 0)
            out += "RE" + Le32(r.gid) + Le16(uint16_t(r.data.size())) + Le16(r.flags) + Le32(0) +
                   Le32(0) + Le32(at);
        else
            out += "R2D2" + Le32(r.gid) + Le32(uint32_t(r.data.size())) + Le16(r.flags) + Le32(0) +
                   Le32(0) + Le32(at);
        out += r.data;
    }
    return out;
}

// The user list: count, then 22-byte entries of name and password.
inline Rec Names(const std::vector<std::string>& names,
                 const std::vector<std::string>& passwords = {}) {
    std::string data(1, char(names.size()));
    for (size_t i = 0; i < names.size(); i++) {
        std::string name = names[i].substr(0, 11), pw = i < passwords.size() ? passwords[i] : "";
        name.resize(11, '\0');
        pw.resize(11, '\0');
        data += name + pw;
    }
    return {GID_USER_NAMES, data};
}
inline Rec Number(uint32_t gid, uint32_t value) { return {gid, Be32(value)}; }
inline Rec Text(uint32_t gid, const std::string& text) { return {gid, text, TYPE_T}; }
inline Rec Version(unsigned major, unsigned minor) {
    return {GID_VERSION, std::string{0, char(major), char(minor), 0}};
}

}  // namespace migratetest
