#pragma once
#include <ostream>
#include <string>
#include <vector>
#include "archive/archive_ops.h"
#include "base/system_ops.h"

// What the command line asks for.
struct Request {
    enum class Mode { kRun, kCheck, kOutput, kHelp, kVersion, kUsage } mode = Mode::kUsage;
    std::string map;
    std::string output;
    bool watch = false;  // again after every save
};

// Reads the command line (args[0] is the tool's name). Options stand before
// or after the map and "--" ends them; the first other argument is the map,
// any further one is ignored. An unknown option, a missing or empty value, a
// missing map or two modes at once ask for the usage line. --watch goes with
// any of the three modes of a map.
Request parseCommandLine(const std::vector<std::string>& args);

// The folders the script library is looked for in, in order: the working
// folder (by its full path where the system tells it), the folder of the
// executable, and ../share/ostrel beside that.
std::vector<std::string> libraryFolders(const std::string& workingFolder, const std::string& executableFolder);

// text with every control character escaped (\n, \x01), so that a line
// that quotes a name stays one line.
std::string shownOnOneLine(const std::string& text);

// What a run reaches beyond itself: the map archive library, the operating
// system, the folders the script library is looked for in, and what a watch
// waits with.
struct Outside {
    const ArchiveOps& archive;
    const SystemOps& system;
    std::vector<std::string> libraryFolders;
    const WatchOps& watch = platformWatchOps();
};

// What one run on a map did.
struct RunResult {
    bool done = false;               // stored (for a check: a run would store it)
    std::string message;             // why not, in one line
    std::size_t registrations = 0;   // how many the new script makes
    bool replaced = false;            // the map's own file was replaced
    platform::FileState replacedWas;  // then: the state of the file replaced, as it was opened
    platform::FileState replacedBy;   // and the state of the file that took its place
};

// Carries out request (a run, a check or an output; not a watch) once on its
// map; a check writes its list and warnings to out and err.
RunResult runOnce(const Request& request, const Outside& outside, std::ostream& out, std::ostream& err);

// Runs the tool on args. Returns the exit code: 0 once the map is stored
// (or, for a check, once a run would store it), 1 on any failure after one
// line on err, the map then unchanged. A watch runs until a signal ends the
// process.
int runOstrel(const std::vector<std::string>& args, const Outside& outside, std::ostream& out, std::ostream& err);

// The process's entry: runs the tool on the command line with ops, system
// and the library folders of the executable, removing the working copy on
// signals.
int toolMain(const std::vector<std::string>& args, const ArchiveOps& ops, const SystemOps& system = platformSystemOps(),
             const WatchOps& watch = platformWatchOps());
