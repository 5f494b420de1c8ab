#pragma once
#include <ostream>
#include <string>
#include "archive/archive_ops.h"

// Runs the tool once: argv[1] names the map; the script library is looked up
// in libraryFolder. Returns the process exit code: 0 once the map is stored,
// 1 on any failure, after one line on err; the map is then unchanged.
int runOstrel(int argc, const char* const* argv, const ArchiveOps& ops, const std::string& libraryFolder,
              std::ostream& out, std::ostream& err);
