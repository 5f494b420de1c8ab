// The operating system interface on POSIX systems.
#include "base/platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace platform {
namespace {

int fd(const File& file) {
    return static_cast<int>(file.handle_);
}

void setError(std::string* err) {
    if (err) *err = std::strerror(errno);
}

FileState stateOf(const struct stat& info) {
    FileState state;
    state.device = static_cast<uint64_t>(info.st_dev);
    state.file = static_cast<uint64_t>(info.st_ino);
    state.size = static_cast<int64_t>(info.st_size);
    state.modified = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return state;
}

// Copies the extended attributes of the file at from (which carry its access
// control lists) onto to. Attributes the user may not set are left out, as a
// copy by hand would leave them.
bool copyExtendedAttributes(const char* from, int to, std::string* err) {
    ssize_t size = listxattr(from, nullptr, 0);
    if (size < 0) return errno == ENOTSUP || errno == ENOSYS;
    std::string names(static_cast<std::size_t>(size), '\0');
    size = listxattr(from, &names[0], names.size());
    if (size < 0) return errno == ENOTSUP || errno == ENOSYS;
    names.resize(static_cast<std::size_t>(size));
    for (std::size_t at = 0; at < names.size(); at += std::strlen(&names[at]) + 1) {
        const char* name = &names[at];
        ssize_t length = getxattr(from, name, nullptr, 0);
        if (length < 0) continue;
        std::string value(static_cast<std::size_t>(length), '\0');
        length = getxattr(from, name, &value[0], value.size());
        if (length < 0) continue;
        if (fsetxattr(to, name, value.data(), static_cast<std::size_t>(length), 0) != 0 && errno != EPERM &&
            errno != ENOTSUP) {
            setError(err);
            return false;
        }
    }
    return true;
}

// Every signal whose default action ends the process and which a process
// may catch, but the two that become errors (SIGPIPE, SIGXFSZ).
const sigset_t& endingSignalSet() {
    static const sigset_t set = [] {
        sigset_t made;
        sigemptyset(&made);
        for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGUSR1, SIGSEGV, SIGUSR2,
                           SIGALRM, SIGTERM, SIGXCPU, SIGVTALRM, SIGPROF, SIGIO, SIGSYS})
            sigaddset(&made, signal);
#ifdef SIGSTKFLT
        sigaddset(&made, SIGSTKFLT);
#endif
#ifdef SIGPWR
        sigaddset(&made, SIGPWR);
#endif
#ifdef SIGRTMIN
        for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) sigaddset(&made, signal);
#endif
        return made;
    }();
    return set;
}

}  // namespace

bool File::close() {
    if (!isOpen()) return true;
    const int closed = ::close(fd(*this));
    handle_ = kNone;
    return closed == 0;
}

OpenResult openRegularFile(const std::string& path, File* file, std::string* err) {
    // Non-blocking, so that opening a pipe with no writer returns at once.
    const int handle = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0) {
        setError(err);
        return errno == ENOENT ? OpenResult::kMissing : OpenResult::kFailed;
    }
    File opened;
    opened.handle_ = handle;
    struct stat info;
    if (fstat(handle, &info) != 0) {
        setError(err);
        return OpenResult::kFailed;
    }
    if (!S_ISREG(info.st_mode)) {
        if (err) *err = "not a regular file";
        return OpenResult::kNotRegular;
    }
    const int flags = fcntl(handle, F_GETFL);
    if (flags < 0 || fcntl(handle, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        setError(err);
        return OpenResult::kFailed;
    }
    *file = std::move(opened);
    return OpenResult::kOpened;
}

bool openFilesBlockReplacement() {
    return false;
}

bool fileState(const File& file, FileState* state) {
    struct stat info;
    if (fstat(fd(file), &info) != 0) return false;
    *state = stateOf(info);
    return true;
}

bool pathState(const std::string& path, FileState* state) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return false;
    *state = stateOf(info);
    return true;
}

