#pragma once
#include <string>
#include "base/platform.h"

// The map a run works on, opened once at the start and held open: the copy is
// made from this very file, and a change by another program shows. Where an
// open file cannot be replaced, it is held open only while it is copied, so
// that another program's save is never refused.
struct OpenMap {
    std::string path;            // as the user gave it
    std::string target;          // the file it names, links resolved
    platform::File file;         // open for reading, while held
    platform::FileState state;   // as it was when opened
};

// Opens the map at path without blocking; false, with one line in *err, when
// it is missing, unreadable or not a regular file.
bool openMap(const std::string& path, OpenMap* map, std::string* err);

// Holds the map open again where it was let go; false when the file there is
// no longer the one opened, unchanged.
bool holdMap(OpenMap& map);
// Lets go of the map where an open file cannot be replaced.
void releaseMap(OpenMap& map);

// True when both the path and the resolved file still name the file opened,
// and it (held open or not) is unchanged since.
bool mapUnchanged(const OpenMap& map);

// The file the output path names, in *target: links resolved where it exists,
// else its folder resolved. False, with one line in *err, when its folder
// cannot be found or it is the map itself.
bool resolveOutput(const OpenMap& map, const std::string& output, std::string* target, std::string* err);

// The line that says another program changed the map during the run.
std::string mapChangedMessage(const OpenMap& map);
