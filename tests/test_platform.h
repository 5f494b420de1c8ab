#pragma once
// What the tests ask of the operating system beyond the tool's own platform
// interface: test_platform_posix.cpp and test_platform_win32.cpp.
#include <string>
#include <vector>
#include "base/platform.h"

// What a finished process did: its exit code (128 + the signal's number when a
// signal ended it) and what it wrote on its standard streams, with line ends
// as line feeds.
struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
// Runs program with args in folder cwd, with no standard input, as user uid
// where this process may become another user (uid >= 0), and waits for it.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                         int uid = -1);

// The exit code runProcess reports for the tool ended by signal.
int exitCodeForSignal(int signal);

// Opens path for reading as another program that shares it with no writer.
platform::File holdOpen(const std::string& path);
