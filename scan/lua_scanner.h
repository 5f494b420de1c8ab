#pragma once
#include "scan/script_scan.h"

// One pass over a map script in Lua (war3map.lua), through a small lexer that
// knows strings, long brackets, comments, numbers and names, and follows the
// nesting of blocks (function, do, if and repeat open one; end and until
// close one). Returns the working copy (the script with a line feed added
// unless it is empty or already ends in one), appends every directive
// ("--! Key value") found in a named top-level function to
// scan.registrations, and finds main's header and end, and a top-level
// Add_Commands. With notes, also collects directives that will not register
// as their author may think. Never fails.
ScriptText scanLuaScript(ScriptText script, ScriptScan& scan, bool withNotes = false);
