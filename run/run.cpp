#include "run/run.h"

#include <new>
#include "archive/map_file.h"
#include "archive/map_script_store.h"
#include "rewrite/function_block.h"
#include "rewrite/script_library.h"
#include "rewrite/splice.h"
#include "scan/scanner.h"

namespace {

const char* const kUsage = "Usage: ostrel MAP   (adds the script library and the directive registrations to the map's script)";

// True when some directive registers through AddToCache.
bool needsAddToCache(const RegistrationLists& lists) {
    for (const DirectiveSpec& spec : kDirectives)
        if (spec.takesValue && !lists.list(spec.kind).empty()) return true;
    return false;
}

// Processes the map at mapPath; false with one line in *err on any stop.
bool processMap(const std::string& mapPath, const ArchiveOps& ops, const std::vector<std::string>& folders,
                std::string* err) {
    OpenMap map;
    if (!openMap(mapPath, &map, err)) return false;
    ScriptText script;
    if (!readMapScript(ops, map.target, &script, err)) return false;

    RegistrationLists registrations;
    ScriptText working = scanScript(std::move(script), registrations);
    if (alreadyProcessed(working)) {
        *err = "The map " + mapPath + " has already been processed by ostrel; it was left as it is.";
        return false;
    }
    *err = registrationProblem(registrations);
    if (!err->empty()) return false;

    const std::size_t globalsAt = spliceGlobals(working);
    if (globalsAt == ScriptText::npos) {
        *err = "The map script has no \"endglobals\".";
        return false;
    }

    ScriptText library;
    std::string libraryPath;
    if (!readScriptLibrary(folders, &library, &libraryPath, err)) return false;
    *err = libraryProblem(library, libraryPath, needsAddToCache(registrations));
    if (!err->empty()) return false;
    const ScriptText block = buildFunctionBlock(std::move(library), registrations);
    switch (spliceFunctionBlock(working, globalsAt, block)) {
        case SpliceResult::kNoMainHeader:
            *err = "The map script has no \"function main takes nothing returns nothing\" after its \"endglobals\".";
            return false;
        case SpliceResult::kNoMainEnd:
            *err = "The map script's main function has no \"endfunction\".";
            return false;
        case SpliceResult::kSpliced:
            break;
    }
    return storeMapScript(ops, map, working, err);
}

}  // namespace

std::vector<std::string> libraryFolders(const std::string& executableFolder) {
    std::vector<std::string> folders = {"."};
    if (!executableFolder.empty()) {
        folders.push_back(executableFolder);
        folders.push_back(executableFolder + "/../share/ostrel");
    }
    return folders;
}

int runOstrel(const std::vector<std::string>& args, const ArchiveOps& ops, const std::vector<std::string>& folders,
              std::ostream& out, std::ostream& err) {
    if (args.size() < 2) {
        err << kUsage << std::endl;
        return 1;
    }
    if (args[1] == "--help") {
        out << kUsage << std::endl;
        return 0;
    }
    if (args[1] == "--version") {
        out << "ostrel " << OSTREL_VERSION << std::endl;
        return 0;
    }
    std::string message;
    bool done = false;
    try {
        done = processMap(args[1], ops, folders, &message);
    } catch (const std::bad_alloc&) {
        message = "Not enough memory to process the map " + args[1] + "; it was left as it was.";
    }
    if (done) return 0;
    err << message << std::endl;
    return 1;
}
