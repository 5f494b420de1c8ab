#pragma once
#include <string>
#include <utility>
#include <vector>
#include "archive/archive_ops.h"

// A stand-in for the map archive library, where none is at hand (on Windows
// under test) and where a test needs to see every call. A stand-in archive is
// a plain file: "STANDIN ARCHIVE\n", then per entry a line with its name, a
// line with its size and its bytes. A name starting with '?' counts as one
// the archive does not know.
using StandinEntries = std::vector<std::pair<std::string, std::string>>;

// The operations over stand-in archives.
const ArchiveOps& standinArchiveOps();

// Writes a stand-in archive holding entries at path (UTF-8).
bool writeStandinArchive(const std::string& path, const StandinEntries& entries);
// The entries of the stand-in archive at path; false when it is none.
bool readStandinArchive(const std::string& path, StandinEntries* entries);
