#pragma once
#include <cstddef>
#include "base/script_text.h"

// Marker that the globals block starts with.
extern const char* const kGlobalsMarker;

// True when the globals block already stands in front of the first
// "endglobals": the script has been processed before.
bool alreadyProcessed(const ScriptText& working);

// Inserts the globals block in front of the first "endglobals" and returns its
// position; returns std::string::npos, inserting nothing, when there is none.
std::size_t spliceGlobals(ScriptText& working);

enum class SpliceResult { kSpliced, kNoMainHeader, kNoMainEnd };

// Inserts block in front of the first main function header at or after
// globalsAt, and the Add_Commands call in front of the first "endfunction"
// after that header. Changes nothing and says which anchor is missing when
// either is not found.
SpliceResult spliceFunctionBlock(ScriptText& working, std::size_t globalsAt, const ScriptText& block);
