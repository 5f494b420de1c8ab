// The tool with the stand-in archive in place of the archive library. A test
// that writes a signal's number into "standin-raise" beside the map has the
// signal raised the moment the working copy is opened for the change.
#include <csignal>
#include <filesystem>
#include <fstream>
#include "base/platform.h"
#include "run/run.h"
#include "tests/test_support.h"

namespace {

bool openArchive(const char* path, unsigned priority, unsigned flags, ArchiveHandle* archive) {
    int signal = 0;
    if ((flags & kOpenForChange) &&
        std::ifstream(std::filesystem::u8path(platform::folderOf(path) + "/standin-raise")) >> signal)
        std::raise(signal);
    return standinArchiveOps().openArchive(path, priority, flags, archive);
}

}  // namespace

int main(int argc, char** argv) {
    ArchiveOps ops = standinArchiveOps();
    ops.openArchive = openArchive;
    return toolMain(platform::commandLine(argc, argv), ops);
}
