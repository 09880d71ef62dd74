#include "tests/host/machine.h"

#include <stdlib.h>
#include <string.h>
#include <fstream>
#include <sstream>

#include "base/globals.h"
#include "base/log.h"
#include "sys/sys.h"

TestMachine::TestMachine() {
    char tmpl[] = "/tmp/kovtest.XXXXXX";
    root = mkdtemp(tmpl);
    for (char l = 'A'; l <= 'Z'; l++) SysMapDrive(l, nullptr, 1);
    Map('C', 3);
    SysSetCurrentDrive(3);
    ResetRunState();
    LogReset();
    SysQueueAnswers(nullptr, 0);
}

TestMachine::~TestMachine() {
    LogReset();
    for (char l = 'A'; l <= 'Z'; l++) SysMapDrive(l, nullptr, 1);
    std::string cmd = "rm -rf '" + root + "'";
    if (system(cmd.c_str()) != 0) {}
}

std::string TestMachine::Map(char letter, int type) {
    std::string dir = root + "/" + std::string(1, letter);
    std::string cmd = "mkdir -p '" + dir + "'";
    if (system(cmd.c_str()) != 0) {}
    SysMapDrive(letter, dir.c_str(), type);
    return dir;
}

std::string TestMachine::Host(const char* winPath) const {
    std::string rest = winPath + 2;
    for (char& c : rest)
        if (c == '\\') c = '/';
    char letter = winPath[0];
    if (letter >= 'a') letter -= 32;
    return root + "/" + std::string(1, letter) + rest;
}

std::string ReadHostFile(const std::string& path, bool* exists) {
    std::ifstream in(path, std::ios::binary);
    if (exists) *exists = (bool)in;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteHostFile(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary);
    out << data;
}

std::string TestMachine::Read(const char* winPath) const { return ReadHostFile(Host(winPath)); }

void TestMachine::Write(const char* winPath, const std::string& data) const {
    WriteHostFile(Host(winPath), data);
}
