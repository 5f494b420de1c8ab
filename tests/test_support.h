#pragma once
// What the tests share: temporary folders, files, the generated texts, the
// stand-in archive, and runs of the tool in this process or as its own process.
#include <string>
#include <utility>
#include <vector>
#include "archive/archive_ops.h"
#include "base/system_ops.h"
#include "base/platform.h"

// A stand-in for the map archive library, where none is at hand (on Windows
// under test) and where a test needs to see every call: standin_archive.cpp.
// A stand-in archive is a plain file: "STANDIN ARCHIVE\n", then per entry a
// line with its name, a line with its size and its bytes. A name starting
// with '?' counts as one the archive does not know.
using StandinEntries = std::vector<std::pair<std::string, std::string>>;
const ArchiveOps& standinArchiveOps();
bool writeStandinArchive(const std::string& path, const StandinEntries& entries);
// The entries of the stand-in archive at path; false when it is none.
bool readStandinArchive(const std::string& path, StandinEntries* entries);

// What the tests ask of the operating system beyond the tool's own platform
// interface: test_platform_posix.cpp and test_platform_win32.cpp.
// What a finished process did: its exit code, or the signal that ended it
// (exitCode then -1), and its standard streams, with line feeds as line ends.
struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
    int signal = 0;
};
// Runs program with args in folder cwd, with no standard input, and waits for
// it; where this process may become another user, as user uid (uid >= 0) with
// group as its one other group (group >= 0).
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                         int uid = -1, int group = -1);
// True when the tool was ended as signal ends a process.
bool endedBySignal(const ProcessResult& result, int signal);
// True where the tests can check Lua's syntax (with luac5.3).
bool luaCompilerHere();
// What luac5.3 -p says of script: empty when it compiles.
std::string luaProblems(const std::string& script);
// True when the tests run with the rights of the system's administrator.
bool runningAsRoot();
// Gives the file at path to another user and its group to kUnprivilegedUid,
// writable by that group.
void chownToOtherUser(const std::string& path);
// Opens path for reading as another program that shares it with no writer.
platform::File holdOpen(const std::string& path);

// A fresh temporary folder, removed with everything in it when it goes.
struct TempFolder {
    std::string path;
    TempFolder();
    ~TempFolder();
    std::string file(const std::string& name) const { return path + "/" + name; }
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
// The names in folder, sorted.
std::vector<std::string> sortedNames(const std::string& folder);

// The texts the tool inserts.
extern const std::string kGlobals;
extern const std::string kAddCommandsStart;  // the header and the Initialize_Commands call
extern const std::string kMain;              // the main function's header
// The smallest map script the tool completes: globals and a main function.
extern const std::string kMinimalScript;
// The message for a library that is nowhere to be found, * for the folders.
extern const std::string kLibraryMessage;

// The file name beside the test program: the stand-in tool, the shipped library.
std::string besideTests(const std::string& name);
// The tool with the stand-in archive in place of the archive library.
extern const std::string kStandinTool;
// Copies the shipped script library (func.j, or func.lua) into folder.
void writeShippedLibrary(const std::string& folder, const std::string& name = "func.j");
// Writes a stand-in map at path holding script and one other entry.
void writeStandinMap(const std::string& path, const std::string& script);
// The bytes of one entry of the stand-in map at path; "<none>" when absent.
std::string standinEntry(const std::string& path, const std::string& name);

// Runs the tool in this process on args with ops and system, the library
// looked for in folder.
ProcessResult runInProcess(const std::vector<std::string>& args, const ArchiveOps& ops, const std::string& folder,
                           const SystemOps& system = platformSystemOps());

// True when text is pattern, in which one * stands for any text.
bool matches(const std::string& text, const std::string& pattern);
// True when text is exactly one line, ended by a line feed.
bool isOneLine(const std::string& text);
// The one unprivileged user the tests run the tool as when they run as root.
constexpr int kUnprivilegedUid = 65534;
