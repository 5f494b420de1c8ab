#pragma once
#include <string>
#include "base/script_text.h"
#include "scan/directives.h"

// The library text followed by the generated Add_Commands function, which
// registers every collected directive in the order of the vocabulary table.
// Never fails.
ScriptText buildFunctionBlock(ScriptText library, const RegistrationLists& lists);

// Why the registrations cannot become calls that compile: a directive without
// a value, in a function without a name, in a function that takes arguments,
// or in a function defined after main. Empty when all can.
std::string registrationProblem(const RegistrationLists& lists);
