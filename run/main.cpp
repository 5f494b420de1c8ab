#include <iostream>
#include "archive/archive_ops.h"
#include "run/run.h"

int main(int argc, char** argv) {
    return runOstrel(argc, argv, libraryArchiveOps(), ".", std::cout, std::cerr);
}
