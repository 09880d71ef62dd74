// A small native "machine" for tests: drives mapped to fresh temporary folders.
#pragma once
#include <string>

// Whole host files, for fixtures and checks. Reading a missing file gives "" (and *exists
// false when asked).
std::string ReadHostFile(const std::string& path, bool* exists = nullptr);
void WriteHostFile(const std::string& path, const std::string& data);

struct TestMachine {
    std::string root;  // host folder holding one folder per mapped drive
    // Maps C: (fixed) to a fresh folder; more drives with Map.
    TestMachine();
    ~TestMachine();
    std::string Map(char letter, int type);
    std::string Host(const char* winPath) const;  // "C:\X" -> host path
    std::string Read(const char* winPath) const;  // whole file, "" when absent
    void Write(const char* winPath, const std::string& data) const;
};
