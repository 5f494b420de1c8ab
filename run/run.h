#pragma once
#include <ostream>
#include <string>
#include <vector>
#include "archive/archive_ops.h"

// The folders the script library is looked for in, in order: the working
// folder, the folder of the executable, and ../share/ostrel beside that.
std::vector<std::string> libraryFolders(const std::string& executableFolder);

// Runs the tool once on args (args[0] is the tool's name, args[1] the map),
// with the script library looked for in folders. Returns the exit code: 0 once
// the map is stored, 1 on any failure after one line on err, the map then
// unchanged.
int runOstrel(const std::vector<std::string>& args, const ArchiveOps& ops, const std::vector<std::string>& folders,
              std::ostream& out, std::ostream& err);

// The process's entry: runs the tool on the command line with ops and the
// library folders of the executable, removing the working copy on signals.
int toolMain(const std::vector<std::string>& args, const ArchiveOps& ops);
