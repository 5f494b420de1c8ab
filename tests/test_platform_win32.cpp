// What the tests ask of Windows. Paths are UTF-8, as in the tool itself, and reach the system as wide strings.
#include "tests/test_support.h"

#include <windows.h>
#include <csignal>
#include <cstdlib>
#include <filesystem>

static std::wstring wide(const std::string& text) { return std::filesystem::u8path(text).wstring(); }

// The file's text with its CR LF line ends (text mode's) as line feeds.
static std::string textOf(const std::string& path) {
    std::string text = readFile(path);
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.erase(at, 1);
    return text;
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                         int, int) {
    // Through the command interpreter, which changes folder and redirects; no test argument holds a quote.
    TempFolder capture;
    std::string line = "cd /d \"" + cwd + "\" && \"" + program + "\"";
    for (const std::string& arg : args) line += " \"" + arg + "\"";
    line += " <NUL >\"" + capture.file("out") + "\" 2>\"" + capture.file("err") + "\"";
    // Under wine the command interpreter now and then fails to start (-1, which the tool never returns): again.
    int code = -1;
    for (int attempt = 0; attempt < 3 && code == -1; ++attempt) code = _wsystem(wide("\"" + line + "\"").c_str());
    return ProcessResult{code, textOf(capture.file("out")), textOf(capture.file("err"))};
}

bool endedBySignal(const ProcessResult& result, int signal) {
    // What a console reports for a program ended by Ctrl+C or Ctrl+Break; else the C runtime's exit code for a signal.
    return result.exitCode == (signal == SIGINT || signal == SIGBREAK ? static_cast<int>(STATUS_CONTROL_C_EXIT) : 3);
}

const bool kLuaCompilerHere = false;  // no Lua for Windows is at hand under test

std::string luaProblems(const std::string&) { return std::string(); }

const bool kRunningAsRoot = false;  // the read-only attribute holds for every user

void chownToOtherUser(const std::string&, int) {}

platform::File holdOpen(const std::string& path, bool sharesWriting) {
    platform::File file;
    const DWORD share = FILE_SHARE_READ | (sharesWriting ? FILE_SHARE_WRITE : 0);
    file.handle_ = reinterpret_cast<intptr_t>(CreateFileW(wide(path).c_str(), GENERIC_READ, share, nullptr,
                                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file;
}

void useTemporaryFolder(const std::string& path) { SetEnvironmentVariableW(L"TMP", wide(path).c_str()); }
