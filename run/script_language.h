#pragma once
// What differs between the two languages a map's script may be written in:
// one small table each. The run looks the script up in the map in the order
// of kLanguages and goes through the same steps for either.
#include <array>
#include <cstddef>
#include "archive/archive_script.h"
#include "rewrite/function_block.h"
#include "scan/script_scan.h"

struct ScriptLanguage {
    ScriptEntry entry;    // where the map holds the script, and how it is stored
    const char* library;  // the script library's file name
    ScriptText (*scan)(ScriptText script, ScriptScan& scan, bool withNotes);
    RegistrationRules rules;
    BlockSyntax block;
    // Inserts the globals (where there are any), the block and the call.
    void (*splice)(ScriptText& working, const ScriptAnchors& anchors, const ScriptText& block);
    bool hasGlobals;         // the script has a globals section to end
    const char* mainHeader;  // main's header, as the lines name it
    const char* mainEnd;     // the word that ends main, as the lines name it
};

// The game's own script language (war3map.j), then Lua (war3map.lua).
extern const std::array<ScriptLanguage, 2> kLanguages;
