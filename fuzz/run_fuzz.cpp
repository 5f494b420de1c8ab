// Fuzzes whole runs on arbitrary map files. Whatever the bytes, the run ends
// cleanly, and a run that fails leaves the map file byte for byte as it was,
// with no copy of it left beside it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <unistd.h>
#include "base/platform.h"
#include "run/run.h"

namespace {

std::string folder;

// Stops the fuzzer with a report when an expectation fails.
void require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "run_fuzz: %s\n", what);
    std::abort();
}

// The whole file at path.
std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char name[] = "/tmp/ostrel-run-fuzz-XXXXXX";
    require(mkdtemp(name) != nullptr, "cannot make a temporary folder");
    folder = name;
    std::ofstream(folder + "/func.j", std::ios::binary)
        << "function Initialize_Commands takes nothing returns nothing\nendfunction\n"
           "function AddToCache takes string l, integer v, code f returns nothing\nendfunction\n";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string map = folder + "/map.w3x";
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::ofstream(map, std::ios::binary | std::ios::trunc) << bytes;

    std::ostringstream out, err;
    const int code = runOstrel({"ostrel", map}, libraryArchiveOps(), {folder}, out, err);
    require(code == 0 || code == 1, "the run gave an unknown exit code");
    require(out.str().empty(), "the run printed on the standard output");
    if (code == 1) {
        require(readAll(map) == bytes, "a failed run changed the map");
        const std::string message = err.str();
        require(!message.empty() && message.find('\n') == message.size() - 1, "a failed run did not say one line");
    }
    require(platform::folderNames(folder).size() == 2, "the run left a file beside the map");
    return 0;
}