std::string lastError() {
    return std::strerror(errno);
}

std::string describeError(int code) {
    return std::strerror(code);
}

bool rewind(File& file) {
    return lseek(fd(file), 0, SEEK_SET) == 0;
}

long long readSome(File& file, char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = read(fd(file), buffer, size);
        if (got < 0 && errno == EINTR) continue;
        return got;
    }
}

bool writeAll(File& file, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd(file), data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool syncPath(const std::string& path, std::string* err) {
    const int handle = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (handle < 0) {
        setError(err);
        return false;
    }
    const bool synced = fsync(handle) == 0;
    if (!synced) setError(err);
    return ::close(handle) == 0 && synced;
}

bool openCutTo(const std::string& path, int64_t size, File* file, std::string* err) {
    File opened;
    opened.handle_ = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (!opened.isOpen() || ftruncate(fd(opened), size) != 0 || lseek(fd(opened), 0, SEEK_END) != size) {
        setError(err);
        return false;
    }
    *file = std::move(opened);
    return true;
}

bool createNewFile(const std::string& path, File* file, bool* exists, std::string* err) {
    const int handle = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    *exists = handle < 0 && errno == EEXIST;
    if (handle < 0) {
        setError(err);
        return false;
    }
    file->close();
    file->handle_ = handle;
    return true;
}

bool resolvePath(const std::string& path, std::string* resolved, std::string* err) {
    char* full = realpath(path.c_str(), nullptr);
    if (!full) {
        setError(err);
        return false;
    }
    *resolved = full;
    std::free(full);
    return true;
}

bool resolveOutputPath(const std::string& path, std::string* resolved, std::string* err) {
    std::string current = path;
    for (int links = 0; links < 40; ++links) {
        struct stat info;
        if (lstat(current.c_str(), &info) != 0) {
            if (errno != ENOENT) break;
            // Not there yet: its folder must be.
            std::string folder;
            if (!resolvePath(folderOf(current), &folder, err)) return false;
            *resolved = (folder == "/" ? folder : folder + "/") + nameOf(current);
            return true;
        }
        if (!S_ISLNK(info.st_mode)) return resolvePath(current, resolved, err);
        std::string target(PATH_MAX, '\0');
        const ssize_t length = readlink(current.c_str(), &target[0], target.size());
        if (length < 0) break;
        target.resize(static_cast<std::size_t>(length));
        current = target[0] == '/' ? target : folderOf(current) + "/" + target;
    }
    if (errno == 0 || errno == EINVAL) errno = ELOOP;
    setError(err);
    return false;
}

PathKind pathKind(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return errno == ENOENT ? PathKind::kMissing : PathKind::kOther;
    return S_ISREG(info.st_mode) ? PathKind::kRegular : S_ISDIR(info.st_mode) ? PathKind::kFolder : PathKind::kOther;
}

bool endsInSeparator(const std::string& path) {
    return !path.empty() && path.back() == '/';
}

bool mayWrite(const std::string& path, std::string* err) {
    if (faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0) return true;
    setError(err);
    return false;
}

bool mayCreateIn(const std::string& folder, const std::string& replacing, bool, std::string* err) {
    if (faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
        setError(err);
        return false;
    }
    // In a sticky folder only the owner of a file, the folder's owner and a
    // privileged user may rename over the file.
    struct stat folderInfo, fileInfo;
    const uid_t user = geteuid();
    if (replacing.empty() || user == 0 || stat(folder.c_str(), &folderInfo) != 0 || !(folderInfo.st_mode & S_ISVTX) ||
        stat(replacing.c_str(), &fileInfo) != 0 || fileInfo.st_uid == user || folderInfo.st_uid == user)
        return true;
    if (err) *err = "the folder lets only its owner and a file's owner replace a file, and the file is another user's";
    return false;
}

bool copyMetadata(const std::string& from, const std::string& to, std::string* err) {
    struct stat info;
    if (stat(from.c_str(), &info) != 0) {
        setError(err);
        return false;
    }
    const int handle = open(to.c_str(), O_RDONLY | O_CLOEXEC);
    if (handle < 0) {
        setError(err);
        return false;
    }
    // Only a privileged user may give a file away; a member of the file's
    // group may still give it the file's group.
    if (fchown(handle, info.st_uid, info.st_gid) != 0 && fchown(handle, static_cast<uid_t>(-1), info.st_gid) != 0) {
        // The copy stays the user's own.
    }
    bool copied = copyExtendedAttributes(from.c_str(), handle, err);
    // The mode last: an access control list set above may have changed it.
    if (copied && fchmod(handle, info.st_mode & 07777) != 0) {
        setError(err);
        copied = false;
    }
    ::close(handle);
    return copied;
}

bool replaceFile(const std::string& from, const std::string& to, std::string* err) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    setError(err);
    return false;
}

