#include "run/crash_guard.h"

#include <csignal>
#include <cstdlib>
#include "archive/replace_file.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// The line to write on a crash, made before any crash can happen.
std::string crashMessage;

// Writes the crash line, removes the copy in progress and ends the process.
extern "C" void onCrash(int) {
#ifdef _WIN32
    _write(2, crashMessage.data(), static_cast<unsigned>(crashMessage.size()));
#else
    ssize_t written = write(2, crashMessage.data(), crashMessage.size());
    (void)written;
#endif
    removeWorkingCopyAfterCrash();
    _exit(1);
}

}  // namespace

void guardAgainstCrashes(const std::string& mapPath) {
    crashMessage = "ostrel stopped on a fault while reading or writing the map " + mapPath +
                   " (the map may be damaged); the map was left as it was.\n";
    for (int signal : {SIGSEGV, SIGABRT, SIGFPE, SIGILL
#ifndef _WIN32
                       , SIGBUS
#endif
         }) {
#ifdef _WIN32
        std::signal(signal, onCrash);
#else
        struct sigaction action = {};
        action.sa_handler = onCrash;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
#endif
    }
}
