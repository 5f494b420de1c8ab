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
    "Could not open Func.j for reading.Make sure you have placed the Func.j file in the same folder as ostrel.exe "
    "(looked for in *)\n";
namespace fs = std::filesystem;

TempFolder::TempFolder() {
    static int made = 0;
    std::error_code ec;
    const std::string stem = "ostrel-test-" + std::to_string(platform::processId()) + "-";
    for (int attempt = 0; attempt < 1000 && path.empty(); ++attempt) {
        const fs::path folder = fs::temp_directory_path(ec) / (stem + std::to_string(made++));
        if (fs::create_directory(folder, ec)) path = folder.u8string();
    }
}

TempFolder::~TempFolder() {
    if (path.empty()) return;
    // Whatever a test made read-only or unreadable is made the user's again.
    std::error_code ec;
    fs::permissions(fs::u8path(path), fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto it = fs::recursive_directory_iterator(fs::u8path(path), ec); !ec && it != fs::end(it); it.increment(ec))
        if (!it->is_symlink(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(fs::u8path(path), ec);
}

std::string readFile(const std::string& path) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc) << bytes;
}

std::vector<std::string> sortedNames(const std::string& folder) {
    std::vector<std::string> names = platform::folderNames(folder);
    std::sort(names.begin(), names.end());
    return names;
}

std::string besideTests(const std::string& name) {
    return platform::executableFolder() + "/" + name;
}

const std::string kStandinTool = besideTests(OSTREL_STANDIN_NAME);

void writeShippedLibrary(const std::string& folder, const std::string& name) {
    writeFile(folder + "/" + name, readFile(besideTests(name)));
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

ProcessResult runInProcess(const std::vector<std::string>& args, const ArchiveOps& ops, const std::string& folder,
                           const SystemOps& system) {
    std::ostringstream out, err;
    std::vector<std::string> line = {"ostrel"};
    line.insert(line.end(), args.begin(), args.end());
    const int code = runOstrel(line, Outside{ops, system, {folder}}, out, err);
    return ProcessResult{code, out.str(), err.str()};
}

bool matches(const std::string& text, const std::string& pattern) {
    const std::size_t star = pattern.find('*');
    if (star == std::string::npos) return text == pattern;
    const std::size_t tail = pattern.size() - star - 1;
    return text.size() >= star + tail && text.compare(0, star, pattern, 0, star) == 0 &&
           text.compare(text.size() - tail, tail, pattern, star + 1, tail) == 0;
}

bool isOneLine(const std::string& text) {
    return !text.empty() && text.back() == '\n' && std::count(text.begin(), text.end(), '\n') == 1;
}