Exchange exchangeFiles(const std::string& a, const std::string& b, std::string* err) {
#if defined(__linux__) && defined(SYS_renameat2)
    const unsigned kExchange = 1u << 1;  // RENAME_EXCHANGE
    if (syscall(SYS_renameat2, AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), kExchange) == 0) return Exchange::kDone;
    if (errno == ENOSYS || errno == EINVAL || errno == ENOTSUP) return Exchange::kUnsupported;
    setError(err);
    return Exchange::kFailed;
#else
    (void)a, (void)b, (void)err;
    return Exchange::kUnsupported;
#endif
}

std::string temporaryFolder() {
    const char* folder = std::getenv("TMPDIR");
    return folder && *folder ? folder : "/tmp";
}

bool freeSpace(const std::string& folder, uint64_t* bytes) {
    struct statvfs info;
    if (statvfs(folder.c_str(), &info) != 0) return false;
    *bytes = static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
    return true;
}

void removeFile(const std::string& path) {
    unlink(path.c_str());
}

void syncFolder(const std::string& folder) {
    const int handle = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0) return;
    fsync(handle);
    ::close(handle);
}

bool folderNames(const std::string& folder, std::vector<std::string>* names, std::string* err) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return *err = lastError(), false;
    errno = 0;
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names->push_back(name);
    }
    const int failure = errno;
    closedir(dir);
    if (failure != 0) *err = describeError(failure);
    return failure == 0;
}

std::string executableFolder() {
    std::string path;
    if (!resolvePath("/proc/self/exe", &path, nullptr)) return std::string();
    return folderOf(path);
}

std::string currentFolder() {
    std::string path;
    return resolvePath(".", &path, nullptr) ? path : std::string();
}

