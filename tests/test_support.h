#pragma once
#include <string>
#include <vector>
#include "tools/map_maker.h"

// A fresh temporary folder, removed with everything in it when it goes.
struct TempFolder {
    std::string path;
    TempFolder();
    ~TempFolder();
    std::string file(const std::string& name) const { return path + "/" + name; }
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);
// The names in folder, sorted, without "." and "..".
std::vector<std::string> folderNames(const std::string& folder);

// The smallest map script the tool completes: globals and a main function.
extern const char* const kMinimalScript;
// Copies the shipped script library into folder as func.j.
void writeLibrary(const std::string& folder);

// Writes a map at path holding a compressed, encrypted "war3map.j" with script
// and one other entry; fails the current test when it cannot.
void writeScriptMap(const std::string& path, const std::string& script);
void writeEntriesMap(const std::string& path, const std::vector<MapEntry>& entries);
// The bytes of one entry, read with the archive library; ok false when absent.
std::string readEntryBytes(const std::string& mapPath, const std::string& name, bool& ok);

// What a run of the built tool did.
struct ToolResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
// Runs the built tool with args in folder cwd, as user uid unless uid < 0.
ToolResult runTool(const std::vector<std::string>& args, const std::string& cwd, int uid = -1);

// The one unprivileged user id the tests run the tool as when they run as root.
constexpr int kUnprivilegedUid = 65534;

// True when text is exactly one line, ended by a line feed.
bool isOneLine(const std::string& text);
