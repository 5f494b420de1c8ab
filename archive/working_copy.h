#pragma once
#include <string>
#include "base/platform.h"

// The copy of a file that a run changes instead of the file itself. It is
// made in the file's own folder under a short name of its own, so that it can
// take the file's place in one rename. Until then it is removed when it is
// discarded, when its owner goes, and when a signal ends the process.
class WorkingCopy {
public:
    WorkingCopy() = default;
    ~WorkingCopy() { discard(); }
    WorkingCopy(const WorkingCopy&) = delete;
    WorkingCopy& operator=(const WorkingCopy&) = delete;

    // Creates the copy in folder, never over an existing file, and fills it
    // with every byte of source, read from where source stands.
    bool create(const std::string& folder, platform::File& source, std::string* err);
    // Flushes the finished copy to disk and gives it source's metadata.
    bool finish(const platform::File& source, std::string* err);
    // Renames the finished copy over target. On failure the copy is still
    // there, to be discarded.
    bool keep(const std::string& target, std::string* err);
    // Removes the copy, if there is one.
    void discard();

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Signal-safe: removes every copy not yet kept. For a signal handler.
// Returns false when a copy has already taken its file's place.
bool removeWorkingCopiesNow();
