#include "rewrite/function_block.h"

#include <algorithm>
#include <cctype>

namespace {

// True when name is an identifier of the script language: a letter, then
// letters, digits and underscores.
bool isIdentifier(const std::string& name) {
    if (name.empty() || !std::isalpha(static_cast<unsigned char>(name[0]))) return false;
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

// True when value, written into the generated call, would end it early: it
// holds the start of a comment, or a quote it does not close.
bool breaksTheCall(const std::string& value) {
    if (value.find("//") != std::string::npos) return true;
    char open = 0;
    for (char c : value) {
        if (open == 0 && (c == '\'' || c == '"')) open = c;
        else if (c == open) open = 0;
    }
    return open != 0;
}

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
            if (!isIdentifier(r.function))
                return the + " stands in a function whose name \"" + r.function + "\" is no identifier" + at;
            const std::string in = the + " in function " + r.function;
            if (directive.takesValue && r.value.empty()) return in + " has no value" + at;
            if (directive.takesValue && breaksTheCall(r.value))
                return in + " has the value " + r.value + ", which would break the generated call" + at;
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
