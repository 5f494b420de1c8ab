#pragma once
#include <string>
#include <vector>

// One entry of a map archive to write.
struct MapEntry {
    std::string name;
    std::string bytes;
    bool encrypted = false;  // stored compressed and encrypted, as map scripts often are
};

// Writes a map archive holding entries to path, behind a 512-byte map header
// as map files carry, with a list of the entries' names unless nameList is
// false. Returns false, with a reason in error, when it cannot.
bool writeMap(const std::string& path, const std::vector<MapEntry>& entries, std::string& error, bool nameList = true);
