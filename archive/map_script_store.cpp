#include "archive/map_script_store.h"

#include <cstdint>
#include <vector>
#include "base/file_content.h"

namespace {

// True when the map is still the file opened, unchanged, held open where
// hold; otherwise *err says that another program changed it.
bool stillTheMap(const SystemOps& system, OpenMap& map, bool hold, std::string* err) {
    if ((!hold || holdMap(system, map)) && mapUnchanged(system, map)) return true;
    *err = mapChangedMessage(map);
    return false;
}

// True when the map is still the file opened and holds the bytes copied.
bool sameContent(const SystemOps& system, OpenMap& map, std::vector<char>& buffer) {
    uint64_t now = 0;
    return holdMap(system, map) && hashFile(system, map.file, buffer, &now) && now == map.contentHash &&
           mapUnchanged(system, map);
}

// After an exchange: true when the file now under path is the map opened,
// unchanged by state and by content. Allocates nothing.
bool exchangedOutIsMap(const SystemOps& system, OpenMap& map, const std::string& path, std::vector<char>& buffer) {
    platform::FileState there, held;
    uint64_t now = 0;
    return system.pathState(path, &there) && there == map.state && map.file.isOpen() &&
           system.fileState(map.file, &held) && held == map.state && hashFile(system, map.file, buffer, &now) &&
           now == map.contentHash;
}

// After an exchange that took out another program's save of the map: puts
// that save back under the map's name while the name holds the copy, and
// removes the copy once it is back under its own name. A file of the other
// program is never removed: one that is not where it belongs stays under the
// copy's name, and *err says so.
bool undoExchange(OpenMap& map, WorkingCopy& copy, const Destination& destination, std::vector<char>& buffer,
                  std::string* err) {
    std::string why;
    if (copy.holdsOurCopy(destination.target, buffer) && copy.exchangeBack(destination.target, &why) &&
        copy.holdsOurCopy(copy.path(), buffer)) {
        *err = mapChangedMessage(map);
        return false;
    }
    *err = why.empty() ? "The map " + map.path + " was saved more than once by another program while ostrel worked "
                             "on it; ostrel left the map as that program wrote it, and kept its other save as " +
                             copy.path() + "."
                       : "The map " + map.path + " was changed by another program while ostrel worked on it, and " +
                             "ostrel could not put that program's file back (" + why + "); it is " + copy.path() + ".";
    copy.abandon();
    return false;
}

// The line for a copy that could not take the destination's place.
std::string notReplaced(const Destination& destination, const std::string& why) {
    return "Couldn't replace the map file " + destination.shown + " with its updated copy: " + why;
}

}  // namespace

bool copyMap(const SystemOps& system, OpenMap& map, const std::string& folder, std::size_t pathLimit, WorkingCopy& copy,
             std::string* err) {
    if (!stillTheMap(system, map, true, err)) return false;
    std::string why;
    platform::File file;
    std::vector<char> buffer(kFileBuffer);
    bool copied = copy.create(folder, pathLimit, true, &file, &why) &&
                  copyBytes(system, map.file, &file, buffer, &map.contentHash, &why);
    if (file.isOpen() && !file.close() && copied) {
        why = platform::lastError();
        copied = false;
    }
    releaseMap(map);
    if (!copied) {
        *err = "Couldn't create a temporary copy of the map in " + folder + ": " + why;
        return false;
    }
    system.atStep(StoreStep::kCopied);
    return stillTheMap(system, map, false, err);
}

bool readMap(const SystemOps& system, OpenMap& map, ScriptText* text, std::string* err) {
    if (!stillTheMap(system, map, true, err)) return false;
    std::string why;
    const bool read = readWhole(system, map.file, text, &map.contentHash, &why);
    releaseMap(map);
    if (!read) {
        *err = "Couldn't read the map script " + map.path + ": " + why;
        return false;
    }
    system.atStep(StoreStep::kCopied);
    return stillTheMap(system, map, false, err);
}

bool finishStore(const SystemOps& system, OpenMap& map, WorkingCopy& copy, const Destination& destination,
                 bool replace, std::string* err) {
    std::string why;
    if (!copy.finish(destination.metadataFrom, replace, &why)) {
        *err = "Couldn't finish the updated copy of the map: " + why;
        return false;
    }
    system.atStep(StoreStep::kFlushed);
    if (!stillTheMap(system, map, true, err)) return false;
    std::vector<char> buffer(1 << 20);
    if (replace && destination.isMap) {
        // No signal between the exchange and its confirmation or undoing, and
        // nothing that can run out of memory.
        platform::SignalsHeld held;
        system.atStep(StoreStep::kLastCheck);
        switch (copy.exchange(destination.target, &why)) {
            case platform::Exchange::kDone:
                system.atStep(StoreStep::kReplaced);
                if (exchangedOutIsMap(system, map, copy.path(), buffer)) {
                    copy.confirmExchange();
                    return true;
                }
                return undoExchange(map, copy, destination, buffer, err);
            case platform::Exchange::kFailed:
                *err = notReplaced(destination, why);
                return false;
            case platform::Exchange::kUnsupported:
                break;
        }
    }
    if (!sameContent(system, map, buffer)) {
        *err = mapChangedMessage(map);
        return false;
    }
    if (!replace) return true;
    system.atStep(StoreStep::kLastCheck);
    // Nothing holds the map open when it is replaced: some systems refuse
    // to replace an open file.
    map.file.close();
    if (!copy.rename(destination.target, &why)) {
        *err = notReplaced(destination, why);
        return false;
    }
    system.atStep(StoreStep::kReplaced);
    return true;
}
