// Runs the built sonari3 program and captures what it writes, for end-to-end tests.
#pragma once

#include <string>
#include <vector>

#include "support/wav_builder.h"

struct RunResult {
    std::string out;  // standard output
    std::string err;  // standard error
    int status = -1;  // exit status as the shell shows it (0..255), or -1 if killed
};

// The program's argument vector (its path first) and the test's environment less any
// locale setting, plus LC_ALL; argv and envp point into the owned strings.
struct ProgramCommand {
    std::vector<std::string> argStore;
    std::vector<std::string> envStore;
    std::vector<char*> argv;
    std::vector<char*> envp;
};
ProgramCommand programCommand(const std::vector<std::string>& args, const std::string& locale);

// Runs the program with the given arguments (not including the program name), with
// LC_ALL set to the given locale. Standard input is /dev/null.
RunResult runSonari3(const std::vector<std::string>& args, const std::string& locale = "C");

// The same, with standard error sent into standard output: `merged` holds both in
// the order of writing.
RunResult runSonari3Merged(const std::vector<std::string>& args, const std::string& locale = "C");

// A fresh directory under the system's temporary folder, removed with its contents
// when the object goes out of scope.
struct TempDir {
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string path;
    std::string file(const std::string& name) const { return path + "/" + name; }
};

void writeFile(const std::string& path, const Bytes& bytes);
Bytes readFile(const std::string& path);
bool fileExists(const std::string& path);

// Text as Shift_JIS bytes, converted by the system's iconv (the test's own reference).
std::string sjis(const std::string& utf8);
