#include "archive/replace_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <climits>
#include <cstdlib>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
using StatBuf = struct _stat64;
int statFile(const std::string& path, StatBuf& buf) { return _stat64(path.c_str(), &buf); }
int openFile(const std::string& path, int flags, int mode = 0) { return _open(path.c_str(), flags | _O_BINARY, mode); }
int readFd(int fd, char* buf, size_t n) { return _read(fd, buf, static_cast<unsigned>(n)); }
int writeFd(int fd, const char* buf, size_t n) { return _write(fd, buf, static_cast<unsigned>(n)); }
int closeFd(int fd) { return _close(fd); }
int syncFd(int fd) { return _commit(fd); }
int processId() { return _getpid(); }
constexpr int kWriteOnly = _O_WRONLY;
constexpr int kReadOnly = _O_RDONLY;
constexpr int kCreateNew = _O_WRONLY | _O_CREAT | _O_EXCL;
constexpr int kOwnerReadWrite = _S_IREAD | _S_IWRITE;
constexpr int kSyncAccess = _O_WRONLY;  // flushing needs write access here
#else
using StatBuf = struct stat;
int statFile(const std::string& path, StatBuf& buf) { return stat(path.c_str(), &buf); }
int openFile(const std::string& path, int flags, int mode = 0) { return open(path.c_str(), flags | O_CLOEXEC, mode); }
ssize_t readFd(int fd, char* buf, size_t n) { return read(fd, buf, n); }
ssize_t writeFd(int fd, const char* buf, size_t n) { return write(fd, buf, n); }
int closeFd(int fd) { return close(fd); }
int syncFd(int fd) { return fsync(fd); }
int processId() { return static_cast<int>(getpid()); }
constexpr int kWriteOnly = O_WRONLY;
constexpr int kReadOnly = O_RDONLY;
constexpr int kCreateNew = O_WRONLY | O_CREAT | O_EXCL;
constexpr int kOwnerReadWrite = 0600;
constexpr int kSyncAccess = O_RDONLY;  // the copy may be read-only by now
#endif

// The copy being worked on, kept where a crash handler can reach it without
// allocating; empty when there is none or its path does not fit.
char pendingCopy[4096];

// Records path as the copy to remove should the process crash; empty clears it.
void notePendingCopy(const std::string& path) {
    pendingCopy[0] = '\0';
    if (path.size() < sizeof(pendingCopy)) std::memcpy(pendingCopy, path.c_str(), path.size() + 1);
}

// The last system error as text.
std::string lastError() {
    return std::strerror(errno);
}

