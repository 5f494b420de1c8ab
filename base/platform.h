#pragma once
// Everything the tool asks of the operating system, behind one header:
// platform_posix.cpp and platform_win32.cpp implement it. Paths are UTF-8 on
// every platform. A function that fails returns false and, where it takes
// one, sets *err to the system's reason.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// What identifies a file and tells whether it changed since: its device (the
// volume serial on Windows), its number there (inode, file index), its size
// and its last write time.
struct FileState {
    uint64_t device = 0;
    uint64_t file = 0;
    int64_t size = 0;
    int64_t modified = 0;
    bool operator==(const FileState& other) const {
        return device == other.device && file == other.file && size == other.size && modified == other.modified;
    }
    bool operator!=(const FileState& other) const { return !(*this == other); }
};

// An open file, closed when the object goes.
class File {
public:
    File() = default;
    ~File() { close(); }
    File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = kNone; }
    File& operator=(File&& other) noexcept {
        if (this != &other) {
            close();
            handle_ = other.handle_;
            other.handle_ = kNone;
        }
        return *this;
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool isOpen() const { return handle_ != kNone; }
    // Closes the file; false when the system reports that its writes failed.
    bool close();

    static constexpr intptr_t kNone = -1;
    intptr_t handle_ = kNone;  // a descriptor, or a Windows HANDLE
};

enum class OpenResult { kOpened, kMissing, kNotRegular, kFailed };
enum class Exchange { kDone, kUnsupported, kFailed };
enum class PathKind { kMissing, kRegular, kFolder, kOther };

// Opens path (links followed) for reading, without ever blocking on it: a
// folder, a pipe or a device is refused with kNotRegular.
OpenResult openRegularFile(const std::string& path, File* file, std::string* err);

// True where a file that is open cannot be replaced by a rename (Windows):
// there the tool holds the map open only while it copies it.
bool openFilesBlockReplacement();

// The state of an open file, or of the file a path names (links followed).
bool fileState(const File& file, FileState* state);
bool pathState(const std::string& path, FileState* state);

// The system's reason for the last failed call, as one line.
std::string lastError();
// The system's reason for the error code, as one line.
std::string describeError(int code);
// Reads up to size bytes; the count read, 0 at the end, -1 on failure.
long long readSome(File& file, char* buffer, std::size_t size);
// Moves the file's position back to its first byte.
bool rewind(File& file);
// True when all size bytes were written.
bool writeAll(File& file, const char* data, std::size_t size);
// True once the contents of the file at path are on disk.
bool syncPath(const std::string& path, std::string* err);

// Opens the existing file at path for writing, cut to its first size bytes,
// positioned at its end.
bool openCutTo(const std::string& path, int64_t size, File* file, std::string* err);

// Creates path as a new file for writing, readable and writable by the user
// only; never opens an existing one (*exists tells that case apart).
bool createNewFile(const std::string& path, File* file, bool* exists, std::string* err);

