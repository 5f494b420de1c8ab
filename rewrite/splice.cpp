#include "rewrite/splice.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

const char kGlobalsMarker[] = "//Velloran globals:";

const char kGlobalsBlock[] =
    "    //Velloran globals:\n"
    "    gamecache OE_cache\n"
    "    trigger array OE_CodeAsTrigger\n"
    "    integer OE_count\n"
    "    //End of Velloran globals\n";
const char kMainHeader[] = "function main takes nothing returns nothing";
const char kMainCall[] = "    call Add_Commands()\n";

}  // namespace

std::size_t processedMarker(const ScriptText& working) {
    // The block goes in front of the first "endglobals", so only the text
    // before it need be searched.
    const std::size_t g = working.find("endglobals");
    if (g == ScriptText::npos) return g;
    return std::string_view(working.data(), g).find(kGlobalsMarker);
}

std::size_t originalLine(const ScriptText& working, std::size_t at, std::size_t globalsAt) {
    std::size_t line = 1 + static_cast<std::size_t>(std::count(working.begin(), working.begin() + at, '\n'));
    if (globalsAt != ScriptText::npos && at > globalsAt) line -= std::count(kGlobalsBlock, kGlobalsBlock + sizeof kGlobalsBlock, '\n');
    return line;
}

std::size_t mainHeaderAt(const ScriptText& working, std::size_t from) {
    return working.find(kMainHeader, from);
}

// Returns where the globals block went (the first "endglobals"); npos, with
// working unchanged, when there is no "endglobals".
std::size_t spliceGlobals(ScriptText& working) {
    std::size_t g = working.find("endglobals");
    if (g == ScriptText::npos) return g;
    working.insert(g, kGlobalsBlock);
    return g;
}

// Returns kSpliced after inserting block before main and the call before main's
// "endfunction"; kNoMainHeader / kNoMainEnd, with working unchanged, otherwise.
SpliceResult spliceFunctionBlock(ScriptText& working, std::size_t globalsAt, const ScriptText& block) {
    std::size_t m = working.find(kMainHeader, globalsAt);
    if (m == ScriptText::npos) return SpliceResult::kNoMainHeader;
    // Searching the old text from m finds the same "endfunction" as searching
    // the spliced text from m + block length.
    std::size_t e = working.find("endfunction", m);
    if (e == ScriptText::npos) return SpliceResult::kNoMainEnd;

    // Grow once and shift each byte after m at most once: [e, end) moves past
    // both insertions, [m, e) past the block only.
    const std::size_t oldSize = working.size();
    const std::size_t blockLen = block.size();
    const std::size_t callLen = std::strlen(kMainCall);
    working.resize(oldSize + blockLen + callLen);
    char* data = &working[0];
    std::memmove(data + e + blockLen + callLen, data + e, oldSize - e);
    std::memcpy(data + e + blockLen, kMainCall, callLen);
    std::memmove(data + m + blockLen, data + m, e - m);
    if (blockLen) std::memcpy(data + m, block.data(), blockLen);
    return SpliceResult::kSpliced;
}
