// Fuzzes the tool. An input whose first byte is even is a map file: a whole run on it ends cleanly, and a run that
// fails leaves the map byte for byte as it was, with nothing left beside it. Otherwise the input is a map script (in
// the game's language when the first byte is 1 modulo 4, else in Lua), then optionally a NUL byte and a script
// library: the scan, the build and the splices end cleanly, and a completed rewrite holds the script's bytes with the
// inserted texts added.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include "base/platform.h"
#include "rewrite/script_library.h"
#include "rewrite/splice.h"
#include "run/run.h"
#include "run/script_language.h"

namespace {

std::string folder;

// Stops the fuzzer with a report when an expectation fails.
void require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "run_fuzz: %s\n", what);
    std::abort();
}

void writeAll(const std::string& path, const std::string& bytes) {
    require(static_cast<bool>(std::ofstream(path, std::ios::binary) << bytes), "cannot write a file");
}

// A whole run on a map file holding bytes.
void fuzzRun(const std::string& bytes) {
    const std::string map = folder + "/map.w3x";
    writeAll(map, bytes);
    std::ostringstream out, err;
    const int code = runOstrel({"ostrel", map}, Outside{libraryArchiveOps(), platformSystemOps(), {folder}}, out, err);
    const std::string message = err.str();
    require((code == 0 || code == 1) && out.str().empty(), "an unknown exit code, or output on the standard output");
    std::ifstream in(map, std::ios::binary);
    const std::string after{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    require(code == 0 || (after == bytes && !message.empty() && message.find('\n') == message.size() - 1),
            "a failed run changed the map or did not say one line");
    std::vector<std::string> names;
    std::string why;
    require(platform::folderNames(folder, &names, &why) && names.size() == 3, "the run left a file beside the map");
}

// The scan, the build and the splices on a script in language and a library.
void fuzzRewrite(const std::string& input, const ScriptLanguage& language) {
    const std::size_t split = input.find('\0');
    const ScriptText original = input.substr(0, split);
    ScriptScan scan;
    ScriptText working = language.scan(original, scan, true);
    require(working.compare(0, original.size(), original) == 0 &&
                working.size() == original.size() + (!original.empty() && original.back() != '\n' && original.back() != '\r'),
            "the working copy is not the script plus its final line feed");
    const ScriptAnchors& a = scan.anchors;
    require((!a.mainHeader.found() || !language.hasGlobals || a.globalsEnd.at < a.mainHeader.at) &&
                (!a.mainEnd.found() || (a.mainHeader.found() && a.mainHeader.at < a.mainEnd.at)),
            "the anchors are out of order");
    if (!a.mainEnd.found() || a.processed.found() ||
        !registrationProblem(scan.registrations, language.rules).empty())
        return;

    writeAll(folder + "/" + language.library, split == std::string::npos ? "" : input.substr(split + 1));
    ScriptText library;
    std::string path, err;
    require(readScriptLibrary({folder}, language.library, &library, &path, &err), "cannot read the library");
    const ScriptText block = buildFunctionBlock(std::move(library), scan.registrations, language.block);
    const std::size_t before = working.size(), globals = language.hasGlobals ? kGlobalsBlock.size() : 0;
    language.splice(working, a, block);
    require(working.compare(a.mainHeader.at + globals, block.size(), block) == 0, "the block is not where main was");
    const std::size_t head = std::min(a.globalsEnd.at, a.mainHeader.at);
    require(working.compare(0, head, original, 0, head) == 0 && working.size() > before + globals + block.size(),
            "the splices lost bytes or the call");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* temp = std::getenv("TMPDIR");
    folder = std::string(temp ? temp : "/tmp") + "/ostrel-fuzz-XXXXXX";
    require(mkdtemp(&folder[0]) != nullptr, "cannot make a temporary folder");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    writeAll(folder + "/func.j", "function Initialize_Commands takes nothing returns nothing\nendfunction\nfunction "
                                 "AddToCache takes string l, integer v, code f returns nothing\nendfunction\n");
    writeAll(folder + "/func.lua", "function Initialize_Commands()\nend\nfunction AddToCache(l, v, f)\nend\n");
    data[0] % 2 == 0 ? fuzzRun(rest) : fuzzRewrite(rest, kLanguages[data[0] / 2 % 2]);
    return 0;
}
