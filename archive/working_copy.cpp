#include "archive/working_copy.h"

#include <csignal>
#include <cstring>
#include <vector>

namespace {

// The paths a signal handler removes: each working copy and the temporary
// file of its compaction, written before the slot is marked in use.
struct PublishedPath {
    char path[4096];
    volatile std::sig_atomic_t inUse;
};
PublishedPath published[4];
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

// A name for the copy that fits any folder's name-length limit, whatever the
// file's own name.
std::string copyName(int attempt) {
    return ".ostrel-" + std::to_string(platform::processId()) + "-" + std::to_string(attempt);
}

// True when every byte of from, from where it stands, reached to; otherwise
// *err says why not.
bool copyBytes(platform::File& from, platform::File& to, std::string* err) {
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const long long got = platform::readSome(from, buffer.data(), buffer.size());
        if (got == 0) return true;
        if (got < 0 || !platform::writeAll(to, buffer.data(), static_cast<std::size_t>(got))) {
            *err = platform::lastError();
            return false;
        }
    }
}

// The name the archive library gives its temporary file when it compacts the
// archive at path; it is removed with the copy.
std::string compactionTempPath(const std::string& path) {
    return path + ".tmp";
}

}  // namespace

bool WorkingCopy::create(const std::string& folder, platform::File& source, std::string* err) {
    discard();
    const std::string prefix = folder == "/" ? folder : folder + "/";
    platform::File copy;
    {
        // No signal may come between making a file and publishing it for removal.
        platform::SignalsHeld held;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const std::string candidate = prefix + copyName(attempt);
            bool exists = false;
            if (!platform::createNewFile(candidate, &copy, &exists, err)) {
                if (exists) continue;
                return false;
            }
            // The archive library compacts through a file of its own beside
            // the archive; its name is taken now, so that no other file is in
            // its way.
            platform::File reserved;
            if (!platform::createNewFile(compactionTempPath(candidate), &reserved, &exists, err)) {
                copy.close();
                platform::removeFile(candidate);
                if (exists) continue;
                return false;
            }
            path_ = candidate;
            publish(path_);
            publish(compactionTempPath(path_));
        }
    }
    if (path_.empty()) {
        *err = "no free name for it";
        return false;
    }
    const bool copied = copyBytes(source, copy, err);
    const bool closed = copy.close();
    if (copied && !closed) *err = platform::lastError();
    return copied && closed;
}

bool WorkingCopy::finish(const platform::File& source, std::string* err) {
    platform::removeFile(compactionTempPath(path_));
    if (!platform::syncPath(path_)) {
        *err = platform::lastError();
        return false;
    }
    return platform::copyMetadata(source, path_, err);
}

bool WorkingCopy::keep(const std::string& target, std::string* err) {
    {
        // No signal may remove the copy once it is the map.
        platform::SignalsHeld held;
        if (!platform::replaceFile(path_, target, err)) return false;
        keptAny = 1;
        unpublish(compactionTempPath(path_));
        unpublish(path_);
        path_.clear();
    }
    platform::syncFolder(platform::folderOf(target));
    return true;
}

void WorkingCopy::discard() {
    if (path_.empty()) return;
    platform::removeFile(path_);
    platform::removeFile(compactionTempPath(path_));
    unpublish(compactionTempPath(path_));
    unpublish(path_);
    path_.clear();
}

bool removeWorkingCopiesNow() {
    for (PublishedPath& slot : published)
        if (slot.inUse) platform::removeFileNow(slot.path);
    return !keptAny;
}
