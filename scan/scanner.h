#pragma once
#include <cstddef>
#include <string>
#include <vector>
#include "base/script_text.h"
#include "scan/directives.h"

// Something a run would not stop for but a map maker should see: a line of
// the script and what is odd about it.
struct ScanNote {
    std::size_t line;
    std::string text;
};

// A place in the script where the rewrite inserts text: a byte offset (npos
// when the script has no such place) and its line, counted from 1.
struct Anchor {
    std::size_t at = ScriptText::npos;
    std::size_t line = 0;
    bool found() const { return at != ScriptText::npos; }
};

// Where the rewrite goes: the end of the globals section, the header of the
// map's main function after it, and the end of main.
struct ScriptAnchors {
    Anchor globalsEnd;
    Anchor mainHeader;
    Anchor mainEnd;
};

// What one pass over a map script finds.
struct ScriptScan {
    RegistrationLists registrations;
    ScriptAnchors anchors;
    std::vector<ScanNote> notes;  // only when asked for
};

// One pass over the map script: returns the working copy (the script with a
// line feed added unless it is empty or already ends in one), appends every
// directive found inside a function body to scan.registrations and finds the
// anchors. With notes, also collects directives that will not register as
// their author may think. Never fails.
ScriptText scanScript(ScriptText script, ScriptScan& scan, bool withNotes = false);
