#include "run/script_language.h"

#include "rewrite/lua_splice.h"
#include "rewrite/splice.h"
#include "scan/directive_value.h"
#include "scan/lua_scanner.h"
#include "scan/scanner.h"

const std::array<ScriptLanguage, 2> kLanguages = {{
    {
        {"war3map.j", true},
        "func.j",
        scanScript,
        {isGameValue, "an integer such as 852119, a four-character code such as A000, or the name of a constant", false,
         " is defined after the map's main function, which would call it before it is defined"},
        {"function Add_Commands takes nothing returns nothing\n", "call ", "", "function ", "endfunction\n"},
        spliceScript,
        true,
        "\"function main takes nothing returns nothing\"",
        "\"endfunction\"",
    },
    {
        // Lua takes NUL bytes in strings and comments, and reads one after the
        // text as a syntax error.
        {"war3map.lua", false},
        "func.lua",
        scanLuaScript,
        {isLuaValue, "a number such as 852119, a four-character code such as A000, or a name", true,
         " is a local declared after the map's main function, where Add_Commands cannot see it"},
        {"function Add_Commands()\n", "", " ", "", "end\n"},
        spliceLuaScript,
        false,
        "top-level \"function main()\"",
        "\"end\"",
    },
}};
