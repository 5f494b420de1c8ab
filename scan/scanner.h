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

// One pass over the map script: returns the working copy (the script with a
// line feed added unless it is empty or already ends in one) and appends
// every directive found inside a function body to lists. With notes, also
// collects directives that will not register as their author may think.
// Never fails.
ScriptText scanScript(ScriptText script, RegistrationLists& lists, std::vector<ScanNote>* notes = nullptr);
