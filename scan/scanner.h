#pragma once
#include "run/script_text.h"
#include "scan/directives.h"

// One pass over the map script: returns the working copy (the script with a
// line feed added unless it is empty or already ends in one) and appends
// every directive found inside a function body to lists. Never fails.
ScriptText scanScript(ScriptText script, RegistrationLists& lists);
