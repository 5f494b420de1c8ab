#include "tests/test_support.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include "base/platform.h"
#include "run/run.h"

const std::string kGlobals =
    "    //Velloran globals:\n    gamecache OE_cache\n    trigger array OE_CodeAsTrigger\n"
    "    integer OE_count\n    //End of Velloran globals\n";
const std::string kAddCommandsStart =
    "function Add_Commands takes nothing returns nothing\n    call Initialize_Commands()\n";
const std::string kMain = "function main takes nothing returns nothing";
const std::string kMinimalScript = "globals\nendglobals\n" + kMain + "\nendfunction\n";
const std::string kLibraryMessage =
    "Could not open Func.j for reading.Make sure you have placed the Func.j file in the same folder as ostrel.exe\n";
const std::string kLibraryFile =
    "function Initialize_Commands takes nothing returns nothing\r\nendfunction\r\n"
    "function AddToCache takes string label, integer value, code func returns nothing\r\nendfunction";
const std::string kLibraryText =
    "function Initialize_Commands takes nothing returns nothing\nendfunction\n"
    "function AddToCache takes string label, integer value, code func returns nothing\nendfunction\n";

std::string readFile(const std::string& path) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc) << bytes;
}

bool fileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(std::filesystem::u8path(path), ec));
}

std::vector<std::string> sortedNames(const std::string& folder) {
    std::vector<std::string> names = platform::folderNames(folder);
    std::sort(names.begin(), names.end());
    return names;
}

void writeShippedLibrary(const std::string& folder) {
    writeFile(folder + "/func.j", readFile(std::string(OSTREL_SOURCE_DIR) + "/func.j"));
}

void writeStandinMap(const std::string& path, const std::string& script) {
    writeStandinArchive(path, {{"war3map.j", script}, {"war3map.w3e", std::string("terrain\0data", 12)}});
}

std::string standinEntry(const std::string& path, const std::string& name) {
    StandinEntries entries;
    if (!readStandinArchive(path, &entries)) return "<none>";
    for (const auto& entry : entries)
        if (entry.first == name) return entry.second;
    return "<none>";
}

RunResult runInProcess(const std::vector<std::string>& args, const ArchiveOps& ops, const std::string& folder) {
    std::ostringstream out, err;
    std::vector<std::string> line = {"ostrel"};
    line.insert(line.end(), args.begin(), args.end());
    RunResult result;
    result.exitCode = runOstrel(line, ops, {folder}, out, err);
    result.out = out.str();
    result.err = err.str();
    return result;
}

ProcessResult runStandinTool(const std::vector<std::string>& args, const std::string& cwd, int uid) {
    return runProcess(OSTREL_STANDIN, args, cwd, uid);
}

bool isOneLine(const std::string& text) {
    return !text.empty() && text.back() == '\n' && std::count(text.begin(), text.end(), '\n') == 1;
}
