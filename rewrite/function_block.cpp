#include "rewrite/function_block.h"

#include <algorithm>
#include <cctype>

namespace {

// True when name is an identifier of the script language (a letter, then
// letters, digits and underscores), or, where dotted, several joined by dots.
bool isIdentifier(const std::string& name, bool dotted) {
    bool start = true;
    for (char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (dotted && c == '.' && !start) {
            start = true;
        } else if (start ? std::isalpha(u) || (dotted && c == '_') : std::isalnum(u) || c == '_') {
            start = false;
        } else {
            return false;
        }
    }
    return !start;
}

// The first part of a dotted name: the name a table's function is reached through.
std::string firstPart(const std::string& name) {
    return name.substr(0, name.find('.'));
}

// Appends the line of one registration as Add_Commands holds it to block.
void appendRegistration(ScriptText& block, const DirectiveDefinition& directive, const Registration& registration,
                        const BlockSyntax& syntax) {
    if (!directive.takesValue) {
        block.append(syntax.call).append(registration.function).append("()\n");
        return;
    }
    block.append("    ").append(syntax.call).append("AddToCache(\"").append(directive.label).append("\",");
    block.append(syntax.separator).append(registration.value).append(",").append(syntax.separator);
    block.append(syntax.functionReference).append(registration.function).append(")\n");
}

// Why registration r of directive cannot become a call that compiles, in the
// words that follow "The KEY directive"; empty when it can.
std::string problemOf(const DirectiveDefinition& directive, const Registration& r, const RegistrationRules& rules) {
    if (r.function.empty()) return " stands in a function without a name";
    if (!isIdentifier(r.function, rules.dottedNames))
        return " stands in a function whose name \"" + r.function + "\" is no identifier";
    const auto in = [&] { return " in function " + r.function; };
    if (directive.takesValue && r.value.empty()) return in() + " has no value";
    if (directive.takesValue && !rules.isValue(r.value))
        return in() + " has the value " + r.value + ", which is not one value the generated call can take; write " +
               rules.valueHint;
    if (r.takesArguments)
        return in() + " cannot be registered: a registered function must take nothing, and " + r.function +
               " takes arguments";
    if (r.inMain)
        return in() + " cannot be registered: main runs Add_Commands itself; move the directive into a function of its own";
    if (r.afterMain) return in() + " cannot be registered: " + firstPart(r.function) + rules.afterMain;
    return std::string();
}

}  // namespace

ScriptText buildFunctionBlock(ScriptText library, const RegistrationLists& lists, const BlockSyntax& syntax) {
    ScriptText block = std::move(library);
    block += syntax.header;
    block += std::string("    ") + syntax.call + "Initialize_Commands()\n";
    for (const DirectiveDefinition& directive : kDirectives) {
        for (const Registration& registration : lists.list(directive.kind))
            appendRegistration(block, directive, registration, syntax);
    }
    block += syntax.end;
    return block;
}

std::string registrationProblem(const RegistrationLists& lists, const RegistrationRules& rules) {
    for (const DirectiveDefinition& directive : kDirectives) {
        for (const Registration& r : lists.list(directive.kind)) {
            const std::string problem = problemOf(directive, r, rules);
            if (!problem.empty())
                return std::string("The ") + directive.key + " directive" + problem + " (line " + std::to_string(r.line) +
                       ").";
        }
    }
    return std::string();
}
