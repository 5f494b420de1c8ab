#include "archive/map_file.h"

bool openMap(const std::string& path, OpenMap* map, std::string* err) {
    const std::string unreadable = "Couldn't open the map mpq file for reading.";
    map->path = path;
    std::string why;
    if (!platform::resolvePath(path, &map->target, &why)) {
        *err = unreadable;
        return false;
    }
    switch (platform::openRegularFile(map->target, &map->file, &why)) {
        case platform::OpenResult::kOpened:
            break;
        case platform::OpenResult::kNotRegular:
            *err = "The map " + path + " is not a regular file.";
            return false;
        case platform::OpenResult::kMissing:
        case platform::OpenResult::kFailed:
            *err = unreadable;
            return false;
    }
    if (!platform::fileState(map->file, &map->state)) {
        *err = unreadable;
        return false;
    }
    releaseMap(*map);
    return true;
}

bool holdMap(OpenMap& map) {
    if (map.file.isOpen()) return true;
    platform::FileState now;
    return platform::openRegularFile(map.target, &map.file, nullptr) == platform::OpenResult::kOpened &&
           platform::fileState(map.file, &now) && now == map.state;
}

void releaseMap(OpenMap& map) {
    if (platform::openFilesBlockReplacement()) map.file.close();
}

bool mapUnchanged(const OpenMap& map) {
    platform::FileState now, atPath, atTarget;
    return (!map.file.isOpen() || (platform::fileState(map.file, &now) && now == map.state)) &&
           platform::pathState(map.path, &atPath) && atPath == map.state && platform::pathState(map.target, &atTarget) &&
           atTarget == map.state;
}

bool resolveOutput(const OpenMap& map, const std::string& output, std::string* target, std::string* err) {
    std::string why;
    platform::FileState existing;
    if (platform::pathState(output, &existing)) {
        if (existing.device == map.state.device && existing.file == map.state.file) {
            *err = "The output " + output + " is the map itself; give another name to write the processed map to.";
            return false;
        }
        if (platform::resolvePath(output, target, &why)) return true;
    } else {
        std::string folder;
        if (platform::resolvePath(platform::folderOf(output), &folder, &why)) {
            *target = (folder.back() == '/' || folder.back() == '\\' ? folder : folder + "/") + platform::nameOf(output);
            return true;
        }
    }
    *err = "Couldn't find the folder of the output " + output + ": " + why;
    return false;
}

std::string mapChangedMessage(const OpenMap& map) {
    return "The map " + map.path +
           " was changed by another program while ostrel worked on it; it was left as that program wrote it.";
}
