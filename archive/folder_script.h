#pragma once
// The map folder form (map_form.h): the script is a plain file of the folder
// (war3map.j, else war3map.lua), which is the file watched; it is read whole,
// and its new text goes into a hidden file beside it, which takes its place.
// With --output, the folder is packed into a new map archive (pack_folder.h).
#include <string>
#include <vector>
#include "archive/map_form.h"

bool locateInFolder(const std::string& map, const std::vector<ScriptEntry>& entries, MapPlace* place, std::string* err);
bool takeFromFolder(StoreContext& context, const std::vector<ScriptEntry>& entries, ArchiveFacts* facts,
                    ScriptText* text, std::string* err);
bool putIntoFolder(StoreContext& context, const ScriptEntry& entry, const ScriptText& text, std::string* err);
