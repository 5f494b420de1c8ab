#pragma once
// Support for the tests on real map archives, written and read with the
// archive library, and runs of the real tool.
#include <string>
#include <vector>
#include "tests/test_support.h"
#include "tools/map_maker.h"

// Writes a map at path holding a compressed, encrypted "war3map.j" with
// script and one other entry; fails the current test when it cannot.
void writeScriptMap(const std::string& path, const std::string& script);
void writeEntriesMap(const std::string& path, const std::vector<MapEntry>& entries, bool nameList = true);
// The bytes of one entry, read with the archive library; "<none>" when absent.
std::string entryBytes(const std::string& mapPath, const std::string& name);
// Runs the built tool with args in folder cwd, as user uid unless uid < 0.
ProcessResult runTool(const std::vector<std::string>& args, const std::string& cwd, int uid = -1);
// Runs the built tool on map in cwd under the shell limit `ulimit LIMIT`.
ProcessResult runToolLimited(const std::string& limit, const std::string& map, const std::string& cwd);