// The folder part of path, "." when it has none.
std::string folderOf(const std::string& path) {
    std::string::size_type slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// True when all of data reached fd.
bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        auto n = writeFd(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// True when every byte of from was copied to the open file to.
bool copyBytes(int from, int to) {
    std::vector<char> buffer(1 << 20);
    for (;;) {
        auto n = readFd(from, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (!writeAll(to, buffer.data(), static_cast<size_t>(n))) return false;
    }
}

// True once path has the permissions that info describes.
bool fitMode(const std::string& path, const StatBuf& info) {
#ifdef _WIN32
    return _chmod(path.c_str(), info.st_mode & (_S_IREAD | _S_IWRITE)) == 0;
#else
    return chmod(path.c_str(), info.st_mode & 07777) == 0;
#endif
}

// True when the file's contents and permissions are on disk.
bool syncFile(const std::string& path) {
    int fd = openFile(path, kSyncAccess);
    if (fd < 0) return false;
    bool synced = syncFd(fd) == 0;
    return closeFd(fd) == 0 && synced;
}

// True when the folder entry of a rename is on disk (nothing to do on Windows).
bool syncFolder(const std::string& folder) {
#ifdef _WIN32
    (void)folder;
    return true;
#else
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool synced = fsync(fd) == 0;
    close(fd);
    return synced;
#endif
}

// True once copy has taken target's place in one step.
bool renameOver(const std::string& copy, const std::string& target) {
#ifdef _WIN32
    if (MoveFileExA(copy.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    errno = GetLastError() == ERROR_ACCESS_DENIED || GetLastError() == ERROR_SHARING_VIOLATION ? EACCES : EIO;
    return false;
#else
    return std::rename(copy.c_str(), target.c_str()) == 0;
#endif
}

}  // namespace

bool resolveWritableMap(const std::string& mapPath, std::string& target, std::ostream& err) {
#ifdef _WIN32
    // Follow a link to the file it names, so that the link stays a link.
    HANDLE file = CreateFileA(mapPath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    char resolved[MAX_PATH * 4];
    DWORD length = file == INVALID_HANDLE_VALUE ? 0 : GetFinalPathNameByHandleA(file, resolved, sizeof(resolved), 0);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (length == 0 || length >= sizeof(resolved)) {
        err << "Couldn't find the map file " << mapPath << "." << std::endl;
        return false;
    }
    target = resolved;
    if (target.rfind("\\\\?\\UNC\\", 0) == 0)
        target = "\\\\" + target.substr(8);
    else if (target.rfind("\\\\?\\", 0) == 0)
        target = target.substr(4);
#else
    char resolved[PATH_MAX];
    if (!realpath(mapPath.c_str(), resolved)) {
        err << "Couldn't find the map file " << mapPath << ": " << lastError() << std::endl;
        return false;
    }
    target = resolved;
#endif
    StatBuf info;
    if (statFile(target, info) != 0 || (info.st_mode & S_IFMT) != S_IFREG) {
        err << "The map " << mapPath << " is not a regular file." << std::endl;
        return false;
    }
    // Opening for writing (without truncating) asks the system whether the
    // user may change this file; a rename alone would bypass its permissions.
    int fd = openFile(target, kWriteOnly);
    if (fd < 0) {
        err << "Couldn't open the map file " << mapPath << " for writing: " << lastError() << std::endl;
        return false;
    }
    closeFd(fd);
    return true;
}

bool makeWorkingCopy(const std::string& target, std::string& copyPath, std::ostream& err) {
    StatBuf info;
    int from = statFile(target, info) == 0 ? openFile(target, kReadOnly) : -1;
    if (from < 0) {
        err << "Couldn't read the map file " << target << ": " << lastError() << std::endl;
        return false;
    }
    // The copy stays the user's to write until it is complete; it takes the
    // map's own mode just before it replaces the map.
    int to = -1;
    for (int attempt = 0; to < 0 && attempt < 100; ++attempt) {
        copyPath = target + ".ostrel-" + std::to_string(processId()) + "-" + std::to_string(attempt);
        to = openFile(copyPath, kCreateNew, kOwnerReadWrite);
        if (to >= 0) notePendingCopy(copyPath);
        if (to < 0 && errno != EEXIST) break;
    }
    if (to < 0) {
        err << "Couldn't create a temporary copy of the map in " << folderOf(target) << ": " << lastError() << std::endl;
        closeFd(from);
        copyPath.clear();
        return false;
    }
#ifndef _WIN32
    // Give the copy the map's owner where the system allows it; only a
    // privileged user may give a file away, else it stays the user's own.
    if (fchown(to, info.st_uid, info.st_gid) != 0) {
    }
#endif
    bool copied = copyBytes(from, to);
    std::string failure = copied ? "" : lastError();
    closeFd(from);
    if (closeFd(to) != 0 && copied) {
        copied = false;
        failure = lastError();
    }
    if (!copied) {
        err << "Couldn't copy the map to " << copyPath << ": " << failure << std::endl;
        removeWorkingCopy(copyPath);
        return false;
    }
    return true;
}

bool replaceWithCopy(const std::string& copyPath, const std::string& target, std::ostream& err) {
    StatBuf info;
    if (statFile(target, info) != 0 || !fitMode(copyPath, info)) {
        err << "Couldn't give the updated map the permissions of the map: " << lastError() << std::endl;
        return false;
    }
    if (!syncFile(copyPath)) {
        err << "Couldn't flush the updated map to disk: " << lastError() << std::endl;
        return false;
    }
    if (!renameOver(copyPath, target)) {
        err << "Couldn't replace the map file with its updated copy: " << lastError() << std::endl;
        return false;
    }
    notePendingCopy("");
    // The map is replaced; a failed folder flush only delays its durability.
    syncFolder(folderOf(target));
    return true;
}

void removeWorkingCopy(const std::string& copyPath) {
    if (copyPath.empty()) return;
    std::remove(copyPath.c_str());
    notePendingCopy("");
}

void removeWorkingCopyAfterCrash() {
#ifdef _WIN32
    if (pendingCopy[0]) _unlink(pendingCopy);
#else
    if (pendingCopy[0]) unlink(pendingCopy);
#endif
}
