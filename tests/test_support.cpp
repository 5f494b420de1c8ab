#include "tests/test_support.h"

#include <StormLib.h>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

const char* const kMinimalScript =
    "globals\nendglobals\nfunction main takes nothing returns nothing\nendfunction\n";

void writeLibrary(const std::string& folder) {
    writeFile(folder + "/func.j", readFile(std::string(OSTREL_SOURCE_DIR) + "/func.j"));
}

TempFolder::TempFolder() {
    char name[] = "/tmp/ostrel-test-XXXXXX";
    char* made = mkdtemp(name);
    if (made) path = made;
}

TempFolder::~TempFolder() {
    if (path.empty()) return;
    std::string command = "chmod -R u+rwx '" + path + "' 2>/dev/null; rm -rf '" + path + "'";
    if (std::system(command.c_str()) != 0) {
        // A leftover temporary folder is harmless.
    }
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool fileExists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

std::vector<std::string> folderNames(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void writeEntriesMap(const std::string& path, const std::vector<MapEntry>& entries) {
    std::string error;
    ASSERT_TRUE(writeMap(path, entries, error)) << error;
}

void writeScriptMap(const std::string& path, const std::string& script) {
    MapEntry scriptEntry{"war3map.j", script, true};
    MapEntry other{"war3map.w3e", std::string("terrain\0data", 12), false};
    writeEntriesMap(path, {scriptEntry, other});
}

std::string readEntryBytes(const std::string& mapPath, const std::string& name, bool& ok) {
    ok = false;
    HANDLE archive = nullptr;
    if (!SFileOpenArchive(mapPath.c_str(), 0, MPQ_OPEN_READ_ONLY, &archive)) return "";
    HANDLE file = nullptr;
    std::string bytes;
    if (SFileOpenFileEx(archive, name.c_str(), 0, &file)) {
        DWORD size = SFileGetFileSize(file, nullptr);
        bytes.resize(size);
        DWORD got = 0;
        ok = size == 0 || SFileReadFile(file, &bytes[0], size, &got, nullptr);
        SFileCloseFile(file);
    }
    SFileCloseArchive(archive);
    return bytes;
}

ToolResult runTool(const std::vector<std::string>& args, const std::string& cwd, int uid) {
    ToolResult result;
    TempFolder capture;
    const std::string outPath = capture.file("out"), errPath = capture.file("err");
    pid_t child = fork();
    if (child == 0) {
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(cwd.c_str()) != 0) _exit(126);
        if (uid >= 0 && (setgid(uid) != 0 || setuid(uid) != 0)) _exit(126);
        std::vector<char*> argv;
        std::string binary = OSTREL_BINARY;
        argv.push_back(&binary[0]);
        std::vector<std::string> copies = args;
        for (std::string& arg : copies) argv.push_back(&arg[0]);
        argv.push_back(nullptr);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    return result;
}

bool isOneLine(const std::string& text) {
    return !text.empty() && text.back() == '\n' && std::count(text.begin(), text.end(), '\n') == 1;
}
