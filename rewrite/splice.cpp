#include "rewrite/splice.h"

#include <algorithm>
#include <cstring>

namespace {

const char kMainCall[] = "    call Add_Commands()\n";

}  // namespace

const std::string_view kGlobalsBlock =
    "    //Velloran globals:\n"
    "    gamecache OE_cache\n"
    "    trigger array OE_CodeAsTrigger\n"
    "    integer OE_count\n"
    "    //End of Velloran globals\n";

void insertAll(ScriptText& working, const std::vector<Insertion>& insertions) {
    std::size_t added = 0;
    for (const Insertion& insertion : insertions) added += insertion.text.size();
    std::size_t tail = working.size();
    working.resize(tail + added);
    char* data = &working[0];
    // From the back: the text after each insertion moves past it and every
    // insertion before it.
    for (auto it = insertions.rbegin(); it != insertions.rend(); ++it) {
        std::memmove(data + it->at + added, data + it->at, tail - it->at);
        added -= it->text.size();
        if (!it->text.empty()) std::memcpy(data + it->at + added, it->text.data(), it->text.size());
        tail = it->at;
    }
}

void spliceScript(ScriptText& working, const ScriptAnchors& anchors, const ScriptText& block) {
    insertAll(working, {{anchors.globalsEnd.at, kGlobalsBlock}, {anchors.mainHeader.at, block},
                        {anchors.mainEnd.at, kMainCall}});
}
