#pragma once
#include <string>
#include <vector>
#include "base/script_text.h"

// Reads the script library named library ("func.j") from the first of
// folders that holds it (the exact name, else a single name that differs
// only in letter case) into *text, each line followed by one line feed (a
// carriage return before a line feed is dropped, and a byte-order mark at
// its start), and its path into *path. False, with one line in *err, when no
// folder holds it, or it is not a regular file, or a read fails part-way.
bool readScriptLibrary(const std::vector<std::string>& folders, const std::string& library, ScriptText* text,
                       std::string* path, std::string* err);

// Why the library at path cannot serve the generated code: it defines no
// Initialize_Commands, or no AddToCache while some directive needs it. Empty
// when it can. A look at the function headers, not a parse.
std::string libraryProblem(const ScriptText& library, const std::string& path, bool needsAddToCache);
