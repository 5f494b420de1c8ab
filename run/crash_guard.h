#pragma once
#include <string>

// Turns a crash while the tool works on mapPath (the map archive library can
// fault on a damaged map) into one line on the standard error stream and exit
// code 1, after removing the copy of the map being worked on. The map itself
// is only ever replaced by a complete copy, so it stays as it was.
void guardAgainstCrashes(const std::string& mapPath);
