// The directive vocabulary and the one-pass scan of the map script.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "scan/scanner.h"

namespace {

using Strings = std::vector<std::string>;

// Each registration of kind as "function=value@line".
Strings entries(const RegistrationLists& lists, DirectiveKind kind) {
    Strings out;
    for (const Registration& r : lists.list(kind))
        out.push_back(r.function + "=" + r.value + "@" + std::to_string(r.line));
    return out;
}

RegistrationLists scanned(const std::string& script) {
    RegistrationLists lists;
    return scanScript(script, lists), lists;
}

// The casts registered by one body line of function f (on line 2).
Strings castsOf(const std::string& line) {
    return entries(scanned("function f takes nothing returns nothing\n" + line + "\nendfunction\n"),
                   DirectiveKind::kSpellCast);
}

TEST(DirectiveForms, SeparatorKeyAndValue) {
    const std::pair<const char*, Strings> cases[] = {
        {"    //! Spell_Cast A000 and then more words", {"f='A000'@2"}},
        {"call Foo() //!xSpell_Cast A000", {"f='A000'@2"}},
        {"//!Spell_Cast A000", {}},  // without a separator the key loses its first letter
        {"//! spell_cast A000", {}},  // keys match exactly
        {"//! Spell_Casts A000", {}},
        {"//! Spell_Cast 'A000'", {"f='A000'@2"}},  // only four-byte values are quoted
        {"//! Spell_Cast 852001", {"f=852001@2"}},
        {"//! Spell_Cast  A000", {"f=@2"}},  // two spaces: the empty word between them
        {"//! Spell_Cast A0\r0 x", {"f='A0\r0'@2"}},
        {"\t//! Spell_Cast", {"f=@2"}},  // a key that ends the line has no value
        {"    //! Spell_Cast \r", {"f=@2"}},
        {"//! Spell_Cast A00\r\r", {"f='A00\r'@2"}},  // only the CR before the line end is cut
        {"    //!\r", {}},
        {"//!", {}},
    };
    for (const auto& [line, expected] : cases) EXPECT_EQ(castsOf(line), expected) << line;
}

TEST(FunctionTracking, OnlyHeadersOutsideFunctionsOpenThem) {
    const RegistrationLists lists = scanned(
        "//! Spell_Cast A000\n"                                     // 1: before any header
        "    // this function is a helper\n"                        // 2: a comment
        "function Outer takes nothing returns nothing //! Spell_Cast A001\n"
        "    call TimerStart(t, 1.0, false, function Inner)\n"      // 4: a reference
        "    //! Spell_Cast A002\n"                                 // 5
        "endfunction //! Spell_Cast A003\n"
        "constant function Hit takes unit u, integer i returns integer\n"
        "    //! OnInit\n"                                          // 8
        "endfunction\n"
        "    string s = \"a function xyz here\"\n"                  // 10: opens a function
        "    //! Spell_Effect A000\n"
        "endfunction\n"
        "function Late takes nothing returns nothing\r\n"
        "    //! OnInit\r\n");                                       // 14
    EXPECT_EQ(entries(lists, DirectiveKind::kSpellCast), Strings{"Outer='A002'@5"});
    EXPECT_EQ(entries(lists, DirectiveKind::kSpellEffect), Strings{"xyz='A000'@11"});
    EXPECT_EQ(entries(lists, DirectiveKind::kOnInit), (Strings{"Hit=@8", "Late=@14"}));
}

}  // namespace
