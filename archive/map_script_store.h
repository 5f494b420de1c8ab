#pragma once
#include <ostream>
#include <string>
#include "archive/archive_ops.h"
#include "run/script_text.h"

// Name of the map script entry in the map archive.
extern const char* const kScriptEntry;

// Starts true; readMapScript clears it on any failure and never sets it back.
extern bool scriptLoaded;

// The map's script, read through a read-only handle, up to its first NUL
// byte. On failure writes one line to err, clears scriptLoaded and returns
// empty text.
ScriptText readMapScript(const ArchiveOps& ops, const std::string& mapPath, std::ostream& err);

// Replaces the map's script entry with text plus one NUL byte. Works on a copy
// of the map that replaces it only when every step succeeded. Returns false,
// having written one line to err, with the map unchanged and no copy left.
bool storeMapScript(const ArchiveOps& ops, const std::string& mapPath, const ScriptText& text, std::ostream& err);
