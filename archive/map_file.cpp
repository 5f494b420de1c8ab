#include "archive/map_file.h"

namespace {

const char kUnreadable[] = "Couldn't open the map mpq file for reading. ";

// Checks that the user may write target (when it is there) and make the new
// file beside it; false, with one line in *err, when not.
bool mayReplace(const Destination& destination, bool exists, std::string* err) {
    std::string why;
    if (exists && !platform::mayWrite(destination.target, &why)) {
        *err = "Couldn't open the map file " + destination.shown + " for writing: " + why;
        return false;
    }
    const std::string folder = platform::folderOf(destination.target);
    if (!platform::mayCreateIn(folder, exists ? destination.target : std::string(), &why)) {
        *err = "Couldn't create a temporary copy of the map in " + folder + ": " + why;
        return false;
    }
    return true;
}

// The file that output names: output itself, or the map's name in the folder
// output names.
bool outputFile(const OpenMap& map, const std::string& output, std::string* file, std::string* err) {
    const bool folder = platform::pathKind(output) == platform::PathKind::kFolder;
    if (!folder && platform::endsInSeparator(output)) {
        *err = "The output " + output + " names no folder.";
        return false;
    }
    *file = folder ? output + (platform::endsInSeparator(output) ? "" : "/") + platform::nameOf(map.path) : output;
    return true;
}

}  // namespace

bool openMap(const SystemOps& system, const std::string& path, OpenMap* map, std::string* err) {
    map->path = path;
    std::string why;
    if (!platform::resolvePath(path, &map->target, &why)) {
        *err = kUnreadable + path + ": " + why;
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
            *err = kUnreadable + path + ": " + why;
            return false;
    }
    if (!system.fileState(map->file, &map->state)) {
        *err = kUnreadable + path + ": " + platform::lastError();
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

bool resolveDestination(const OpenMap& map, const std::string& output, bool check, Destination* destination,
                        std::string* err) {
    Destination& d = *destination;
    if (output.empty()) {
        d = {map.target, map.path, check ? platform::temporaryFolder() : platform::folderOf(map.target), map.target, true};
        return mayReplace(d, true, err);
    }
    std::string file, why;
    if (!outputFile(map, output, &file, err)) return false;
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
    // An existing file keeps its own metadata; a new one gets the map's.
    d.metadataFrom = exists ? d.target : map.target;
    d.copyFolder = platform::folderOf(d.target);
    return mayReplace(d, exists, err);
}
