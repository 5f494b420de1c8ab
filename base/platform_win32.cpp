// The operating system interface on Windows. Paths arrive as UTF-8 and are
// handed to the wide system calls, so that every name a user can type works.
#include "base/platform.h"

#include <windows.h>
#include <aclapi.h>
#include <conio.h>
#include <io.h>
#include <shellapi.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

HANDLE handleOf(const File& file) {
    return reinterpret_cast<HANDLE>(file.handle_);
}

std::wstring wide(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], length);
    return result;
}

std::string narrow(const wchar_t* text, int length = -1) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, &result[0], size, nullptr, nullptr);
    if (length < 0) result.resize(result.size() - 1);  // the terminating NUL
    return result;
}

// The system's message for code, as one line.
std::string describe(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length ? narrow(text, static_cast<int>(length)) : "error " + std::to_string(code);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message;
}

void setError(std::string* err) {
    if (err) *err = describe(GetLastError());
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A handle closed when it goes, also when an exception passes.
struct Handle {
    HANDLE handle;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    bool isOpen() const { return handle != INVALID_HANDLE_VALUE; }
};

Handle openPath(const std::string& path, DWORD access, DWORD flags = FILE_ATTRIBUTE_NORMAL) {
    return Handle{CreateFileW(wide(path).c_str(), access, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr)};
}

bool stateOf(HANDLE handle, FileState* state) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) return false;
    state->device = info.dwVolumeSerialNumber;
    state->file = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    state->size = static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    state->modified = static_cast<int64_t>((static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                           info.ftLastWriteTime.dwLowDateTime);
    return true;
}

// The path without the prefix the system puts in front of a final path.
std::string withoutLongPrefix(std::string path) {
    if (path.rfind("\\\\?\\UNC\\", 0) == 0) return "\\\\" + path.substr(8);
    if (path.rfind("\\\\?\\", 0) == 0) return path.substr(4);
    return path;
}

void (*signalHandler)(int) = nullptr;

const int kEndingSignals[] = {SIGINT, SIGTERM, SIGBREAK, SIGSEGV, SIGABRT, SIGFPE, SIGILL};

extern "C" void onSignal(int signal) {
    if (signalHandler) signalHandler(signal);
}

// Closing the console window, logging off or shutting down ends the process
// once this returns; the handler ends it first, having cleaned up.
BOOL WINAPI onConsoleClosing(DWORD event) {
    if (event != CTRL_CLOSE_EVENT && event != CTRL_LOGOFF_EVENT && event != CTRL_SHUTDOWN_EVENT) return FALSE;
    onSignal(SIGTERM);
    return TRUE;
}

}  // namespace

bool File::close() {
    if (!isOpen()) return true;
    const BOOL closed = CloseHandle(handleOf(*this));
    handle_ = kNone;
    return closed != 0;
}

