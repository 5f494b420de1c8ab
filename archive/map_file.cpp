#include "archive/map_file.h"

#include "archive/map_form.h"
#include "archive/working_copy.h"

namespace {

// Checks that the user may write target (when it is there) and make the new
// file beside it; false, with one line in *err, when not.
bool mayReplace(const Destination& destination, bool exists, bool probe, std::string* err) {
    std::string why;
    if (exists && !platform::mayWrite(destination.target, &why)) {
        *err = "Couldn't open the map file " + destination.shown + " for writing: " + why;
        return false;
    }
    const std::string folder = platform::folderOf(destination.target);
    if (!platform::mayCreateIn(folder, exists ? destination.target : std::string(), probe, &why)) {
        *err = "Couldn't create a temporary copy of the map in " + folder + ": " + why;
        return false;
    }
    return true;
}

// Bytes as mebibytes with one decimal, rounded up.
std::string mebibytes(uint64_t bytes) {
    const uint64_t tenths = (bytes * 10 + (1u << 20) - 1) >> 20;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

// Where a check makes its working copy: the system's temporary folder, so
// that nothing is made beside the map; the map's folder, where a run makes
// its copy, when the temporary folder is not there, cannot take a new file or
// the copy's name, or has little room.
std::string checkCopyFolder(const SystemOps& system, const MapForm& form, const Destination& d, int64_t mapSize,
                            std::size_t pathLimit) {
    const std::string temporary = platform::temporaryFolder();
    uint64_t free = 0;
    std::string why;
    const bool takesIt = platform::pathKind(temporary) == platform::PathKind::kFolder &&
                         platform::mayCreateIn(temporary, std::string(), true, &why) && copyFitsIn(temporary, pathLimit) &&
                         system.freeSpace(temporary, &free) && free / 4 >= form.room(mapSize, 0) + (16u << 20);
    return takesIt ? temporary : d.folder;
}

// The file that output names: output itself, or the map's name in the folder
// output names.
bool outputFile(const std::string& map, const std::string& output, std::string* file, std::string* err) {
    const bool folder = platform::pathKind(output) == platform::PathKind::kFolder;
    if (!folder && platform::endsInSeparator(output)) {
        *err = "The output " + output + " names no folder.";
        return false;
    }
    std::string name = map;
    while (name.size() > 1 && platform::endsInSeparator(name)) name.pop_back();
    *file = folder ? platform::joinPath(output, platform::nameOf(name)) : output;
    return true;
}

// True when path is folder or lies inside it (both with every link resolved).
bool liesIn(const std::string& path, const std::string& folder) {
    return path.compare(0, folder.size(), folder) == 0 &&
           (path.size() == folder.size() || platform::endsInSeparator(folder) ||
            platform::endsInSeparator(path.substr(0, folder.size() + 1)));
}

}  // namespace

bool openMap(const SystemOps& system, const std::string& path, const char* unreadable, OpenMap* map,
             std::string* err) {
    map->path = path;
    std::string why;
    if (!platform::resolvePath(path, &map->target, &why)) {
        *err = unreadable + path + ": " + why;
        return false;
    }
    switch (system.openRegularFile(map->target, &map->file, &why)) {
        case platform::OpenResult::kOpened:
            break;
        case platform::OpenResult::kNotRegular:
            *err = "The map " + path + " is not a regular file.";
            return false;
        case platform::OpenResult::kMissing:
        case platform::OpenResult::kFailed:
            *err = unreadable + path + ": " + why;
            return false;
    }
    if (!system.fileState(map->file, &map->state)) {
        *err = unreadable + path + ": " + platform::lastError();
        return false;
    }
    return true;
}

bool holdMap(const SystemOps& system, OpenMap& map) {
    if (map.file.isOpen()) return true;
    platform::FileState now;
    return system.openRegularFile(map.target, &map.file, nullptr) == platform::OpenResult::kOpened &&
           system.fileState(map.file, &now) && now == map.state;
}

void releaseMap(OpenMap& map) {
    if (platform::openFilesBlockReplacement()) map.file.close();
}

bool mapUnchanged(const SystemOps& system, const OpenMap& map) {
    platform::FileState now, atPath, atTarget;
    return (!map.file.isOpen() || (system.fileState(map.file, &now) && now == map.state)) &&
           system.pathState(map.path, &atPath) && atPath == map.state && system.pathState(map.target, &atTarget) &&
           atTarget == map.state;
}

std::string mapChangedMessage(const OpenMap& map) {
    return "The map " + map.path +
           " was changed by another program while ostrel worked on it; it was left as that program wrote it.";
}

bool hasRoom(const SystemOps& system, const std::string& folder, uint64_t room, uint64_t held, std::string* err) {
    uint64_t free = 0;
    if (!system.freeSpace(folder, &free) || free + held >= room) return true;
    *err = "There is not room enough for the new map in " + folder + ": ostrel needs about " + mebibytes(room) +
           " MiB there for its working copies, and " + mebibytes(free + held) + " MiB are free.";
    return false;
}

namespace {

// Completes d for a run whose copy goes beside its target, or for a check:
// true when the user may replace the target (exists says whether it is
// there), its folder takes the copy's name and has the room a run needs.
bool completeDestination(const SystemOps& system, const OpenMap& map, const MapForm& form, bool check,
                         std::size_t pathLimit, bool exists, Destination& d, std::string* err) {
    d.folder = platform::folderOf(d.target);
    // A check of a map folder makes no file in it, not even to remove it again.
    if (!mayReplace(d, exists, !(check && form.folder), err)) return false;
    if (!copyFitsIn(d.folder, pathLimit)) {
        *err = "Couldn't create a temporary copy of the map in " + d.folder + ": its path would be longer than the map "
               "archive library takes (" + std::to_string(pathLimit) + " bytes).";
        return false;
    }
    if (!hasRoom(system, d.folder, form.room(map.state.size, 0), 0, err)) return false;
    d.copyFolder = check && !form.folder ? checkCopyFolder(system, form, d, map.state.size, pathLimit) : d.folder;
    return true;
}

}  // namespace

bool resolveDestination(const SystemOps& system, const OpenMap& map, const MapPlace& place, const MapForm& form,
                        const std::string& output, bool check, std::size_t pathLimit, Destination* destination,
                        std::string* err) {
    Destination& d = *destination;
    if (output.empty()) {
        d.target = map.target;
        d.shown = map.path;
        d.metadataFrom = map.target;
        d.isMap = true;
        // The script file of a folder is written by the tool, not the archive library.
        return completeDestination(system, map, form, check, form.folder ? kNoPathLimit : pathLimit, true, d, err);
    }
    std::string file, why, folder;
    if (!outputFile(place.given, output, &file, err)) return false;
    if (!platform::resolveOutputPath(file, &d.target, &why)) {
        *err = "Couldn't find the folder of the output " + file + ": " + why;
        return false;
    }
    d.shown = file;
    d.isMap = false;
    const platform::PathKind kind = platform::pathKind(d.target);
    if (kind != platform::PathKind::kMissing && kind != platform::PathKind::kRegular) {
        *err = "The output " + file + " is not a regular file; give the name of a file to write the processed map to.";
        return false;
    }
    platform::FileState existing;
    const bool exists = kind == platform::PathKind::kRegular && platform::pathState(d.target, &existing);
    if (exists && existing.device == map.state.device && existing.file == map.state.file) {
        *err = "The output " + file + " is the map itself; give another name to write the processed map to.";
        return false;
    }
    if (form.folder && platform::resolvePath(place.given, &folder, &why) && liesIn(d.target, folder)) {
        *err = "The output " + file + " lies in the map folder " + place.given + "; give a name outside it.";
        return false;
    }
    // An existing file keeps its own metadata; a new one gets the map's (a
    // folder's: its script file's).
    d.metadataFrom = exists ? d.target : map.target;
    return completeDestination(system, map, form, false, pathLimit, exists, d, err);
}
