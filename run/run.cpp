#include "run/run.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <new>
#include <functional>
#include <string_view>
#include "archive/map_file.h"
#include "archive/map_form.h"
#include "archive/map_script_store.h"
#include "rewrite/function_block.h"
#include "rewrite/script_library.h"
#include "run/script_language.h"
#include "run/watch.h"

namespace {

const char kUsage[] = "Usage: ostrel [--watch] MAP | ostrel [--watch] --check MAP | ostrel [--watch] --output NEW MAP";
const char kOptions[] =
    "  ostrel MAP               adds the script library and the directive registrations to the map's script\n"
    "  ostrel --check MAP       shows what a run would register and warns of directives it would miss;\n"
    "                           changes nothing\n"
    "  ostrel --output NEW MAP  writes the processed map to NEW (a file, or a folder that receives it under\n"
    "                           its own name) and leaves MAP as it is; --output=NEW for a name that starts with -\n"
    "  ostrel --watch [--check | --output NEW] MAP\n"
    "                           does the same at once and again after every save of the map, until Ctrl+C\n"
    "  ostrel --help, --version\n"
    "Options may also follow the map; -- ends them.\n";

// The value of the option at args[*i]: after its "=", or the next argument
// (the index then moves past it) unless that looks like an option. Empty
// when it is missing or empty.
std::string optionValue(const std::vector<std::string>& args, std::size_t* i, std::size_t nameLength) {
    const std::string& arg = args[*i];
    if (arg.size() > nameLength) return arg.substr(nameLength + 1);
    if (*i + 1 >= args.size() || args[*i + 1].rfind('-', 0) == 0) return std::string();
    return args[++*i];
}

// True when some directive registers through AddToCache.
bool needsAddToCache(const RegistrationLists& lists) {
    for (const DirectiveDefinition& directive : kDirectives)
        if (directive.takesValue && !lists.list(directive.kind).empty()) return true;
    return false;
}

// Scans the script of the map at mapPath, written in language, and rewrites
// it into *working, with the script library found in folders; false with one
// line in *err on any stop. With notes, the scan collects them.
bool rewriteScript(ScriptText script, const ScriptLanguage& language, const std::string& mapPath,
                   const std::vector<std::string>& folders, bool withNotes, ScriptScan* scan, ScriptText* working,
                   std::string* err) {
    *working = language.scan(std::move(script), *scan, withNotes);
    const ScriptAnchors& anchors = scan->anchors;
    if (const std::size_t line = anchors.processed.line) {
        *err = "The map " + mapPath + " has already been processed by ostrel; it was left as it is (line " +
               std::to_string(line) + ").";
        return false;
    }
    *err = registrationProblem(scan->registrations, language.rules);
    if (!err->empty()) return false;
    if (language.hasGlobals && !anchors.globalsEnd.found()) {
        *err = "The map script has no \"endglobals\".";
        return false;
    }

    ScriptText library;
    std::string libraryPath;
    if (!readScriptLibrary(folders, language.library, &library, &libraryPath, err)) return false;
    *err = libraryProblem(library, libraryPath, needsAddToCache(scan->registrations));
    if (!err->empty()) return false;
    if (!anchors.mainHeader.found()) {
        *err = std::string("The map script has no ") + language.mainHeader +
               (language.hasGlobals ? " after its \"endglobals\" (line " + std::to_string(anchors.globalsEnd.line) + ")"
                                    : std::string()) +
               ".";
        return false;
    }
    if (!anchors.mainEnd.found()) {
        *err = std::string("The map script's main function has no ") + language.mainEnd + " (line " +
               std::to_string(anchors.mainHeader.line) + ").";
        return false;
    }
    if (anchors.mainAgain.found()) {
        *err = "The map script defines main twice at the top level (lines " + std::to_string(anchors.mainHeader.line) +
               " and " + std::to_string(anchors.mainAgain.line) + "); the game would call only the last. Keep one.";
        return false;
    }
    language.splice(*working, anchors, buildFunctionBlock(std::move(library), scan->registrations, language.block));
    return true;
}

// Notes on registrations that repeat another: the same function for the same
// key and value. One open-addressed table of list indices per kind, so that
// the search is linear and allocates once.
void noteDuplicates(const RegistrationLists& lists, std::vector<ScanNote>* notes) {
    // FNV-1a over the function, a separator and the value.
    const auto hash = [](const Registration& r) {
        std::uint64_t h = 14695981039346656037ull;
        for (const char c : r.function) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        h = (h ^ 0xff) * 1099511628211ull;
        for (const char c : r.value) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        return static_cast<std::size_t>(h ^ (h >> 32));
    };
    for (const DirectiveDefinition& directive : kDirectives) {
        const std::vector<Registration>& list = lists.list(directive.kind);
        std::size_t slots = 16;
        while (slots < 2 * list.size()) slots *= 2;
        std::vector<std::size_t> table(slots, 0);  // an index into list, plus one; 0 for a free slot
        for (std::size_t i = 0; i < list.size(); ++i) {
            const Registration& r = list[i];
            std::size_t slot = hash(r) & (slots - 1);
            while (table[slot] && (list[table[slot] - 1].function != r.function || list[table[slot] - 1].value != r.value))
                slot = (slot + 1) & (slots - 1);
            if (!table[slot]) {
                table[slot] = i + 1;
                continue;
            }
            notes->push_back({r.line, r.function + " is registered for " + directive.key +
                                          (directive.takesValue ? " " + r.value : std::string()) +
                                          " a second time (first on line " + std::to_string(list[table[slot] - 1].line) +
                                          "); it will run twice."});
        }
    }
}

// Writes one line per registration, in the order the generated function
// makes them, and the notes as warnings; false, with one line in *message,
// when the standard output does not take them.
bool report(const ScriptScan& scan, const ArchiveFacts& facts, std::ostream& out, std::ostream& err,
            std::string* message) {
    // "line N: FUNCTION KEY[ VALUE]\n", written through a buffer that goes
    // out whenever it is full, so that a long list never needs fresh memory
    // of its size.
    std::vector<char> buffer(64 * 1024);
    std::size_t used = 0;
    const auto put = [&](const char* bytes, std::size_t n) {
        if (used + n > buffer.size()) {
            out.write(buffer.data(), static_cast<std::streamsize>(used));
            used = 0;
        }
        if (n > buffer.size()) {  // a name longer than the buffer goes out on its own
            out.write(bytes, static_cast<std::streamsize>(n));
            return;
        }
        std::memcpy(buffer.data() + used, bytes, n);
        used += n;
    };
    for (const DirectiveDefinition& directive : kDirectives) {
        const std::size_t keyLength = std::strlen(directive.key);
        for (const Registration& r : scan.registrations.list(directive.kind)) {
            char number[32] = "line ";  // room for any size_t
            const char* numberEnd = std::to_chars(number + 5, number + sizeof(number), r.line).ptr;
            put(number, static_cast<std::size_t>(numberEnd - number));
            put(": ", 2);
            put(r.function.data(), r.function.size());
            put(" ", 1);
            put(directive.key, keyLength);
            if (directive.takesValue) {
                put(" ", 1);
                put(r.value.data(), r.value.size());
            }
            put("\n", 1);
        }
    }
    out.write(buffer.data(), static_cast<std::streamsize>(used)) << std::flush;
    if (!out) {
        *message = "Couldn't write the registrations to the standard output: " + platform::lastError();
        return false;
    }
    std::vector<ScanNote> notes = scan.notes;
    noteDuplicates(scan.registrations, &notes);
    std::stable_sort(notes.begin(), notes.end(), [](const ScanNote& a, const ScanNote& b) { return a.line < b.line; });
    std::string warnings;
    if (facts.isSigned)
        warnings += "warning: The map carries a signature, which a changed map cannot keep: the new map leaves it out.\n";
    for (const ScanNote& note : notes)
        warnings += "warning: " + shownOnOneLine(note.text) + " (line " + std::to_string(note.line) + ")\n";
    err << warnings << std::flush;
    return true;
}

// Carries out request: copies the map, reads its script from the copy,
// rewrites it, stores it into the copy and puts the copy in the map's place
// (or NEW's), or, for a check, reports and discards it. False with one line
// in *message on any stop.
bool carryOut(const Request& request, const Outside& outside, std::ostream& out, std::ostream& err,
              RunResult* result) {
    std::string* message = &result->message;
    const bool check = request.mode == Request::Mode::kCheck;
    const SystemOps& system = outside.system;
    const MapForm& form = formOf(request.map);
    MapPlace place;
    OpenMap map;
    Destination destination;
    WorkingCopy copy(system);
    ScriptText script;
    std::vector<ScriptEntry> entries;
    for (const ScriptLanguage& language : kLanguages) entries.push_back(language.entry);
    ArchiveFacts facts;
    StoreContext context{outside.archive, system, place, map, destination, copy};
    if (!form.locate(request.map, entries, &place, message) ||
        !openMap(system, place.watched, form.unreadable, &map, message) ||
        !resolveDestination(system, map, place, form, request.output, check, outside.archive.pathLimit, &destination,
                            message) ||
        !form.take(context, entries, &facts, &script, message))
        return false;
    system.atStep(StoreStep::kScriptRead);
    const ScriptLanguage& language = kLanguages[facts.which];
    ScriptScan scan;
    ScriptText working;
    const bool rewritten = rewriteScript(std::move(script), language, map.path, outside.libraryFolders, check, &scan,
                                         &working, message);
    for (const auto& list : scan.registrations.lists) result->registrations += list.size();
    // What a check found is shown also when the run would stop; the line
    // that says why comes last.
    std::string stop = *message;
    if (check && !report(scan, facts, out, err, message)) return false;
    *message = stop;
    // A copy made already takes its room where it is made.
    const bool copied = !copy.path().empty() && destination.copyFolder == destination.folder;
    const uint64_t held = copied ? static_cast<uint64_t>(map.state.size) : 0;
    if (!rewritten || !hasRoom(system, destination.folder, form.room(map.state.size, working.size()), held, message))
        return false;
    // A check of a map folder writes nothing: its new script is plain text.
    if (check && form.folder) return true;
    if (!form.put(context, language.entry, working, message) ||
        !finishStore(system, map, copy, destination, !check, message))
        return false;
    result->replaced = !check && destination.isMap;
    result->replacedWas = map.state;
    result->replacedBy = copy.finishedState();
    return true;
}

}  // namespace

