#include <csignal>
#include <iostream>
#include "archive/archive_ops.h"
#include "archive/working_copy.h"
#include "base/platform.h"
#include "run/run.h"
#include "run/watch.h"

namespace {

// The lines a signal handler writes, made before any signal can come.
std::string crashLine;
std::string libraryCrashLine;
std::string stopLine;
std::string afterStoreLine;
std::string idleLine;

// Removes the working copy, says in one line how the run ended and ends the
// process: with exit code 1 on a crash; as the signal would have ended it
// otherwise, so that a script or a shell that stops on an interrupt still does.
extern "C" void onEndingSignal(int signal) {
    const bool mapUntouched = removeWorkingCopiesNow();
    const bool crash = platform::isCrashSignal(signal);
    const bool idle = watchIsIdle();
    platform::writeErrorNow(!mapUntouched && !idle           ? afterStoreLine.c_str()
                            : crash && insideArchiveLibrary() ? libraryCrashLine.c_str()
                            : crash                          ? crashLine.c_str()
                            : idle                           ? idleLine.c_str()
                                                             : stopLine.c_str());
    if (platform::isCrashSignal(signal)) _Exit(1);
    platform::endBySignal(signal);
}

// Makes the lines a signal handler writes during the run request asks for.
void prepareSignalLines(const Request& request) {
    const std::string map = shownOnOneLine(request.map);
    crashLine = "ostrel stopped on a fault of its own while working on the map " + map + "; the map was left as it was.\n";
    libraryCrashLine = "ostrel stopped: the map archive library crashed while working on the map " + map +
                       "; the map was left as it was.\n";
    stopLine = "ostrel was stopped before it finished; the map " + map + " was left as it was.\n";
    idleLine = "ostrel stopped watching the map " + map + ".\n";
    afterStoreLine = request.mode == Request::Mode::kOutput
                         ? "ostrel was stopped after it had stored the processed map in " + shownOnOneLine(request.output) +
                               "; the map " + map + " was left as it was.\n"
                         : "ostrel was stopped after it had stored the map " + map + ".\n";
}

}  // namespace

int toolMain(const std::vector<std::string>& args, const ArchiveOps& ops, const SystemOps& system, const WatchOps& watch) {
    platform::protectStandardStreams();
    platform::useUtf8Console();
    const Request request = parseCommandLine(args);
    if (!request.map.empty()) {
        prepareSignalLines(request);
        platform::onEndingSignals(onEndingSignal);
    }
    const Outside outside{ops, system, libraryFolders(platform::currentFolder(), platform::executableFolder()), watch};
    const int code = runOstrel(args, outside, std::cout, std::cerr);
    // Dropped onto the executable, the tool has a console window of its own
    // that closes when it ends: say how it went and let the user read it.
    if (platform::ownsConsoleAlone()) {
        std::cout << (code == 0 ? "ostrel finished without a problem." : "ostrel stopped; see the line above.")
                  << " Press a key to close this window." << std::endl;
        platform::waitForKey();
    }
    return code;
}
