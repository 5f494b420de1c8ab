#pragma once
// What the tests ask of the operating system beyond the tool's own platform
// interface: test_platform_posix.cpp and test_platform_win32.cpp.
#include <string>
#include <vector>

// A new, empty temporary folder (UTF-8 path); empty when none can be made.
std::string makeTempFolder();
// Removes path and everything in it, whatever its permissions.
void removeTree(const std::string& path);

// What a finished process did: its exit code (128 + the signal's number when a
// signal ended it) and what it wrote on its standard streams.
struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
// Runs program with args in folder cwd, with no standard input, as user uid
// unless uid < 0 (POSIX only), and waits for it.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                         int uid = -1);

// True once the file at from is copied to to (an executable stays one).
bool copyFileTo(const std::string& from, const std::string& to);
// Makes the file at path read-only (true) or writable again (false).
bool setReadOnly(const std::string& path, bool readOnly);
// The exit code runProcess reports for the tool ended by signal.
int exitCodeForSignal(int signal);
