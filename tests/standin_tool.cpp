// The tool with the stand-in archive in place of the archive library. A test that writes "SIGNAL STEP [SAVE]" into
// "standin-raise" in the working folder has the signal raised after that step of the store (after the script is read
// from the copy when STEP is left out; inside the stand-in library's first read when STEP is -1; when a watch waits
// between rounds when STEP is -2), and, with SAVE,
// "standin-save" renamed over "map.w3x" after step SAVE, as another program saves the map.
#include <csignal>
#include <sstream>
#include "run/run.h"
#include "tests/test_support.h"

int main(int argc, char** argv) {
    static int signal = 0, step = static_cast<int>(StoreStep::kScriptRead), save = -1;
    std::istringstream(readFile("standin-raise")) >> signal >> step >> save;
    SystemOps system = platformSystemOps();
    system.atStep = [](StoreStep now) {
        if (static_cast<int>(now) == save) platform::replaceFile("standin-save", "map.w3x", nullptr);
        if (signal && static_cast<int>(now) == step) std::raise(signal);
    };
    static ArchiveOps archive = standinArchiveOps();
    archive.readEntry = [](EntryHandle entry, void* buffer, uint32_t count, uint32_t* got, void* overlapped) {
        const LibraryCall call;
        if (signal && step == -1) std::raise(signal);
        return standinArchiveOps().readEntry(entry, buffer, count, got, overlapped);
    };
    static WatchOps watch = platformWatchOps();
    watch.waitForNotice = [](platform::ChangeNotices& notices, int64_t timeoutMs) {
        if (signal && step == -2) std::raise(signal);
        return platformWatchOps().waitForNotice(notices, timeoutMs);
    };
    return toolMain(platform::commandLine(argc, argv), archive, system, watch);
}
