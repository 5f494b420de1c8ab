#include <iostream>
#include "archive/archive_ops.h"
#include "run/crash_guard.h"
#include "run/run.h"

int main(int argc, char** argv) {
    if (argc > 1) guardAgainstCrashes(argv[1]);
    return runOstrel(argc, argv, libraryArchiveOps(), ".", std::cout, std::cerr);
}
