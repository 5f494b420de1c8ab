#pragma once
#include "run/script_text.h"
#include "scan/directives.h"

// The library text followed by the generated Add_Commands function, which
// registers every collected directive in the fixed list order. Never fails.
ScriptText buildFunctionBlock(ScriptText library, const RegistrationLists& lists);

// Why the registrations cannot become compilable calls: a directive without a
// value, or one in a function without a name. Empty when all can.
std::string unusableRegistration(const RegistrationLists& lists);
