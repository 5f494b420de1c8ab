#pragma once
#include <string>
#include "base/platform.h"

// The map a run works on, opened once at the start and held open: the copy is
// made from this very file, and a change by another program shows.
struct OpenMap {
    std::string path;            // as the user gave it
    std::string target;          // the file it names, links resolved
    platform::File file;         // open for reading
    platform::FileState state;   // as it was when opened
};

// Opens the map at path without blocking; false, with one line in *err, when
// it is missing, unreadable or not a regular file.
bool openMap(const std::string& path, OpenMap* map, std::string* err);

// True when both the path and the resolved file still name the file opened,
// and it is unchanged since.
bool mapUnchanged(const OpenMap& map);

// The file the output path names, in *target: links resolved where it exists,
// else its folder resolved. False, with one line in *err, when its folder
// cannot be found or it is the map itself.
bool resolveOutput(const OpenMap& map, const std::string& output, std::string* target, std::string* err);

// The line that says another program changed the map during the run.
std::string mapChangedMessage(const OpenMap& map);
