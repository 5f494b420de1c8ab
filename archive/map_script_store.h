#pragma once
// The store's transaction: the map copied, and the copy, once the new script
// is in it, put in the place of the map or of NEW.
#include <string>
#include "archive/map_file.h"
#include "archive/working_copy.h"
#include "base/script_text.h"

// Copies the map, from the file opened, into copy in folder and keeps the
// hash of its bytes; false, with one line in *err, when the copy cannot be
// made or the map changed meanwhile. The copy's path is at most pathLimit
// bytes long.
bool copyMap(const SystemOps& system, OpenMap& map, const std::string& folder, std::size_t pathLimit, WorkingCopy& copy,
             std::string* err);

// Reads the watched file whole, from the file opened, into *text and keeps
// the hash of its bytes; false, with one line in *err, when it cannot be read
// or changed meanwhile.
bool readMap(const SystemOps& system, OpenMap& map, ScriptText* text, std::string* err);

// Flushes the stored copy, gives it its metadata and puts it in the place of
// the destination, once the map is found unchanged by state and by content;
// where the copy is exchanged with the map, the exchange is undone unless
// what it took out is the map opened, unchanged. With replace false, does
// all but the flush and the last step. False, with one line in *err, the destination and
// the map then as they were.
bool finishStore(const SystemOps& system, OpenMap& map, WorkingCopy& copy, const Destination& destination,
                 bool replace, std::string* err);
