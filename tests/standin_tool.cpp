// The tool with the stand-in archive in place of the archive library. A test that writes "SIGNAL STEP" into
// "standin-raise" in the working folder has the signal raised after that step of the store (after the script is read
// from the copy when STEP is left out).
#include <csignal>
#include <sstream>
#include "run/run.h"
#include "tests/test_support.h"

int main(int argc, char** argv) {
    static int signal = 0, step = static_cast<int>(StoreStep::kScriptRead);
    std::istringstream(readFile("standin-raise")) >> signal >> step;
    SystemOps system = platformSystemOps();
    system.atStep = [](StoreStep now) {
        if (signal && static_cast<int>(now) == step) std::raise(signal);
    };
    return toolMain(platform::commandLine(argc, argv), standinArchiveOps(), system);
}