std::string joinPath(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string folderOf(const std::string& path) {
    const std::string::size_type slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

int processId() {
    return static_cast<int>(getpid());
}

void protectStandardStreams() {
    for (int stream = 0; stream <= 2; ++stream) {
        if (fcntl(stream, F_GETFD) != -1 || errno != EBADF) continue;
        // Opened for reading only: a write to it fails, as to a closed stream.
        const int placeholder = open("/dev/null", O_RDONLY);
        if (placeholder >= 0 && placeholder != stream) {
            dup2(placeholder, stream);
            ::close(placeholder);
        }
    }
}

std::vector<std::string> commandLine(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void useUtf8Console() {}

void onEndingSignals(void (*handler)(int signal)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    action.sa_mask = endingSignalSet();
    for (int signal = 1; signal < NSIG; ++signal)
        if (sigismember(&endingSignalSet(), signal) == 1) sigaction(signal, &action, nullptr);
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, nullptr);
    sigaction(SIGXFSZ, &ignore, nullptr);
}

void endBySignal(int signal) {
    struct sigaction fallback = {};
    fallback.sa_handler = SIG_DFL;
    sigaction(signal, &fallback, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
    _exit(128 + signal);
}

bool isCrashSignal(int signal) {
    return signal == SIGSEGV || signal == SIGBUS || signal == SIGABRT || signal == SIGFPE || signal == SIGILL;
}

// How many SignalsHeld scopes are open; the outermost blocks and unblocks.
int heldDepth = 0;

SignalsHeld::SignalsHeld() {
    if (heldDepth++ > 0) return;
    sigprocmask(SIG_BLOCK, &endingSignalSet(), nullptr);
}

SignalsHeld::~SignalsHeld() {
    if (--heldDepth > 0) return;
    sigprocmask(SIG_UNBLOCK, &endingSignalSet(), nullptr);
}

void writeErrorNow(const char* text) {
    const ssize_t written = write(2, text, std::strlen(text));
    (void)written;
}

void removeFileNow(const char* path) {
    unlink(path);
}

namespace {

// True where changes to a folder may come from elsewhere without a notice
// here: on network and FUSE file systems.
bool noticesMayMiss(const std::string& folder) {
    struct statfs info;
    if (statfs(folder.c_str(), &info) != 0) return true;
    switch (static_cast<unsigned long>(info.f_type)) {
        case 0x6969:      // NFS
        case 0x517B:      // SMB
        case 0xFF534D42:  // CIFS
        case 0xFE534D42:  // SMB2
        case 0x65735546:  // FUSE
        case 0x01021997:  // 9P
        case 0x00C36400:  // Ceph
        case 0x5346414F:  // AFS
            return true;
        default:
            return false;
    }
}

// Watches folder, and where tree every folder under it (a folder watched
// already is not watched twice).
void watchFolder(int handle, const std::string& folder, bool tree, int depth) {
    inotify_add_watch(handle, folder.c_str(),
                      IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                          IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR);
    if (!tree || depth >= 32) return;
    std::vector<std::string> names;
    std::string err;
    folderNames(folder, &names, &err);  // a folder that cannot be listed has nothing to watch under it
    for (const std::string& name : names) {
        const std::string path = joinPath(folder, name);
        if (pathKind(path) == PathKind::kFolder) watchFolder(handle, path, tree, depth + 1);
    }
}

}  // namespace

void ChangeNotices::stop() {
    if (handle_ != File::kNone) ::close(static_cast<int>(handle_));
    handle_ = File::kNone;
}

bool startNotices(const std::string& folder, bool tree, ChangeNotices* notices) {
    notices->stop();
    if (noticesMayMiss(folder)) return false;
    const int handle = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (handle < 0) return false;
    notices->handle_ = handle;
    notices->folder_ = folder;
    notices->tree_ = tree;
    watchFolder(handle, folder, tree, 0);
    return true;
}

bool waitForNotice(ChangeNotices& notices, int64_t timeoutMs) {
    const int timeout = timeoutMs < 0 ? -1 : timeoutMs > 1000000000 ? 1000000000 : static_cast<int>(timeoutMs);
    if (notices.handle_ == File::kNone) {
        if (timeout > 0) poll(nullptr, 0, timeout);
        return false;
    }
    struct pollfd wanted = {static_cast<int>(notices.handle_), POLLIN, 0};
    int ready;
    do ready = poll(&wanted, 1, timeout);
    while (ready < 0 && errno == EINTR);
    if (ready <= 0) return false;
    char events[16384];
    while (read(static_cast<int>(notices.handle_), events, sizeof events) > 0) {
    }
    // Folders made since are watched too.
    if (notices.tree_) watchFolder(static_cast<int>(notices.handle_), notices.folder_, true, 0);
    return true;
}

int64_t monotonicMs() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

std::string timeOfDay() {
    const std::time_t now = std::time(nullptr);
    struct tm local;
    char text[16] = "";
    if (localtime_r(&now, &local)) std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

bool ownsConsoleAlone() {
    return false;
}

void waitForKey() {}

}  // namespace platform
