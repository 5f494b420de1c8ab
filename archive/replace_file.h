#pragma once
#include <ostream>
#include <string>

// Replacing a map file safely: changes go to a copy in the map's own folder,
// which is flushed to disk and renamed over the map only when complete. A
// crash at any moment leaves either the old map or the complete new one.

// The file the map path names, following symbolic links. Returns false,
// having written one line to err, when it cannot be resolved or is not a
// writable regular file.
bool resolveWritableMap(const std::string& mapPath, std::string& target, std::ostream& err);

// Creates a new file next to target (never overwriting an existing one) with
// target's permissions and bytes, and returns its path in copyPath. Returns
// false, having written one line to err and removed any partial copy, when it
// cannot.
bool makeWorkingCopy(const std::string& target, std::string& copyPath, std::ostream& err);

// Flushes the copy to disk and renames it over target. Returns false, having
// written one line to err, when either step fails; target is then as it was.
bool replaceWithCopy(const std::string& copyPath, const std::string& target, std::ostream& err);

// Removes the copy, if it is still there.
void removeWorkingCopy(const std::string& copyPath);

// Removes the copy being worked on, if any; safe to call from a signal handler.
void removeWorkingCopyAfterCrash();