// The path with every link resolved.
bool resolvePath(const std::string& path, std::string* resolved, std::string* err);
// The file a path to write names: every link resolved, also a link to a file
// that is not there yet; the folder it lands in must exist.
bool resolveOutputPath(const std::string& path, std::string* resolved, std::string* err);
// What path names, links followed.
PathKind pathKind(const std::string& path);
// True when path ends in a folder separator.
bool endsInSeparator(const std::string& path);
// True when the user may write the file at path and replace it (it is not
// opened for good, and no other program holds it open against that).
bool mayWrite(const std::string& path, std::string* err);
// True when the user may make a new file in folder and rename it over
// replacing (an existing file there, or empty). Where the system cannot tell
// it otherwise, a file is made there and removed again, if probe allows.
bool mayCreateIn(const std::string& folder, const std::string& replacing, bool probe, std::string* err);
// Gives the file at to what it can of the metadata of the file at from (its
// owner where the system allows, its extended attributes and access control
// lists) and then its mode or attributes.
bool copyMetadata(const std::string& from, const std::string& to, std::string* err);
// Renames from over to in one step.
bool replaceFile(const std::string& from, const std::string& to, std::string* err);
// Exchanges the files at a and b in one step, where the system can;
// kUnsupported where it cannot, with nothing changed.
Exchange exchangeFiles(const std::string& a, const std::string& b, std::string* err);
// The system's folder for temporary files.
std::string temporaryFolder();
// The bytes the user may still write in folder's file system.
bool freeSpace(const std::string& folder, uint64_t* bytes);
// Removes the file, if it is there.
void removeFile(const std::string& path);
// Flushes a folder's entries to disk, where the system needs that.
void syncFolder(const std::string& folder);
// The names in folder into *names; false, with the system's reason in *err,
// when it cannot be listed whole.
bool folderNames(const std::string& folder, std::vector<std::string>* names, std::string* err);
// The name in folder that is name (on a file system that ignores letter
// case, too), else the single one there that differs from it only in letter
// case (the folder is listed only then); empty when there is none.
std::string nameInFolder(const std::string& folder, const std::string& name);
// The folder holding the running executable, as the system reports it.
std::string executableFolder();
// The working folder's full path; empty when the system cannot tell it.
std::string currentFolder();
// name inside folder, joined with the system's separator.
std::string joinPath(const std::string& folder, const std::string& name);
// The folder part of path, "." when it has none.
std::string folderOf(const std::string& path);
// The last part of path, after its folder.
std::string nameOf(const std::string& path);
// This process's id.
int processId();

// Gives each closed standard stream a file that refuses writes, so that no
// file the tool opens takes its place and receives what is written to it.
void protectStandardStreams();
// The command line as UTF-8 strings (on Windows taken from the wide command
// line, so that every path a user can type arrives whole).
std::vector<std::string> commandLine(int argc, char** argv);
// Makes a console window show the UTF-8 text the tool writes.
void useUtf8Console();

// Calls handler on every signal whose default action ends the process
// (interrupts, hangups, terminations, timers, limits, user and real-time
// signals, crashes). A write past the file-size limit or to a closed pipe
// fails with an error instead of ending the process.
void onEndingSignals(void (*handler)(int signal));
// After the handler's cleanup: ends the process as the signal would have.
[[noreturn]] void endBySignal(int signal);
// True for the signals that report a fault of the process itself.
bool isCrashSignal(int signal);
// Holds the ending signals back until the returned scope ends.
struct SignalsHeld {
    SignalsHeld();
    ~SignalsHeld();
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;
};
// Signal-safe: writes text to the standard error stream, removes a file.
void writeErrorNow(const char* text);
void removeFileNow(const char* path);

// Notice of changes to the files of a folder (and of the folders under it,
// where asked), as the system gives it; ended when the object goes.
class ChangeNotices {
public:
    ChangeNotices() = default;
    ~ChangeNotices() { stop(); }
    ChangeNotices(const ChangeNotices&) = delete;
    ChangeNotices& operator=(const ChangeNotices&) = delete;
    // Ends the notices.
    void stop();

    intptr_t handle_ = File::kNone;  // an inotify descriptor, or a Windows change notification
    std::string folder_;
    bool tree_ = false;
};
// Starts notices of changes in folder (and, where tree, in the folders under
// it); false where the system gives none there, as on network and FUSE file
// systems: the caller then looks for itself.
bool startNotices(const std::string& folder, bool tree, ChangeNotices* notices);
// Waits up to timeoutMs milliseconds (for ever when negative) for a notice,
// and takes every notice that came; true when one came. Without notices
// started, only waits.
bool waitForNotice(ChangeNotices& notices, int64_t timeoutMs);
// Milliseconds on a clock that only moves forward.
int64_t monotonicMs();
// The local time of day, as "12:04:31".
std::string timeOfDay();

// True when this process is the only one attached to its console window
// (it was started by a double click or a drop, not from a console or a pipe).
bool ownsConsoleAlone();
// Waits until the user presses a key.
void waitForKey();

}  // namespace platform
