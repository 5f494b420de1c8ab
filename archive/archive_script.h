#pragma once
// A map script inside a map archive, through the archive library: read from
// the map, put into the working copy of the map, and read back.
#include <string>
#include <vector>
#include "archive/map_form.h"

// Reads the script of the map archive at path through a read-only handle
// into *text (up to its first NUL byte where the entry is NUL-terminated):
// from the first of entries the map holds. False, with one line in *err
// naming the map as shown, when the archive cannot be opened or holds none
// of them (the line then names the first, and says where else the map holds
// a script) or the entry is unreadable.
bool readMapScript(const ArchiveOps& ops, const std::string& path, const std::string& shown,
                   const std::vector<ScriptEntry>& entries, ArchiveFacts* facts, ScriptText* text, std::string* err);

// Puts text, as entry stores it, in place of the script entry of the archive
// in copy (of a map of mapSize bytes), and reads every entry back: the
// script as meant, every other entry equal to what it held before. An
// unsigned archive is changed in place and compacted where every entry's
// name is known and the copy may be compacted; a signed one is written anew
// without its signature, behind the bytes in front of it (the map's header).
// False, with one line in *err, when any of that fails or the archive grew
// past what the new script explains.
bool storeScriptInCopy(const ArchiveOps& ops, const SystemOps& system, WorkingCopy& copy, const ScriptEntry& entry,
                       const ScriptText& text, int64_t mapSize, std::string* err);

// The map archive form (map_form.h): the archive is the file watched; its
// script is read from the working copy, a copy of the archive, and stored
// there.
bool locateArchive(const std::string& map, const std::vector<ScriptEntry>& entries, MapPlace* place, std::string* err);
bool takeFromArchive(StoreContext& context, const std::vector<ScriptEntry>& entries, ArchiveFacts* facts,
                     ScriptText* text, std::string* err);
bool putIntoArchive(StoreContext& context, const ScriptEntry& entry, const ScriptText& text, std::string* err);
