#include <csignal>
#include "archive/archive_ops.h"

namespace {

// How many calls into the archive library are under way (one, or none).
volatile std::sig_atomic_t callsUnderWay = 0;

}  // namespace

LibraryCall::LibraryCall() {
    callsUnderWay = callsUnderWay + 1;
}

LibraryCall::~LibraryCall() {
    callsUnderWay = callsUnderWay - 1;
}

bool insideArchiveLibrary() {
    return callsUnderWay > 0;
}
