// The tool with the stand-in archive in place of the archive library.
#include "base/platform.h"
#include "run/run.h"
#include "tests/test_support.h"

int main(int argc, char** argv) {
    return toolMain(platform::commandLine(argc, argv), standinArchiveOps());
}
