// What the tests ask of Windows. Paths are UTF-8, as in the tool itself, and
// reach the system as wide strings.
#include "tests/test_support.h"

#include <windows.h>
#include <csignal>
#include <cstdlib>
#include <filesystem>

namespace {

std::wstring wide(const std::string& text) {
    return std::filesystem::u8path(text).wstring();
}

// The file's text with its CR LF line ends (text mode's) as line feeds.
std::string textOf(const std::string& path) {
    std::string text = readFile(path);
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.erase(at, 1);
    return text;
}

}  // namespace

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                         int, int) {
    // Through the command interpreter, which changes folder and redirects the
    // streams; the tests' arguments hold no quotes, so quoting each suffices.
    TempFolder capture;
    std::string line = "cd /d \"" + cwd + "\" && \"" + program + "\"";
    for (const std::string& arg : args) line += " \"" + arg + "\"";
    line += " <NUL >\"" + capture.file("out") + "\" 2>\"" + capture.file("err") + "\"";
    ProcessResult result;
    result.exitCode = _wsystem(wide("\"" + line + "\"").c_str());
    result.out = textOf(capture.file("out"));
    result.err = textOf(capture.file("err"));
    return result;
}

bool endedBySignal(const ProcessResult& result, int signal) {
    // What a console reports for a program ended by Ctrl+C or Ctrl+Break, and
    // the C runtime's exit code for any other signal that ends a program.
    return result.exitCode == (signal == SIGINT || signal == SIGBREAK ? static_cast<int>(STATUS_CONTROL_C_EXIT) : 3);
}

bool luaCompilerHere() {
    return false;  // no Lua for Windows is at hand under test
}

std::string luaProblems(const std::string&) {
    return std::string();
}

bool runningAsRoot() {
    return false;  // the read-only attribute holds for every user
}

void chownToOtherUser(const std::string&) {}

platform::File holdOpen(const std::string& path) {
    platform::File file;
    file.handle_ = reinterpret_cast<intptr_t>(CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file;
}
