#include "base/platform.h"
#include "run/run.h"

int main(int argc, char** argv) {
    return toolMain(platform::commandLine(argc, argv), libraryArchiveOps());
}