Request parseCommandLine(const std::vector<std::string>& args) {
    Request request;
    const Request usage;
    bool check = false, output = false, help = false, version = false, options = true;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            if (arg == "--help" || arg == "-h") {
                help = true;
            } else if (arg == "--version") {
                version = true;
            } else if (arg == "--check" && !check) {
                check = true;
            } else if (arg == "--watch" && !request.watch) {
                request.watch = true;
            } else if ((arg == "--output" || arg.rfind("--output=", 0) == 0) && !output) {
                output = true;
                request.output = optionValue(args, &i, 8);
                if (request.output.empty()) return usage;
            } else {
                return usage;
            }
        } else if (request.map.empty()) {
            if (arg.empty()) return usage;
            request.map = arg;
        }
    }
    request.mode = help              ? Request::Mode::kHelp
                   : version         ? Request::Mode::kVersion
                   : request.map.empty() || (check && output) ? Request::Mode::kUsage
                   : check           ? Request::Mode::kCheck
                   : output          ? Request::Mode::kOutput
                                     : Request::Mode::kRun;
    return request;
}

std::vector<std::string> libraryFolders(const std::string& workingFolder, const std::string& executableFolder) {
    std::vector<std::string> folders = {workingFolder.empty() ? "." : workingFolder};
    if (!executableFolder.empty()) {
        folders.push_back(executableFolder);
        folders.push_back(platform::joinPath(platform::joinPath(platform::joinPath(executableFolder, ".."), "share"), "ostrel"));
    }
    return folders;
}

