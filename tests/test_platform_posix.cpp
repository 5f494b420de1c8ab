
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdlib>
#include "tests/test_support.h"

// text as one word of the shell.
static std::string quoted(const std::string& text) {
    std::string word = "'";
    for (char c : text) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                         int uid, int group) {
    TempFolder capture;
    std::string line = "cd " + quoted(cwd) + " && exec ";
    if (uid >= 0 && geteuid() == 0)
        line += "setpriv --reuid=" + std::to_string(uid) + " --regid=" + std::to_string(uid) +
                (group >= 0 ? " --groups=" + std::to_string(group) : std::string(" --clear-groups")) + " ";
    line += quoted(program);
    for (const std::string& word : args) line += " " + quoted(word);
    line += " </dev/null >" + quoted(capture.file("out")) + " 2>" + quoted(capture.file("err"));
    const int status = std::system(line.c_str());
    return ProcessResult{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(capture.file("out")),
                         readFile(capture.file("err")), WIFSIGNALED(status) ? WTERMSIG(status) : 0};
}

bool endedBySignal(const ProcessResult& result, int signal) { return result.signal == signal; }

const bool kLuaCompilerHere = true;

std::string luaProblems(const std::string& script) {
    TempFolder folder;
    writeFile(folder.file("script.lua"), script);
    const ProcessResult result = runProcess("luac5.3", {"-p", "-o", "/dev/null", folder.file("script.lua")}, folder.path);
    return result.exitCode == 0 ? std::string() : result.err + result.out + " ";
}

const bool kRunningAsRoot = geteuid() == 0;

void chownToOtherUser(const std::string& path, int owner) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || chown(path.c_str(), owner, kUnprivilegedUid) != 0 ||
        chmod(path.c_str(), S_ISDIR(info.st_mode) ? 01777 : 0664) != 0)
        std::abort();
}

void useTemporaryFolder(const std::string& path) { setenv("TMPDIR", path.c_str(), 1); }

platform::File holdOpen(const std::string& path, bool) {
    platform::File file;
    file.handle_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    return file;
}
