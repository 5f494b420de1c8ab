#pragma once
#include <cstddef>
#include "base/script_text.h"
#include "scan/script_scan.h"

// The line where a Lua script already defines Add_Commands at the top level
// (it has been processed before); 0 when it does not.
std::size_t luaProcessedLine(const ScriptText& working, const ScriptScan& scan);

// Inserts block in front of the top-level "function main()" and the
// Add_Commands call in front of the "end" that closes main. Both anchors
// must be found.
void spliceLuaScript(ScriptText& working, const ScriptAnchors& anchors, const ScriptText& block);
