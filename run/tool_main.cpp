#include <csignal>
#include <iostream>
#include "archive/working_copy.h"
#include "base/platform.h"
#include "run/run.h"

namespace {

// The lines a signal handler writes, made before any signal can come.
std::string crashLine;
std::string stopLine;
std::string afterStoreLine;

// Removes the working copy, says in one line how the run ended and ends the
// process: with exit code 1 on a crash; as the signal would have ended it
// otherwise, so that a script or a shell that stops on an interrupt still does.
extern "C" void onEndingSignal(int signal) {
    const bool mapUntouched = removeWorkingCopiesNow();
    platform::writeErrorNow(!mapUntouched                     ? afterStoreLine.c_str()
                            : platform::isCrashSignal(signal) ? crashLine.c_str()
                                                              : stopLine.c_str());
    if (platform::isCrashSignal(signal)) _Exit(1);
    platform::endBySignal(signal);
}

}  // namespace

int toolMain(const std::vector<std::string>& args, const ArchiveOps& ops) {
    platform::useUtf8Console();
    if (args.size() > 1) {
        // The map is the last argument after an option, else the first.
        const std::string& map = args[1].rfind("--", 0) == 0 ? args.back() : args[1];
        crashLine = "ostrel stopped on a fault while reading or writing the map " + map +
                    " (the map may be damaged); the map was left as it was.\n";
        stopLine = "ostrel was stopped before it finished; the map " + map + " was left as it was.\n";
        afterStoreLine = "ostrel was stopped after it had stored the map " + map + ".\n";
        platform::onEndingSignals(onEndingSignal);
    }
    const int code = runOstrel(args, ops, libraryFolders(platform::executableFolder()), std::cout, std::cerr);
    // Dropped onto the executable, the tool has a console window of its own
    // that closes when it ends: say how it went and let the user read it.
    if (platform::ownsConsoleAlone()) {
        std::cout << (code == 0 ? "ostrel finished without a problem." : "ostrel stopped; see the line above.")
                  << " Press a key to close this window." << std::endl;
        platform::waitForKey();
    }
    return code;
}
