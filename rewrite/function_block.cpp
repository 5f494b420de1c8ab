#include "rewrite/function_block.h"

#include <vector>

namespace {

// Appends one "call AddToCache" line per (function, value) pair of a valued list.
void appendRegistrations(ScriptText& block, const char* label, const std::vector<std::string>& pairs) {
    for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) {
        block += "    call AddToCache(\"";
        block += label;
        block += "\",";
        block += pairs[i + 1];
        block += ",function ";
        block += pairs[i];
        block += ")\n";
    }
}

}  // namespace

// Returns library followed by Add_Commands: Initialize_Commands, the four spell
// lists, the OnInit calls, then the three order lists. Cannot fail.
ScriptText buildFunctionBlock(ScriptText library, const RegistrationLists& lists) {
    ScriptText block = std::move(library);
    block += "function Add_Commands takes nothing returns nothing\n";
    block += "    call Initialize_Commands()\n";
    appendRegistrations(block, "cast", lists.list(kSpellCast));
    appendRegistrations(block, "effect", lists.list(kSpellEffect));
    appendRegistrations(block, "endcast", lists.list(kSpellEndcast));
    appendRegistrations(block, "finish", lists.list(kSpellFinish));
    for (const std::string& name : lists.list(kOnInit)) {
        block += "call ";
        block += name;
        block += "()\n";
    }
    appendRegistrations(block, "targetorder", lists.list(kOrderObject));
    appendRegistrations(block, "pointorder", lists.list(kOrderPoint));
    appendRegistrations(block, "instantorder", lists.list(kOrderInstant));
    block += "endfunction\n";
    return block;
}

std::string unusableRegistration(const RegistrationLists& lists) {
    for (int kind = 1; kind <= 8; ++kind) {
        const std::vector<std::string>& list = lists.list(kind);
        const std::size_t step = kind == kOnInit ? 1 : 2;
        for (std::size_t i = 0; i + step <= list.size(); i += step) {
            if (list[i].empty())
                return std::string("The ") + directiveKey(kind) + " directive stands in a function without a name.";
            if (step == 2 && list[i + 1].empty())
                return std::string("The ") + directiveKey(kind) + " directive in function " + list[i] + " has no value.";
        }
    }
    return std::string();
}