std::string shownOnOneLine(const std::string& text) {
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7f) {
            shown += c;
            continue;
        }
        static const char kHex[] = "0123456789abcdef";
        shown += c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\t' ? "\\t" : std::string{'\\', 'x', kHex[u >> 4], kHex[u & 15]};
    }
    return shown;
}

RunResult runOnce(const Request& request, const Outside& outside, std::ostream& out, std::ostream& err) {
    RunResult result;
    try {
        result.done = carryOut(request, outside, out, err, &result);
    } catch (const std::bad_alloc&) {
        result.message = "Not enough memory to process the map " + request.map + "; it was left as it was.";
    }
    return result;
}

int runOstrel(const std::vector<std::string>& args, const Outside& outside, std::ostream& out, std::ostream& err) {
    const Request request = parseCommandLine(args);
    switch (request.mode) {
        case Request::Mode::kUsage:
            err << kUsage << std::endl;
            return 1;
        case Request::Mode::kHelp:
        case Request::Mode::kVersion:
            if (request.mode == Request::Mode::kHelp)
                out << kUsage << '\n' << kOptions << std::flush;
            else
                out << "ostrel " << OSTREL_VERSION << std::endl;
            if (out) return 0;
            err << "Couldn't write to the standard output: " << platform::lastError() << std::endl;
            return 1;
        default:
            break;
    }
    if (request.watch) return watchMap(request, outside, out, err);
    const RunResult result = runOnce(request, outside, out, err);
    if (result.done) return 0;
    err << shownOnOneLine(result.message) << std::endl;
    return 1;
}
