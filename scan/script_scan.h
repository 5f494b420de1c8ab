#pragma once
// What a scan of a map script finds, in either script language.
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

// A place in the script: a byte offset (npos when the script has no such
// place) and its line, counted from 1.
struct Anchor {
    std::size_t at = ScriptText::npos;
    std::size_t line = 0;
    bool found() const { return at != ScriptText::npos; }
};

// Where the rewrite goes: the end of the globals section (where the language
// has one), the definition of the map's main function, the end of main (or
// the return that is its last statement); where the script already holds
// what the rewrite adds, if it does; and a second definition of main, where
// the language would keep that one.
struct ScriptAnchors {
    Anchor globalsEnd;
    Anchor mainHeader;
    Anchor mainEnd;
    Anchor processed;
    Anchor mainAgain;
};

// What one pass over a map script finds.
struct ScriptScan {
    RegistrationLists registrations;
    ScriptAnchors anchors;
    std::vector<ScanNote> notes;  // only when asked for
};
