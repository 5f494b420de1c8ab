#pragma once
#include <string>
#include <string_view>
#include "base/script_text.h"
#include "scan/directives.h"

// How a script language writes the generated Add_Commands function.
struct BlockSyntax {
    const char* header;             // "function Add_Commands ...\n"
    const char* call;               // in front of a call statement: "call " or nothing
    const char* separator;          // after each comma of a registration
    const char* functionReference;  // in front of a function passed as a value
    const char* end;                // the line that ends the function
};

// The library text followed by the generated Add_Commands function in
// syntax, which registers every collected directive in the order of the
// vocabulary table. Never fails.
ScriptText buildFunctionBlock(ScriptText library, const RegistrationLists& lists, const BlockSyntax& syntax);

// What a script language asks of a registration.
struct RegistrationRules {
    bool (*isValue)(std::string_view written);  // the written value is one value the call takes
    const char* valueHint;                      // what to write instead of one that is not
    bool dottedNames;                           // a function may be a table's field (Spells.Fire)
    const char* afterMain;  // why a function marked as defined after main cannot be registered, after its name
};

// Why the registrations cannot become calls that compile and run: a
// directive without a value or with one that is not one value, in a function
// without a name or one that is no identifier, in a function that takes
// arguments, in main, or in a function defined after main. Empty when all
// can.
std::string registrationProblem(const RegistrationLists& lists, const RegistrationRules& rules);
