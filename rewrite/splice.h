#pragma once
#include <cstddef>
#include "base/script_text.h"

// Where the globals block already stands in front of the first "endglobals"
// (the script has been processed before); std::string::npos when it does not.
std::size_t processedMarker(const ScriptText& working);

// The line, counted from 1, that holds byte offset at of the original script,
// given where the globals block went (npos when it is not in yet).
std::size_t originalLine(const ScriptText& working, std::size_t at, std::size_t globalsAt);

// Where the main function's header stands at or after from; npos when nowhere.
std::size_t mainHeaderAt(const ScriptText& working, std::size_t from);

// Inserts the globals block in front of the first "endglobals" and returns its
// position; returns std::string::npos, inserting nothing, when there is none.
std::size_t spliceGlobals(ScriptText& working);

enum class SpliceResult { kSpliced, kNoMainHeader, kNoMainEnd };

// Inserts block in front of the first main function header at or after
// globalsAt, and the Add_Commands call in front of the first "endfunction"
// after that header. Changes nothing and says which anchor is missing when
// either is not found.
SpliceResult spliceFunctionBlock(ScriptText& working, std::size_t globalsAt, const ScriptText& block);
