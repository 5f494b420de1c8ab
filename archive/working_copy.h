#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "base/system_ops.h"

// The copy of a file that a run changes instead of the file itself. It is
// made in the folder of the file it will replace, under a short name of its
// own, so that it can take that file's place in one step. Until then it is
// removed when it is discarded, when its owner goes, and when a signal ends
// the process.
class WorkingCopy {
public:
    // A run's copy, before it is made; no copy of an earlier run stands in
    // its file's place any longer.
    explicit WorkingCopy(const SystemOps& system);
    ~WorkingCopy();
    WorkingCopy(const WorkingCopy&) = delete;
    WorkingCopy& operator=(const WorkingCopy&) = delete;

    // Creates the copy in folder, never over an existing file, under a name
    // whose path is at most limit bytes long, and leaves it open for writing
    // in *file. Where compactable, the name of the archive library's
    // compaction file beside it is taken too, if it fits the limit.
    bool create(const std::string& folder, std::size_t limit, bool compactable, platform::File* file, std::string* err);
    // True when the archive library may compact the copy: the name of its
    // temporary file fits the limit.
    bool compacts() const { return !compactionPath_.empty(); }
    // Flushes the finished copy to disk (unless it is only to be looked at
    // and thrown away), gives it the metadata of the file at metadataFrom and
    // records it as this run's: its state and the hash of its bytes.
    bool finish(const std::string& metadataFrom, bool flush, std::string* err);
    // True when the file at path is the copy this run made: the same file,
    // and once finished, in the same state with the same bytes, read through
    // buffer (which must not be empty). Allocates nothing.
    bool holdsOurCopy(const std::string& path, std::vector<char>& buffer);
    // Exchanges the copy with the file at target, where the system can: the
    // copy's name then holds what stood at target, until it is confirmed or
    // exchanged back.
    platform::Exchange exchange(const std::string& target, std::string* err);
    // After an exchange: exchanges back, so that target holds what it held.
    bool exchangeBack(const std::string& target, std::string* err);
    // After an exchange: removes what the exchange put under the copy's name.
    // Allocates nothing, so that nothing can stop it half-way.
    void confirmExchange();
    // After an exchange that could not be undone: leaves what the copy's name
    // holds where it is.
    void abandon();
    // Renames the copy over target. On failure the copy is still there.
    bool rename(const std::string& target, std::string* err);
    // Removes the copy, if there is one and the file under its name is still
    // the copy this run made; leaves any other file there.
    void discard();

    // After the archive library wrote an archive at the compaction path: cuts
    // the copy to its first keep bytes and puts that archive behind them.
    bool takeArchive(uint64_t keep, std::string* err);

    const std::string& path() const { return path_; }
    // The state of the copy when it was finished.
    const platform::FileState& finishedState() const { return state_; }
    const std::string& compactionPath() const { return compactionPath_; }

private:
    const SystemOps& system_;
    std::string path_;
    std::string compactionPath_;  // the archive library's temporary file beside it
    std::string folder_;          // where both are
    bool finished_ = false;
    platform::FileState state_;   // once finished
    uint64_t hash_ = 0;           // of its bytes, once finished
};

// The limit on paths that no archive library reads.
constexpr std::size_t kNoPathLimit = static_cast<std::size_t>(-1) / 2;

// True when a copy made in folder has a path of at most limit bytes.
bool copyFitsIn(const std::string& folder, std::size_t limit);

// Signal-safe: removes every copy not yet kept. For a signal handler.
// Returns false when a copy has taken its file's place.
bool removeWorkingCopiesNow();
