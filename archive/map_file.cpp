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
    return true;
}

bool mapUnchanged(const OpenMap& map) {
    platform::FileState now, atPath, atTarget;
    return platform::fileState(map.file, &now) && now == map.state && platform::pathState(map.path, &atPath) &&
           atPath == map.state && platform::pathState(map.target, &atTarget) && atTarget == map.state;
}

std::string mapChangedMessage(const OpenMap& map) {
    return "The map " + map.path +
           " was changed by another program while ostrel worked on it; it was left as that program wrote it.";
}
