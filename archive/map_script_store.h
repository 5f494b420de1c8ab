#pragma once
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

// Copies the map, from the file opened, into copy in folder and keeps the
// hash of its bytes; false, with one line in *err, when the copy cannot be
// made or the map changed meanwhile.
// The copy's path is at most pathLimit bytes long.
bool copyMap(const SystemOps& system, OpenMap& map, const std::string& folder, std::size_t pathLimit, WorkingCopy& copy,
             std::string* err);

// Reads the script of the map archive at path through a read-only handle
// into *text (up to its first NUL byte where the entry is NUL-terminated): from the first of entries the map
// holds, whose index goes to *which. False, with one line in *err naming the
// map as shown, when the archive cannot be opened or holds none of them (the
// line then names the first, and says where else the map holds a script) or
// the entry is unreadable.
bool readMapScript(const ArchiveOps& ops, const std::string& path, const std::string& shown,
                   const std::vector<ScriptEntry>& entries, std::size_t* which, ScriptText* text, std::string* err);

// Replaces the script entry of the archive in copy (of a map of mapSize
// bytes) with text as entry stores it, compacts it where every entry's name is
// known and the copy may be compacted, and reads every entry back: the script
// as meant, the others whole. False, with one line in *err, when any of that
// fails or the archive grew past what the new script explains.
bool storeScriptInCopy(const ArchiveOps& ops, const SystemOps& system, const WorkingCopy& copy, const ScriptEntry& entry,
                       const ScriptText& text, int64_t mapSize, std::string* err);

// Flushes the stored copy, gives it its metadata and puts it in the place of
// the destination, once the map is found unchanged by state and by content;
// where the copy is exchanged with the map, the exchange is undone unless
// what it took out is the map opened, unchanged. With replace false, does
// all but the flush and the last step. False, with one line in *err, the destination and
// the map then as they were.
bool finishStore(const SystemOps& system, OpenMap& map, WorkingCopy& copy, const Destination& destination,
                 bool replace, std::string* err);
