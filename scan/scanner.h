#pragma once
#include "scan/script_scan.h"

// One pass over a map script in the game's own language (war3map.j): returns
// the working copy (the script with a line feed added unless it is empty or
// already ends in one), appends every directive found inside a function body
// to scan.registrations and finds the anchors. With notes, also collects
// directives that will not register as their author may think. Never fails.
ScriptText scanScript(ScriptText script, ScriptScan& scan, bool withNotes = false);
