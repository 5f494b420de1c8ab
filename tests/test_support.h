#pragma once
// What the tests share: temporary folders, files, the generated texts, the stand-in archive, and runs of the tool.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>
#include <gtest/gtest.h>
#include "archive/archive_ops.h"
#include "base/system_ops.h"
#include "run/run.h"

// A stand-in for the map archive library, where none is at hand (on Windows under test) and where a test needs to see
// every call (standin_archive.cpp): a plain file, "STANDIN ARCHIVE\n", then per entry a line with its name, a line
// with its size and its bytes, then "END\n". A name starting with '?' is one the archive does not know.
using StandinEntries = std::vector<std::pair<std::string, std::string>>;
const ArchiveOps& standinArchiveOps();
bool writeStandinArchive(const std::string& path, const StandinEntries& entries);
// The bytes of one entry of the stand-in map at path; "<none>" when absent.
std::string standinEntry(const std::string& path, const std::string& name);
// Every entry of the stand-in map at path, by name; none when it is no stand-in map.
std::map<std::string, std::string> standinEntries(const std::string& path);

// What a finished process did: its exit code (-1 when a signal ended it), the signal, its streams with LF line ends.
struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
    int signal = 0;
};
// Beyond the tool's platform layer (test_platform_posix.cpp, test_platform_win32.cpp): runs program with args in
// folder cwd, with no standard input, and waits for it; where this process may become another user, as user uid
// (uid >= 0) with group as its one other group (group >= 0).
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                         int uid = -1, int group = -1);
// True when the tool was ended as signal ends a process.
bool endedBySignal(const ProcessResult& result, int signal);
// True where the tests can check Lua's syntax (with luac5.3).
extern const bool kLuaCompilerHere;
// What luac5.3 -p says of script: empty when it compiles.
std::string luaProblems(const std::string& script);
// True when the tests run with the rights of the system's administrator.
extern const bool kRunningAsRoot;
// Gives the file at path to another user (uid 1, or owner) and its group to kUnprivilegedUid, writable by that group.
void chownToOtherUser(const std::string& path, int owner = 1);
// Opens path for reading as another program that shares it with no writer (with writers but not with deleting, where
// sharesWriting).
platform::File holdOpen(const std::string& path, bool sharesWriting = false);
// Makes path the system's temporary folder for this process.
void useTemporaryFolder(const std::string& path);

// A fresh temporary folder, removed with everything in it when it goes.
struct TempFolder {
    std::string path;
    TempFolder();
    ~TempFolder();
    std::string file(const std::string& name) const { return platform::joinPath(path, name); }
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc) << bytes;
}
// The names in folder, sorted.
inline std::vector<std::string> sortedNames(const std::string& folder) {
    std::vector<std::string> names;
    std::string err;
    platform::folderNames(folder, &names, &err);
    std::sort(names.begin(), names.end());
    return names;
}

inline const std::string kMain = "function main takes nothing returns nothing";  // the main function's header
// The smallest map script the tool completes: globals and a main function.
inline const std::string kMinimalScript = "globals\nendglobals\n" + kMain + "\nendfunction\n";
// The message for a library that is nowhere to be found, * for the folders.
inline const std::string kLibraryMessage =
    "Could not open Func.j for reading.Make sure you have placed the Func.j file in the same folder as ostrel.exe "
    "(looked for in *)\n";

// The tool with the stand-in archive in place of the archive library, beside the test program.
inline const std::string kStandinTool = platform::executableFolder() + "/" + OSTREL_STANDIN_NAME;
// Copies the shipped script library (func.j, or func.lua), found beside the test program, into folder.
inline void writeShippedLibrary(const std::string& folder, const std::string& name = "func.j") {
    writeFile(folder + "/" + name, readFile(platform::executableFolder() + "/" + name));
}

// Runs the tool in this process on args with ops and system, the library looked for in folder.
inline ProcessResult runInProcess(const std::vector<std::string>& args, const ArchiveOps& ops,
                                  const std::string& folder, const SystemOps& system = platformSystemOps()) {
    std::ostringstream out, err;
    std::vector<std::string> line = {"ostrel"};
    line.insert(line.end(), args.begin(), args.end());
    const int code = runOstrel(line, Outside{ops, system, {folder}}, out, err);
    return ProcessResult{code, out.str(), err.str()};
}

