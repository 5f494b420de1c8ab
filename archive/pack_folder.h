#pragma once
// What --output makes of a map folder: a new map archive of all its files.
#include <string>
#include <vector>
#include "archive/map_form.h"

// A file of a map folder: where it is, and its name in a map archive (its
// path under the folder, with "\" between the parts).
struct MapFile {
    std::string path;
    std::string name;
};

// Every regular file under the map folder, in the order of their names;
// names that start with "." are not the map's (".git", editor swap files) and
// are left out. False, with one line in *err, where a folder under it cannot
// be listed whole (*files then holds every file of the others) or the folders
// nest deeper than any map's.
bool listMapFiles(const SystemOps& system, const std::string& folder, std::vector<MapFile>* files, std::string* err);

// Packs the map folder of context into a new map archive in the working
// copy: every regular file under it (names that start with "." left out, as
// they are not the map's), named by its path under the folder with "\"
// between the parts, text in place of the script file (under the entry's
// name, stored as entry stores it). Then reads every entry back and compares
// it with what went in, and finds every file unchanged since it was read.
// False, with one line in *err naming the file, when a file cannot be read,
// its name cannot go into a map archive, or any of that fails.
bool packFolder(StoreContext& context, const ScriptEntry& entry, const ScriptText& text, std::string* err);
