#pragma once
// The two forms a map is kept in, as one small table: a map archive (one
// file, read and written through the archive library), or a map folder (the
// map's files as plain files, the script among them). A run goes through the
// same store for either (map_script_store.h): it watches the file that holds
// the script, takes the script out, puts the new one into a working copy and
// puts that copy in place.
#include <cstdint>
#include <string>
#include <vector>
#include "archive/archive_ops.h"
#include "archive/map_file.h"
#include "archive/working_copy.h"
#include "base/script_text.h"

// The archive entry that holds a map's script, and how its text is stored.
struct ScriptEntry {
    const char* name;
    bool nulTerminated;  // the text ends at its first NUL, and the archive stores it followed by one
};

// What a read of a map archive found besides its script.
struct ArchiveFacts {
    std::size_t which = 0;  // the index of the entry the script is in
    bool isSigned = false;  // the archive carries a signature, which a changed archive cannot keep
};

// Where a map's script is, found before anything is read.
struct MapPlace {
    std::string given;      // the map as the user gave it
    std::string watched;    // the file that holds the script: the archive, or the script file of a folder
    std::size_t entry = 0;  // in a folder: which of the script entries the file is
};

// What a store works with.
struct StoreContext {
    const ArchiveOps& archive;
    const SystemOps& system;
    const MapPlace& place;
    OpenMap& map;  // the watched file
    const Destination& destination;
    WorkingCopy& copy;
};

struct MapForm {
    // Finds the file that holds the script of the map; false, with one line
    // in *err, when there is none.
    bool (*locate)(const std::string& map, const std::vector<ScriptEntry>& entries, MapPlace* place, std::string* err);
    // Takes the script out of the map into *text; facts->which names its
    // entry. False, with one line in *err.
    bool (*take)(StoreContext& context, const std::vector<ScriptEntry>& entries, ArchiveFacts* facts, ScriptText* text,
                 std::string* err);
    // Puts text, as entry stores it, into the working copy of the
    // destination, and reads it back. False, with one line in *err.
    bool (*put)(StoreContext& context, const ScriptEntry& entry, const ScriptText& text, std::string* err);
    // The bytes a run needs free where it makes its working copy, for a
    // watched file of watchedSize bytes and a new script of scriptSize bytes
    // (0 while it is not known).
    uint64_t (*room)(int64_t watchedSize, std::size_t scriptSize);
    const char* unreadable;  // how a line starts that says the watched file cannot be read
    bool folder;             // a map folder: a check makes no working copy, and --output packs the folder
};

extern const MapForm kArchiveForm;
extern const MapForm kFolderForm;

// The form of the map at path: a folder is a map folder; anything else is
// taken for a map archive.
const MapForm& formOf(const std::string& path);
