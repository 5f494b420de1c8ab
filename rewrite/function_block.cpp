#include "rewrite/function_block.h"

namespace {

// The line of one registration as Add_Commands holds it, without its line feed.
std::string registrationLine(const DirectiveDefinition& directive, const Registration& registration) {
    if (!directive.takesValue) return "call " + registration.function + "()";
    return std::string("    call AddToCache(\"") + directive.label + "\"," + registration.value + ",function " +
           registration.function + ")";
}

}  // namespace

ScriptText buildFunctionBlock(ScriptText library, const RegistrationLists& lists) {
    ScriptText block = std::move(library);
    block += "function Add_Commands takes nothing returns nothing\n";
    block += "    call Initialize_Commands()\n";
    for (const DirectiveDefinition& directive : kDirectives) {
        for (const Registration& registration : lists.list(directive.kind)) {
            block += registrationLine(directive, registration);
            block += '\n';
        }
    }
    block += "endfunction\n";
    return block;
}

std::string registrationProblem(const RegistrationLists& lists) {
    for (const DirectiveDefinition& directive : kDirectives) {
        for (const Registration& r : lists.list(directive.kind)) {
            const std::string the = std::string("The ") + directive.key + " directive";
            const std::string at = " (line " + std::to_string(r.line) + ").";
            if (r.function.empty()) return the + " stands in a function without a name" + at;
            const std::string in = the + " in function " + r.function;
            if (directive.takesValue && r.value.empty()) return in + " has no value" + at;
            if (r.takesArguments)
                return in + " cannot be registered: a registered function must take nothing, and " + r.function +
                       " takes arguments" + at;
            if (r.afterMain)
                return in + " cannot be registered: " + r.function +
                       " is defined after the map's main function, which would call it before it is defined" + at;
        }
    }
    return std::string();
}