OpenResult openRegularFile(const std::string& path, File* file, std::string* err) {
    const HANDLE handle = CreateFileW(wide(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        setError(err);
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return OpenResult::kMissing;
        // A folder cannot be opened as a file: the system says "access denied".
        const DWORD attributes = GetFileAttributesW(wide(path).c_str());
        if (code != ERROR_ACCESS_DENIED || attributes == INVALID_FILE_ATTRIBUTES ||
            !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return OpenResult::kFailed;
        if (err) *err = "not a regular file";
        return OpenResult::kNotRegular;
    }
    File opened;
    opened.handle_ = reinterpret_cast<intptr_t>(handle);
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        if (err) *err = "not a regular file";
        return OpenResult::kNotRegular;
    }
    *file = std::move(opened);
    return OpenResult::kOpened;
}

bool openFilesBlockReplacement() {
    return true;
}

bool fileState(const File& file, FileState* state) {
    return stateOf(handleOf(file), state);
}

bool pathState(const std::string& path, FileState* state) {
    const Handle file = openPath(path, 0);
    return file.isOpen() && stateOf(file.handle, state);
}

std::string lastError() {
    return describe(GetLastError());
}

std::string describeError(int code) {
    return describe(static_cast<DWORD>(code));
}

bool rewind(File& file) {
    LARGE_INTEGER start = {};
    return SetFilePointerEx(handleOf(file), start, nullptr, FILE_BEGIN) != 0;
}

long long readSome(File& file, char* buffer, std::size_t size) {
    DWORD got = 0;
    const DWORD ask = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    if (!ReadFile(handleOf(file), buffer, ask, &got, nullptr)) return -1;
    return got;
}

bool writeAll(File& file, const char* data, std::size_t size) {
    while (size > 0) {
        DWORD written = 0;
        const DWORD ask = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        if (!WriteFile(handleOf(file), data, ask, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

bool syncPath(const std::string& path, std::string* err) {
    const Handle file = openPath(path, GENERIC_WRITE);
    if (!file.isOpen() || !FlushFileBuffers(file.handle)) {
        setError(err);
        return false;
    }
    return true;
}

bool openCutTo(const std::string& path, int64_t size, File* file, std::string* err) {
    File opened;
    opened.handle_ = reinterpret_cast<intptr_t>(CreateFileW(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER at;
    at.QuadPart = size;
    if (handleOf(opened) == INVALID_HANDLE_VALUE || !SetFilePointerEx(handleOf(opened), at, nullptr, FILE_BEGIN) ||
        !SetEndOfFile(handleOf(opened))) {
        setError(err);
        return false;
    }
    *file = std::move(opened);
    return true;
}

bool createNewFile(const std::string& path, File* file, bool* exists, std::string* err) {
    const HANDLE handle = CreateFileW(wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    *exists = handle == INVALID_HANDLE_VALUE &&
              (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS);
    if (handle == INVALID_HANDLE_VALUE) {
        setError(err);
        return false;
    }
    file->close();
    file->handle_ = reinterpret_cast<intptr_t>(handle);
    return true;
}

bool resolvePath(const std::string& path, std::string* resolved, std::string* err) {
    const Handle file = openPath(path, 0, FILE_FLAG_BACKUP_SEMANTICS);
    if (!file.isOpen()) {
        setError(err);
        return false;
    }
    std::wstring buffer(32768, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(file.handle, &buffer[0], static_cast<DWORD>(buffer.size()), 0);
    if (length == 0 || length >= buffer.size()) {
        setError(err);
        return false;
    }
    *resolved = withoutLongPrefix(narrow(buffer.c_str(), static_cast<int>(length)));
    return true;
}

bool resolveOutputPath(const std::string& path, std::string* resolved, std::string* err) {
    if (pathKind(path) != PathKind::kMissing) return resolvePath(path, resolved, err);
    std::string folder;
    if (!resolvePath(folderOf(path), &folder, err)) return false;
    *resolved = (folder.back() == '\\' || folder.back() == '/' ? folder : folder + "\\") + nameOf(path);
    return true;
}

PathKind pathKind(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? PathKind::kMissing : PathKind::kOther;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::kFolder;
    const Handle file = openPath(path, 0);
    return file.isOpen() && GetFileType(file.handle) == FILE_TYPE_DISK ? PathKind::kRegular : PathKind::kOther;
}

bool endsInSeparator(const std::string& path) {
    return !path.empty() && (path.back() == '/' || path.back() == '\\');
}

// Whether the folder's access control list lets this user add a file to it
// and delete one from it; false in *answered where the system cannot tell.
bool accessAllows(const std::string& folder, bool* answered) {
    *answered = false;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(wide(folder).c_str(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    HANDLE process = nullptr, token = nullptr;
    BOOL allowed = FALSE;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &process) &&
        DuplicateToken(process, SecurityImpersonation, &token)) {
        GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
        DWORD wanted = FILE_ADD_FILE | FILE_DELETE_CHILD, granted = 0;
        MapGenericMask(&wanted, &mapping);
        PRIVILEGE_SET privileges;
        DWORD size = sizeof privileges;
        *answered = AccessCheck(descriptor, token, wanted, &mapping, &privileges, &size, &granted, &allowed) != 0;
    }
    if (token) CloseHandle(token);
    if (process) CloseHandle(process);
    LocalFree(descriptor);
    return *answered && allowed;
}

bool mayCreateIn(const std::string& folder, const std::string&, bool probe, std::string* err) {
    bool answered = false;
    const bool allowed = accessAllows(folder, &answered);
    if (answered && !allowed) {
        if (err) *err = describe(ERROR_ACCESS_DENIED);
        return false;
    }
    // The access control list does not tell all (a read-only medium, a
    // share's own permissions): whether the folder takes a new file shows
    // only by making one, where that may be done.
    if (!probe) return true;
    const std::string probed = folder + "\\.ostrel-" + std::to_string(GetCurrentProcessId()) + "-probe";
    const HANDLE handle = CreateFileW(wide(probed).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        setError(err);
        return false;
    }
    CloseHandle(handle);
    return true;
}

bool mayWrite(const std::string& path, std::string* err) {
    const DWORD attributes = GetFileAttributesW(wide(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        if (err) *err = describe(ERROR_ACCESS_DENIED);
        return false;
    }
    // The map is replaced by a rename: it must be open to deleting too.
    if (!openPath(path, GENERIC_WRITE | DELETE).isOpen()) {
        setError(err);
        return false;
    }
    return true;
}

// Gives the file at path the access control list of source, as a copy by
// hand would keep it where the user may set it.
void copyAccessControl(HANDLE source, const std::string& path) {
    std::wstring name = wide(path);
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(source, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &list, nullptr,
                        &descriptor) != ERROR_SUCCESS)
        return;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(descriptor, &control, &revision);
    // An inherited list stays inherited; one set on the file itself stays its own.
    const SECURITY_INFORMATION which = DACL_SECURITY_INFORMATION | ((control & SE_DACL_PROTECTED)
                                                                        ? PROTECTED_DACL_SECURITY_INFORMATION
                                                                        : UNPROTECTED_DACL_SECURITY_INFORMATION);
    SetNamedSecurityInfoW(&name[0], SE_FILE_OBJECT, which, nullptr, nullptr, list, nullptr);
    LocalFree(descriptor);
}

bool copyMetadata(const std::string& from, const std::string& copyPath, std::string* err) {
    FILE_BASIC_INFO info;
    {
        const Handle source = openPath(from, READ_CONTROL | FILE_READ_ATTRIBUTES);
        if (!source.isOpen()) {
            setError(err);
            return false;
        }
        copyAccessControl(source.handle, copyPath);
        if (!GetFileInformationByHandleEx(source.handle, FileBasicInfo, &info, sizeof info)) {
            setError(err);
            return false;
        }
    }
    const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
    if (!SetFileAttributesW(wide(copyPath).c_str(), (info.FileAttributes & kept) ? (info.FileAttributes & kept)
                                                                                   : FILE_ATTRIBUTE_NORMAL)) {
        setError(err);
        return false;
    }
    return true;
}

bool replaceFile(const std::string& from, const std::string& to, std::string* err) {
    if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    setError(err);
    return false;
}

Exchange exchangeFiles(const std::string&, const std::string&, std::string*) {
    return Exchange::kUnsupported;
}

std::string temporaryFolder() {
    wchar_t buffer[MAX_PATH + 2];
    const DWORD length = GetTempPathW(MAX_PATH + 2, buffer);
    if (length == 0 || length > MAX_PATH + 1) return ".";
    std::string folder = narrow(buffer, static_cast<int>(length));
    if (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    return folder;
}

bool freeSpace(const std::string& folder, uint64_t* bytes) {
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExW(wide(folder).c_str(), &available, nullptr, nullptr)) return false;
    *bytes = available.QuadPart;
    return true;
}

void removeFile(const std::string& path) {
    const std::wstring name = wide(path);
    SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(name.c_str());
}

void syncFolder(const std::string&) {}

bool folderNames(const std::string& folder, std::vector<std::string>* names, std::string* err) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(wide(folder + "\\*").c_str(), &found);
    // A drive's root folder that holds nothing has not even "." and "..".
    if (search == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) return true;
    if (search == INVALID_HANDLE_VALUE) return *err = lastError(), false;
    do {
        const std::string name = narrow(found.cFileName);
        if (name != "." && name != "..") names->push_back(name);
    } while (FindNextFileW(search, &found));
    const bool whole = GetLastError() == ERROR_NO_MORE_FILES;
    if (!whole) *err = lastError();
    FindClose(search);
    return whole;
}

std::string executableFolder() {
    std::wstring buffer(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
    if (length == 0 || length >= buffer.size()) return std::string();
    return folderOf(withoutLongPrefix(narrow(buffer.c_str(), static_cast<int>(length))));
}

std::string currentFolder() {
    wchar_t buffer[32768];
    const DWORD length = GetCurrentDirectoryW(32768, buffer);
    if (length == 0 || length >= 32768) return std::string();
    return withoutLongPrefix(narrow(buffer, static_cast<int>(length)));
}

std::string joinPath(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '\\' || folder.back() == '/' ? folder + name : folder + "\\" + name;
}

std::string folderOf(const std::string& path) {
    const std::string::size_type slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) : ".";
    if (slash == 0 || (slash == 2 && path[1] == ':')) return path.substr(0, slash + 1);
    return path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    return path.substr(path.find_last_of("/\\:") + 1);
}

int processId() {
    return static_cast<int>(GetCurrentProcessId());
}

void protectStandardStreams() {}

std::vector<std::string> commandLine(int argc, char** argv) {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> line;
    for (int i = 0; i < count; ++i) line.push_back(narrow(arguments[i]));
    LocalFree(arguments);
    return line;
}

void useUtf8Console() {
    SetConsoleOutputCP(CP_UTF8);
}

void onEndingSignals(void (*handler)(int signal)) {
    signalHandler = handler;
    for (int signal : kEndingSignals) std::signal(signal, onSignal);
    SetConsoleCtrlHandler(onConsoleClosing, TRUE);
}

void endBySignal(int signal) {
    _exit(signal == SIGINT || signal == SIGBREAK ? static_cast<int>(STATUS_CONTROL_C_EXIT) : 3);
}

bool isCrashSignal(int signal) {
    return signal == SIGSEGV || signal == SIGABRT || signal == SIGFPE || signal == SIGILL;
}

SignalsHeld::SignalsHeld() {}
SignalsHeld::~SignalsHeld() {}

void writeErrorNow(const char* text) {
    _write(2, text, static_cast<unsigned>(std::strlen(text)));
}

void removeFileNow(const char* path) {
    wchar_t name[32768];
    if (MultiByteToWideChar(CP_UTF8, 0, path, -1, name, 32768) > 0) DeleteFileW(name);
}

void ChangeNotices::stop() {
    if (handle_ != File::kNone) FindCloseChangeNotification(reinterpret_cast<HANDLE>(handle_));
    handle_ = File::kNone;
}

bool startNotices(const std::string& folder, bool tree, ChangeNotices* notices) {
    notices->stop();
    // On another machine's drive, changes made there may come without a notice.
    wchar_t volume[MAX_PATH + 1];
    if (GetVolumePathNameW(wide(folder).c_str(), volume, MAX_PATH + 1) && GetDriveTypeW(volume) == DRIVE_REMOTE)
        return false;
    const HANDLE handle = FindFirstChangeNotificationW(
        wide(folder).c_str(), tree,
        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE);
    if (handle == INVALID_HANDLE_VALUE) return false;
    notices->handle_ = reinterpret_cast<intptr_t>(handle);
    notices->folder_ = folder;
    notices->tree_ = tree;
    return true;
}

bool waitForNotice(ChangeNotices& notices, int64_t timeoutMs) {
    const DWORD timeout = timeoutMs < 0 ? INFINITE : timeoutMs > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(timeoutMs);
    if (notices.handle_ == File::kNone) {
        Sleep(timeout == INFINITE ? 0 : timeout);
        return false;
    }
    const HANDLE handle = reinterpret_cast<HANDLE>(notices.handle_);
    if (WaitForSingleObject(handle, timeout) != WAIT_OBJECT_0) return false;
    do FindNextChangeNotification(handle);
    while (WaitForSingleObject(handle, 0) == WAIT_OBJECT_0);
    return true;
}

int64_t monotonicMs() {
    return static_cast<int64_t>(GetTickCount64());
}

std::string timeOfDay() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[16];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", now.wHour, now.wMinute, now.wSecond);
    return text;
}

bool ownsConsoleAlone() {
    DWORD processes[2];
    DWORD mode = 0;
    // Alone on a console that the standard streams write to: not started from
    // a console, a batch file or a pipe.
    return GetConsoleProcessList(processes, 2) == 1 && GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) &&
           GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode);
}

void waitForKey() {
    _getch();
}

}  // namespace platform
