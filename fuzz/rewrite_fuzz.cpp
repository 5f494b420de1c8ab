// Fuzzes the scan, the build and the splices on arbitrary script and library
// bytes: the input is the script, then optionally a NUL byte and the library.
// Every stage must end cleanly, and a completed rewrite must hold the script's
// bytes with exactly the inserted texts added.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include "rewrite/function_block.h"
#include "rewrite/script_library.h"
#include "rewrite/splice.h"
#include "scan/scanner.h"

namespace {

std::string folder;

// Stops the fuzzer with a report when an expectation fails.
void require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "rewrite_fuzz: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char name[] = "/tmp/ostrel-rewrite-fuzz-XXXXXX";
    require(mkdtemp(name) != nullptr, "cannot make a temporary folder");
    folder = name;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    ScriptText script = input.substr(0, split);
    const std::string libraryFile = split == std::string::npos ? "" : input.substr(split + 1);

    const ScriptText original = script;
    RegistrationLists lists;
    ScriptText working = scanScript(std::move(script), lists);
    require(working.compare(0, original.size(), original) == 0, "the working copy differs from the script");
    require(working.size() == original.size() + (!original.empty() && original.back() != '\n'),
            "the working copy is not the script plus its final line feed");
    for (const DirectiveSpec& spec : kDirectives)
        for (const Registration& r : lists.list(spec.kind))
            require(r.line >= 1 && (spec.takesValue || r.value.empty()), "a registration without its line or with a stray value");

    if (processedMarker(working) != ScriptText::npos || !registrationProblem(lists).empty()) return 0;
    const std::size_t before = working.size();
    const std::size_t globalsAt = spliceGlobals(working);
    if (globalsAt == ScriptText::npos) return 0;
    const std::size_t globalsSize = working.size() - before;

    FILE* file = std::fopen((folder + "/func.j").c_str(), "wb");
    require(file && std::fwrite(libraryFile.data(), 1, libraryFile.size(), file) == libraryFile.size(),
            "cannot write the library");
    std::fclose(file);
    ScriptText library;
    std::string path, err;
    require(readScriptLibrary({folder}, &library, &path, &err), "cannot read the library");
    const ScriptText block = buildFunctionBlock(std::move(library), lists);

    const ScriptText spliced = working;
    if (spliceFunctionBlock(working, globalsAt, block) != SpliceResult::kSpliced) {
        require(working == spliced, "a failed splice changed the script");
        return 0;
    }
    const std::string call = "    call Add_Commands()\n";
    require(working.size() == before + globalsSize + block.size() + call.size(), "the splices lost or added bytes");
    require(working.find(block, globalsAt) != ScriptText::npos, "the block is not in the script");
    return 0;
}