// text with each word put as what it stands for (a path), wherever it stands.
inline std::string named(std::string text, std::initializer_list<std::pair<std::string, std::string>> words) {
    for (const auto& [word, path] : words)
        for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + path.size()))
            text.replace(at, word.size(), path);
    return text;
}

// True when text is pattern, in which one * stands for any text.
inline bool matches(const std::string& text, const std::string& pattern) {
    const std::size_t star = pattern.find('*');
    if (star == std::string::npos) return text == pattern;
    const std::size_t tail = pattern.size() - star - 1;
    return text.size() >= star + tail && text.compare(0, star, pattern, 0, star) == 0 &&
           text.compare(text.size() - tail, tail, pattern, star + 1, tail) == 0;
}
// True when text is exactly one line, ended by a line feed.
inline bool isOneLine(const std::string& text) {
    return !text.empty() && text.back() == '\n' && std::count(text.begin(), text.end(), '\n') == 1;
}
// The one unprivileged user the tests run the tool as when they run as root.
constexpr int kUnprivilegedUid = 65534;

// A small library with CR LF lines and no line feed at its end.
inline const std::string kLibraryFile =
    "function Initialize_Commands takes nothing returns nothing\r\nendfunction\r\n"
    "function AddToCache takes string label, integer value, code func returns nothing\r\nendfunction";

// Every file under folder, by its path under it ("/" between the parts), with its bytes.
inline std::map<std::string, std::string> treeOf(const std::string& folder) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(std::filesystem::u8path(folder)))
        if (entry.is_regular_file())
            tree[std::filesystem::relative(entry.path(), std::filesystem::u8path(folder)).generic_u8string()] =
                readFile(entry.path().u8string());
    return tree;
}

// A folder with a map and a library beside it, and runs on the map: a stand-in map archive "map.w3x" (of script and
// entries; for "-" entries alone), or a map folder "My Map.w3x" of files (by path, "/" between the parts).
struct MapFolder {
    TempFolder folder;
    std::string map = folder.file("map.w3x"), library, before;  // before: the map archive's bytes
    std::map<std::string, std::string> tree;                      // every file in the folder, at the start
    explicit MapFolder(const std::string& script, const std::string& libraryText = kLibraryFile,
                       const StandinEntries& entries = {{"war3map.w3e", std::string("terrain\0data", 12)}},
                       const std::string& libraryName = "func.j") {
        StandinEntries all = {{"war3map.j", script}};
        all.insert(all.end(), entries.begin(), entries.end());
        writeStandinArchive(map, script == "-" ? entries : all);
        before = readFile(map);
        withLibrary(libraryText, libraryName);
    }
    MapFolder(const StandinEntries& files, const std::string& libraryText, const std::string& libraryName = "func.j") {
        map = folder.file("My Map.w3x");
        for (const auto& [name, bytes] : files) {
            std::filesystem::create_directories(std::filesystem::u8path(map + "/" + name).parent_path());
            writeFile(map + "/" + name, bytes);
        }
        withLibrary(libraryText, libraryName);
    }
    void withLibrary(const std::string& text, const std::string& name) {
        library = folder.file(name);
        if (!text.empty()) writeFile(library, text);
        tree = treeOf(folder.path);
    }
    ProcessResult run(const ArchiveOps& ops = standinArchiveOps(), const SystemOps& system = platformSystemOps(),
                      const std::vector<std::string>& options = {}) const {
        std::vector<std::string> args = options;
        args.push_back(map);
        return runInProcess(args, ops, folder.path, system);
    }
    // A stop: exit 1, the line (MAP, LIBRARY and NEW for their paths, * for any text), every file of the folder as it
    // was, and no copy in the temporary folder.
    void expectStop(const ProcessResult& result, const std::string& line) const {
        EXPECT_EQ(result.exitCode, 1);
        const std::string meant = named(line, {{"MAP", map}, {"LIBRARY", library}, {"NEW", folder.file("new.w3x")}});
        EXPECT_TRUE(matches(result.err, meant + "\n")) << result.err << "is not\n" << meant;
        EXPECT_EQ(result.out, "");
        EXPECT_TRUE(treeOf(folder.path) == tree) << "a file changed";
        const std::string copy = ".ostrel-" + std::to_string(platform::processId()) + "-";
        for (const std::string& name : sortedNames(platform::temporaryFolder())) EXPECT_NE(name.rfind(copy, 0), 0u) << name;
    }
};
