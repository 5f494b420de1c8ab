#include "run/run.h"

#include <cstring>
#include "archive/map_script_store.h"
#include "scan/scanner.h"

namespace {

const char* const kUsage = "Usage: ostrel MAP   (adds the script library and the directive registrations to the map's script)";

}  // namespace

int runOstrel(int argc, const char* const* argv, const ArchiveOps& ops, const std::string& libraryFolder,
              std::ostream& out, std::ostream& err) {
    (void)libraryFolder;
    if (argc < 2) {
        err << kUsage << std::endl;
        return 1;
    }
    if (std::strcmp(argv[1], "--help") == 0) {
        out << kUsage << std::endl;
        return 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        out << "ostrel " << OSTREL_VERSION << std::endl;
        return 0;
    }
    const std::string mapPath = argv[1];

    ScriptText script = readMapScript(ops, mapPath, err);
    if (!scriptLoaded) return 1;

    RegistrationLists registrations;
    ScriptText working = scanScript(std::move(script), registrations);

    if (!storeMapScript(ops, mapPath, working, err)) return 1;
    return 0;
}
