#pragma once
// The operating system calls the store makes, as one table of plain function
// pointers, as the archive operations are: the real table calls the platform
// layer directly; a test hands the run a table in which any call fails, waits
// for another program, or lets one act between two steps.
#include <string>
#include "base/platform.h"

// The steps of a store, in order; the table's atStep is called after each.
enum class StoreStep {
    kCopied,       // the map is copied and the copy closed
    kScriptRead,   // the script is read from the copy
    kEntryStored,  // the new script is in the copy, which is closed
    kReadBack,     // the copy has read back as meant
    kFlushed,      // the copy is on disk with the map's metadata
    kLastCheck,    // the map was found unchanged a last time; the replacement comes next
    kReplaced,     // the copy stands under the map's name, not yet confirmed
};

struct SystemOps {
    platform::OpenResult (*openRegularFile)(const std::string& path, platform::File* file, std::string* err);
    bool (*createNewFile)(const std::string& path, platform::File* file, bool* exists, std::string* err);
    bool (*openCutTo)(const std::string& path, int64_t size, platform::File* file, std::string* err);
    long long (*readSome)(platform::File& file, char* buffer, std::size_t size);
    bool (*rewind)(platform::File& file);
    bool (*writeAll)(platform::File& file, const char* data, std::size_t size);
    bool (*syncPath)(const std::string& path, std::string* err);
    void (*syncFolder)(const std::string& folder);
    bool (*fileState)(const platform::File& file, platform::FileState* state);
    bool (*pathState)(const std::string& path, platform::FileState* state);
    bool (*copyMetadata)(const std::string& from, const std::string& to, std::string* err);
    platform::Exchange (*exchangeFiles)(const std::string& a, const std::string& b, std::string* err);
    bool (*replaceFile)(const std::string& from, const std::string& to, std::string* err);
    void (*removeFile)(const std::string& path);
    bool (*freeSpace)(const std::string& folder, uint64_t* bytes);
    bool (*folderNames)(const std::string& folder, std::vector<std::string>* names, std::string* err);
    void (*atStep)(StoreStep step);
};

// The table backed by the platform layer; atStep does nothing.
const SystemOps& platformSystemOps();

// What a watch asks of the system besides: a clock, notices of changes, the
// time of day; one table, which tests replace to drive a watch by a clock and
// saves of their own.
enum class Wait { kNotice, kTimeout, kEnd };  // kEnd: the table asks the watch to end
struct WatchOps {
    int64_t (*now)();  // milliseconds, only forward
    bool (*startNotices)(const std::string& folder, bool tree, platform::ChangeNotices* notices);
    Wait (*waitForNotice)(platform::ChangeNotices& notices, int64_t timeoutMs);  // for ever when negative
    std::string (*timeOfDay)();
};

// The table backed by the platform layer; it never asks the watch to end.
const WatchOps& platformWatchOps();
