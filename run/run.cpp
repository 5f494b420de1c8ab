#include "run/run.h"

#include <cstring>
#include "archive/map_script_store.h"
#include "rewrite/function_block.h"
#include "rewrite/script_library.h"
#include "rewrite/splice.h"
#include "scan/scanner.h"

namespace {

const char* const kUsage = "Usage: ostrel MAP   (adds the script library and the directive registrations to the map's script)";

// Writes message as one line on err and returns the failure exit code.
int stop(std::ostream& err, const std::string& message) {
    err << message << std::endl;
    return 1;
}

}  // namespace

int runOstrel(int argc, const char* const* argv, const ArchiveOps& ops, const std::string& libraryFolder,
              std::ostream& out, std::ostream& err) {
    if (argc < 2) return stop(err, kUsage);
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
    if (alreadyProcessed(working))
        return stop(err, "The map " + mapPath + " has already been processed by ostrel; it was left as it is.");
    const std::string unusable = unusableRegistration(registrations);
    if (!unusable.empty()) return stop(err, unusable);

    const std::size_t globalsAt = spliceGlobals(working);
    if (globalsAt == ScriptText::npos) return stop(err, "The map script has no \"endglobals\".");

    ScriptText library;
    if (!readScriptLibrary(libraryFolder, library, err)) return 1;
    const ScriptText block = buildFunctionBlock(std::move(library), registrations);
    switch (spliceFunctionBlock(working, globalsAt, block)) {
        case SpliceResult::kNoMainHeader:
            return stop(err, "The map script has no \"function main takes nothing returns nothing\" after its \"endglobals\".");
        case SpliceResult::kNoMainEnd:
            return stop(err, "The map script's main function has no \"endfunction\".");
        case SpliceResult::kSpliced:
            break;
    }

    if (!storeMapScript(ops, mapPath, working, err)) return 1;
    return 0;
}
