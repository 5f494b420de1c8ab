#pragma once
#include <string>
#include "archive/archive_ops.h"
#include "archive/map_file.h"
#include "archive/working_copy.h"
#include "base/script_text.h"

// Name of the map script entry in the map archive.
extern const char* const kScriptEntry;

// Copies the map, from the file opened, into copy in folder and keeps the
// hash of its bytes; false, with one line in *err, when the copy cannot be
// made or the map changed meanwhile.
bool copyMap(const SystemOps& system, OpenMap& map, const std::string& folder, WorkingCopy& copy, std::string* err);

// Reads the script of the map archive at path through a read-only handle, up
// to its first NUL byte, into *text. False, with one line in *err naming the
// map as shown, when the archive cannot be opened or the entry is missing
// (the line then says what script the map holds instead, if any) or
// unreadable.
bool readMapScript(const ArchiveOps& ops, const std::string& path, const std::string& shown, ScriptText* text,
                   std::string* err);

// Replaces the script entry of the archive at path (the working copy of a
// map of mapSize bytes) with text plus one NUL byte, compacts it where every
// entry's name is known, and reads every entry back: the script as meant, the
// others whole. False, with one line in *err, when any of that fails or the
// archive grew past what the new script explains.
bool storeScriptInCopy(const ArchiveOps& ops, const SystemOps& system, const std::string& path, const ScriptText& text,
                       int64_t mapSize, std::string* err);

// Flushes the stored copy, gives it its metadata and puts it in the place of
// the destination, once the map is found unchanged by state and by content;
// where the copy is exchanged with the map, the exchange is undone unless
// what it took out is the map opened, unchanged. With replace false, does
// all but the last step. False, with one line in *err, the destination and
// the map then as they were.
bool finishStore(const SystemOps& system, OpenMap& map, WorkingCopy& copy, const Destination& destination,
                 bool replace, std::string* err);
