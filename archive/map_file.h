#pragma once
#include <cstdint>
#include <string>
#include "base/system_ops.h"

// The map a run works on, opened once at the start and held open: the copy is
// made from this very file, and a change by another program shows. Where an
// open file cannot be replaced, it is held open only while it is copied, so
// that another program's save is never refused.
struct OpenMap {
    std::string path;            // as the user gave it
    std::string target;          // the file it names, links resolved
    platform::File file;         // open for reading, while held
    platform::FileState state;   // as it was when opened
    uint64_t contentHash = 0;    // of its bytes as copied
};

// Opens the map at path without blocking; false, with one line in *err (that
// starts with unreadable where the file cannot be opened), when it is
// missing, unreadable or not a regular file.
bool openMap(const SystemOps& system, const std::string& path, const char* unreadable, OpenMap* map,
             std::string* err);

// Holds the map open again where it was let go; false when the file there is
// no longer the one opened, unchanged.
bool holdMap(const SystemOps& system, OpenMap& map);
// Lets go of the map where an open file cannot be replaced.
void releaseMap(OpenMap& map);

// True when both the path and the resolved file still name the file opened,
// and it (held open or not) is unchanged since.
bool mapUnchanged(const SystemOps& system, const OpenMap& map);

// The line that says another program changed the map during the run.
std::string mapChangedMessage(const OpenMap& map);

struct MapForm;
struct MapPlace;

// Where a run puts the processed map.
struct Destination {
    std::string target;        // the file that is replaced or made, links resolved
    std::string shown;         // how the lines name it: as the user gave it
    std::string folder;        // target's folder, where a run makes its working copy
    std::string copyFolder;    // where this run makes its working copy
    std::string metadataFrom;  // the file whose metadata the new file gets
    bool isMap = true;         // the target is the map itself
};

// The destination of a run: the map itself, that is the file watched (a map
// archive, or the script file of a map folder); or, with output, the file
// output names (a folder receives the map under the map's own name, links are
// followed, also to a file not there yet), never in a map folder; or, for a
// check of a map archive, the map with the copy made in the system's
// temporary folder (in the map's folder where that folder cannot take it).
// False, with one line in *err, when it is the map itself, not a regular
// file, or cannot be written or replaced, or when its folder cannot take a
// copy whose path is at most pathLimit bytes long (where the archive library
// writes it), or lacks the room a run needs before its new script is known.
bool resolveDestination(const SystemOps& system, const OpenMap& map, const MapPlace& place, const MapForm& form,
                        const std::string& output, bool check, std::size_t pathLimit, Destination* destination,
                        std::string* err);
// True when folder has room bytes free, counting held bytes that the run's
// own files take there already; else one line in *err.
bool hasRoom(const SystemOps& system, const std::string& folder, uint64_t room, uint64_t held, std::string* err);
