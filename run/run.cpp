#include "run/run.h"

#include <algorithm>
#include <new>
#include "archive/map_file.h"
#include "archive/map_script_store.h"
#include "rewrite/function_block.h"
#include "rewrite/script_library.h"
#include "rewrite/splice.h"
#include "scan/scanner.h"

namespace {

const char kUsage[] = "Usage: ostrel MAP | ostrel --check MAP | ostrel --output NEW MAP";
const char kOptions[] =
    "  ostrel MAP               adds the script library and the directive registrations to the map's script\n"
    "  ostrel --check MAP       shows what a run would register and warns of directives it would miss;\n"
    "                           changes nothing\n"
    "  ostrel --output NEW MAP  writes the processed map to NEW and leaves MAP as it is\n"
    "  ostrel --help, --version\n";

// What the command line asks for.
struct Request {
    enum class Mode { kRun, kCheck, kOutput, kHelp, kVersion, kUsage } mode = Mode::kUsage;
    std::string map;
    std::string output;
};

Request parse(const std::vector<std::string>& args) {
    Request request;
    const std::size_t n = args.size();
    if (n >= 2 && args[1] == "--help") request.mode = Request::Mode::kHelp;
    else if (n >= 2 && args[1] == "--version") request.mode = Request::Mode::kVersion;
    else if (n >= 3 && args[1] == "--check") request = {Request::Mode::kCheck, args[2], ""};
    else if (n >= 4 && args[1] == "--output") request = {Request::Mode::kOutput, args[3], args[2]};
    else if (n >= 2 && args[1].rfind("--", 0) != 0) request = {Request::Mode::kRun, args[1], ""};
    return request;
}

// A map made ready to store: the open map, the finished script, and what the
// scan found.
struct Prepared {
    OpenMap map;
    ScriptText working;
    ScriptScan scan;
};

// True when some directive registers through AddToCache.
bool needsAddToCache(const RegistrationLists& lists) {
    for (const DirectiveDefinition& directive : kDirectives)
        if (directive.takesValue && !lists.list(directive.kind).empty()) return true;
    return false;
}

// Reads, scans and rewrites the map at mapPath, changing nothing on disk;
// false with one line in *err on any stop. With notes, collects the scan's.
bool prepare(const std::string& mapPath, const ArchiveOps& ops, const std::vector<std::string>& folders,
             bool withNotes, Prepared* p, std::string* err) {
    if (!openMap(mapPath, &p->map, err)) return false;
    ScriptText script;
    if (!readMapScript(ops, p->map.target, &script, err)) return false;

    p->working = scanScript(std::move(script), p->scan, withNotes);
    const ScriptAnchors& anchors = p->scan.anchors;
    const std::size_t marker = processedMarker(p->working, anchors.globalsEnd);
    if (marker != ScriptText::npos) {
        *err = "The map " + mapPath + " has already been processed by ostrel; it was left as it is (line " +
               std::to_string(lineOf(p->working, marker)) + ").";
        return false;
    }
    *err = registrationProblem(p->scan.registrations);
    if (!err->empty()) return false;
    if (!anchors.globalsEnd.found()) {
        *err = "The map script has no \"endglobals\".";
        return false;
    }

    ScriptText library;
    std::string libraryPath;
    if (!readScriptLibrary(folders, &library, &libraryPath, err)) return false;
    *err = libraryProblem(library, libraryPath, needsAddToCache(p->scan.registrations));
    if (!err->empty()) return false;
    if (!anchors.mainHeader.found()) {
        *err = "The map script has no \"function main takes nothing returns nothing\" after its \"endglobals\" (line " +
               std::to_string(anchors.globalsEnd.line) + ").";
        return false;
    }
    if (!anchors.mainEnd.found()) {
        *err = "The map script's main function has no \"endfunction\" (line " + std::to_string(anchors.mainHeader.line) +
               ").";
        return false;
    }
    spliceScript(p->working, anchors, buildFunctionBlock(std::move(library), p->scan.registrations));
    return true;
}

// Notes on registrations that repeat another: the same function for the same
// key and value.
void noteDuplicates(const RegistrationLists& lists, std::vector<ScanNote>* notes) {
    for (const DirectiveDefinition& directive : kDirectives) {
        std::vector<const Registration*> seen;
        for (const Registration& r : lists.list(directive.kind)) {
            const auto same = std::find_if(seen.begin(), seen.end(), [&](const Registration* other) {
                return other->function == r.function && other->value == r.value;
            });
            if (same != seen.end())
                notes->push_back({r.line, r.function + " is registered for " + directive.key +
                                              (directive.takesValue ? " " + r.value : std::string()) + " a second time (first on line " + std::to_string((*same)->line) +
                                              "); it will run twice."});
            else
                seen.push_back(&r);
        }
    }
}

// Writes one line per registration, in the order the generated function
// makes them, and the notes as warnings.
void report(const Prepared& p, std::ostream& out, std::ostream& err) {
    for (const DirectiveDefinition& directive : kDirectives) {
        for (const Registration& r : p.scan.registrations.list(directive.kind)) {
            out << "line " << r.line << ": " << r.function << ' ' << directive.key;
            if (directive.takesValue) out << ' ' << r.value;
            out << '\n';
        }
    }
    std::vector<ScanNote> notes = p.scan.notes;
    noteDuplicates(p.scan.registrations, &notes);
    std::stable_sort(notes.begin(), notes.end(), [](const ScanNote& a, const ScanNote& b) { return a.line < b.line; });
    for (const ScanNote& note : notes) err << "warning: " << note.text << " (line " << note.line << ")\n";
    out.flush();
    err.flush();
}

// Carries out request; false with one line in *err on any stop.
bool carryOut(const Request& request, const ArchiveOps& ops, const std::vector<std::string>& folders,
              std::ostream& out, std::ostream& err, std::string* message) {
    Prepared p;
    const bool check = request.mode == Request::Mode::kCheck;
    const bool prepared = prepare(request.map, ops, folders, check, &p, message);
    if (check) {
        report(p, out, err);
        std::string why;
        if (prepared && !platform::mayWrite(p.map.target, &why)) {
            *message = "Couldn't open the map file " + request.map + " for writing: " + why;
            return false;
        }
        return prepared;
    }
    return prepared && storeMapScript(ops, p.map, p.working, request.output, message);
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
    const Request request = parse(args);
    switch (request.mode) {
        case Request::Mode::kUsage:
            err << kUsage << std::endl;
            return 1;
        case Request::Mode::kHelp:
            out << kUsage << '\n' << kOptions << std::flush;
            return 0;
        case Request::Mode::kVersion:
            out << "ostrel " << OSTREL_VERSION << std::endl;
            return 0;
        default:
            break;
    }
    std::string message;
    bool done = false;
    try {
        done = carryOut(request, ops, folders, out, err, &message);
    } catch (const std::bad_alloc&) {
        message = "Not enough memory to process the map " + request.map + "; it was left as it was.";
    }
    if (done) return 0;
    err << message << std::endl;
    return 1;
}
