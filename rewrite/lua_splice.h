#pragma once
#include <cstddef>
#include "base/script_text.h"
#include "scan/script_scan.h"

// Inserts block in front of the top-level definition of main and the
// Add_Commands call in front of main's end (or the return that ends main).
// Both anchors must be found.
void spliceLuaScript(ScriptText& working, const ScriptAnchors& anchors, const ScriptText& block);
