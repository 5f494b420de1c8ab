#pragma once
#include <ostream>
#include <string>
#include "run/script_text.h"

// Reads the script library "func.j" from folder into text, each line followed
// by one line feed (a carriage return before a line feed is dropped). Returns
// false, having written one line to err, when the file cannot be opened or a
// read fails part-way.
bool readScriptLibrary(const std::string& folder, ScriptText& text, std::ostream& err);
