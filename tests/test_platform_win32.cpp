// What the tests ask of Windows. Paths are UTF-8, as in the tool itself, and
// reach the system as wide strings.
#include "tests/test_platform.h"
#include "tests/test_support.h"

#include <windows.h>
#include <csignal>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::wstring wide(const std::string& text) {
    return fs::u8path(text).wstring();
}

// One argument as the C runtime's command line parser reads it back: quoted
// when it is empty or holds a blank or a quote, with the backslashes in front
// of a quote (or of the closing quote) doubled.
std::wstring quoted(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
    std::wstring result = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        result.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        result += c;
    }
    return result.append(backslashes * 2, L'\\') + L"\"";
}

// A file the started process inherits as one of its standard streams.
HANDLE inheritable(const std::wstring& path, DWORD access, DWORD creation) {
    SECURITY_ATTRIBUTES security = {sizeof security, nullptr, TRUE};
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &security,
                       creation, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                         int) {
    // Windows has no other user to become as root has: the process runs as this one.
    ProcessResult result;
    TempFolder capture;
    const fs::path outPath = fs::u8path(capture.file("out")), errPath = fs::u8path(capture.file("err"));
    const HANDLE streams[] = {inheritable(L"NUL", GENERIC_READ, OPEN_EXISTING),
                              inheritable(outPath.wstring(), GENERIC_WRITE, CREATE_ALWAYS),
                              inheritable(errPath.wstring(), GENERIC_WRITE, CREATE_ALWAYS)};
    // The program's own name is taken without escapes: it is only quoted.
    std::wstring line = L"\"" + wide(program) + L"\"";
    for (const std::string& arg : args) line += L" " + quoted(wide(arg));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = streams[0];
    startup.hStdOutput = streams[1];
    startup.hStdError = streams[2];
    PROCESS_INFORMATION process = {};
    bool started = !capture.path.empty();
    for (HANDLE stream : streams) started = started && stream != INVALID_HANDLE_VALUE;
    started = started && CreateProcessW(wide(program).c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr,
                                        cwd.empty() ? nullptr : wide(cwd).c_str(), &startup, &process);
    const DWORD why = GetLastError();
    for (HANDLE stream : streams)
        if (stream != INVALID_HANDLE_VALUE) CloseHandle(stream);
    if (started) {
        DWORD code = 0;
        WaitForSingleObject(process.hProcess, INFINITE);
        if (GetExitCodeProcess(process.hProcess, &code)) result.exitCode = static_cast<int>(code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        // Text written in text mode ends its lines in CR LF here.
        for (auto [stream, path] : {std::pair{&result.out, outPath}, std::pair{&result.err, errPath}}) {
            *stream = readFile(path.u8string());
            for (std::size_t at = stream->find("\r\n"); at != std::string::npos; at = stream->find("\r\n", at))
                stream->erase(at, 1);
        }
    } else {
        result.err = "could not start " + program + ": error " + std::to_string(why);
    }
    return result;
}

int exitCodeForSignal(int signal) {
    // What a console reports for a program ended by Ctrl+C or Ctrl+Break, and
    // the C runtime's exit code for any other signal that ends a program.
    return signal == SIGINT || signal == SIGBREAK ? static_cast<int>(STATUS_CONTROL_C_EXIT) : 3;
}

platform::File holdOpen(const std::string& path) {
    platform::File file;
    file.handle_ = reinterpret_cast<intptr_t>(CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file;
}
