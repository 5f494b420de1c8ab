#include "archive/working_copy.h"

#include <csignal>
#include <cstring>
#include <string_view>
#include <vector>
#include "base/file_content.h"

namespace {

constexpr std::string_view kCompactionSuffix = ".tmp";

// The paths a signal handler removes: each working copy and the temporary
// file of its compaction, written before the slot is marked in use.
struct PublishedPath {
    char path[4096];
    volatile std::sig_atomic_t inUse;
};
PublishedPath published[4];
// Set while a copy stands in its file's place.
volatile std::sig_atomic_t keptAny = 0;

// Publishes path for removal on a signal; false when it does not fit.
bool publish(const std::string& path) {
    if (path.size() >= sizeof(published[0].path)) return false;
    platform::SignalsHeld held;
    for (PublishedPath& slot : published) {
        if (slot.inUse) continue;
        std::memcpy(slot.path, path.c_str(), path.size() + 1);
        slot.inUse = 1;
        return true;
    }
    return false;
}

// Stops removing path on a signal.
void unpublish(const std::string& path) {
    platform::SignalsHeld held;
    for (PublishedPath& slot : published)
        if (slot.inUse && path == slot.path) slot.inUse = 0;
}

// The copy's path in folder at an attempt: a name that fits any folder's
// name-length limit, and that names the process, for whoever finds one a
// kill left behind; where that and its compaction file would be longer than
// limit, a short one.
std::string copyPath(const std::string& folder, int attempt, std::size_t limit) {
    const std::string path =
        platform::joinPath(folder, ".ostrel-" + std::to_string(platform::processId()) + "-" + std::to_string(attempt));
    return path.size() + kCompactionSuffix.size() <= limit ? path
                                                            : platform::joinPath(folder, ".o" + std::to_string(attempt));
}

constexpr int kAttempts = 100;

// The name the archive library gives its temporary file when it compacts the
// archive at path; it is removed with the copy.
std::string compactionTempPath(const std::string& path) {
    return path + std::string(kCompactionSuffix);
}

}  // namespace

bool copyFitsIn(const std::string& folder, std::size_t limit) {
    return copyPath(folder, kAttempts - 1, limit).size() <= limit;
}

bool WorkingCopy::create(const std::string& folder, std::size_t limit, bool compactable, platform::File* file,
                         std::string* err) {
    discard();
    if (!copyFitsIn(folder, limit)) {
        *err = "its path would be longer than the map archive library takes";
        return false;
    }
    platform::File copy;
    {
        // No signal may come between making a file and publishing it for removal.
        platform::SignalsHeld held;
        for (int attempt = 0; attempt < kAttempts && path_.empty(); ++attempt) {
            const std::string candidate = copyPath(folder, attempt, limit);
            bool exists = false;
            if (!system_.createNewFile(candidate, &copy, &exists, err)) {
                if (exists) continue;
                return false;
            }
            // The archive library compacts through a file of its own beside
            // the archive; its name is taken now, so that no other file is in
            // its way. Where that name would be too long, there is no
            // compaction.
            const std::string compaction = compactable ? compactionTempPath(candidate) : std::string();
            platform::File reserved;
            if (!compaction.empty() && compaction.size() <= limit &&
                !system_.createNewFile(compaction, &reserved, &exists, err)) {
                copy.close();
                system_.removeFile(candidate);
                if (exists) continue;
                return false;
            }
            path_ = candidate;
            compactionPath_ = compaction.size() <= limit ? compaction : std::string();
            folder_ = folder;
            publish(path_);
            if (compacts()) publish(compactionPath_);
        }
    }
    if (path_.empty()) {
        *err = "no free name for it";
        return false;
    }
    *file = std::move(copy);
    return true;
}

WorkingCopy::WorkingCopy(const SystemOps& system) : system_(system) {
    keptAny = 0;
}

WorkingCopy::~WorkingCopy() {
    try {
        discard();
    } catch (...) {
        // Out of memory where the system wants a path converted: the
        // signal-safe removal needs none.
        removeWorkingCopiesNow();
    }
}

bool WorkingCopy::finish(const std::string& metadataFrom, bool flush, std::string* err) {
    if (compacts()) system_.removeFile(compactionPath_);
    if ((flush && !system_.syncPath(path_, err)) || !system_.copyMetadata(metadataFrom, path_, err)) return false;
    platform::File file;
    std::vector<char> buffer(kFileBuffer);
    finished_ = system_.openRegularFile(path_, &file, err) == platform::OpenResult::kOpened &&
                system_.fileState(file, &state_) && hashFile(system_, file, buffer, &hash_);
    if (!finished_ && err->empty()) *err = platform::lastError();
    return finished_;
}

bool WorkingCopy::holdsOurCopy(const std::string& path, std::vector<char>& buffer) {
    platform::FileState now;
    if (!system_.pathState(path, &now)) return false;
    if (!finished_) return true;
    platform::File file;
    uint64_t hash = 0;
    return now == state_ && system_.openRegularFile(path, &file, nullptr) == platform::OpenResult::kOpened &&
           hashFile(system_, file, buffer, &hash) && hash == hash_;
}

platform::Exchange WorkingCopy::exchange(const std::string& target, std::string* err) {
    platform::SignalsHeld held;
    const platform::Exchange result = system_.exchangeFiles(path_, target, err);
    if (result == platform::Exchange::kDone) keptAny = 1;
    return result;
}

bool WorkingCopy::exchangeBack(const std::string& target, std::string* err) {
    platform::SignalsHeld held;
    if (system_.exchangeFiles(path_, target, err) != platform::Exchange::kDone) return false;
    keptAny = 0;
    return true;
}

void WorkingCopy::confirmExchange() {
    platform::SignalsHeld held;
    // What the copy's name holds now is the file replaced.
    unpublish(compactionPath_);
    unpublish(path_);
    system_.removeFile(path_);
    system_.syncFolder(folder_);
    path_.clear();
}

void WorkingCopy::abandon() {
    unpublish(compactionPath_);
    unpublish(path_);
    path_.clear();
}

bool WorkingCopy::rename(const std::string& target, std::string* err) {
    {
        // No signal may remove the copy once it is the file.
        platform::SignalsHeld held;
        if (!system_.replaceFile(path_, target, err)) return false;
        keptAny = 1;
        unpublish(compactionPath_);
        unpublish(path_);
        path_.clear();
    }
    system_.syncFolder(folder_);
    return true;
}

bool WorkingCopy::takeArchive(uint64_t keep, std::string* err) {
    platform::File from, to;
    std::vector<char> buffer(kFileBuffer);
    uint64_t hash = 0;
    if (system_.openRegularFile(compactionPath_, &from, err) != platform::OpenResult::kOpened ||
        !system_.openCutTo(path_, static_cast<int64_t>(keep), &to, err))
        return false;
    if (!copyBytes(system_, from, &to, buffer, &hash, err)) return false;
    if (!to.close()) {
        *err = platform::lastError();
        return false;
    }
    return true;
}

void WorkingCopy::discard() {
    if (path_.empty()) return;
    std::vector<char> buffer(finished_ ? kFileBuffer : 0);
    if (holdsOurCopy(path_, buffer)) system_.removeFile(path_);
    if (compacts()) system_.removeFile(compactionPath_);
    unpublish(compactionPath_);
    unpublish(path_);
    path_.clear();
    finished_ = false;
}

bool removeWorkingCopiesNow() {
    for (PublishedPath& slot : published)
        if (slot.inUse) platform::removeFileNow(slot.path);
    return !keptAny;
}
