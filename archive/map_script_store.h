#pragma once
#include <string>
#include "archive/archive_ops.h"
#include "archive/map_file.h"
#include "base/script_text.h"

// Name of the map script entry in the map archive.
extern const char* const kScriptEntry;

// Reads the script of the map archive at path through a read-only handle, up
// to its first NUL byte, into *text. False, with one line in *err, when the
// archive cannot be opened or the entry is missing (the line then says what
// script the map holds instead, if any) or unreadable.
bool readMapScript(const ArchiveOps& ops, const std::string& path, ScriptText* text, std::string* err);

// Replaces the script entry of the map with text plus one NUL byte: on a copy
// of the map, which is compacted where every entry's name is known, read back
// and compared, and renamed over the map (or over output, when it is not
// empty) only when the map is still the file that was opened, unchanged.
// False, with one line in *err, the map and output unchanged and no copy
// left, otherwise.
bool storeMapScript(const ArchiveOps& ops, OpenMap& map, const ScriptText& text, const std::string& output,
                    std::string* err);
