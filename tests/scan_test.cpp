// The directive vocabulary and the one-pass scan of the map script.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "scan/scanner.h"

namespace {

using Strings = std::vector<std::string>;

// Scans script and returns the lists it filled.
RegistrationLists scanned(const std::string& script) {
    RegistrationLists lists;
    scanScript(script, lists);
    return lists;
}

// The cast list after scanning one body line inside function "f".
Strings castsOfBodyLine(const std::string& line) {
    return scanned("function f takes nothing returns nothing\n" + line + "\nendfunction\n").list(kSpellCast);
}

// Number of entries across all eight lists.
std::size_t entryCount(const RegistrationLists& lists) {
    std::size_t count = 0;
    for (int kind = 1; kind <= 8; ++kind) count += lists.list(kind).size();
    return count;
}

TEST(Directives, KeysMatchExactlyAndOnlyFourByteValuesAreQuoted) {
    EXPECT_EQ(classifyDirective("Order_Instant"), kOrderInstant);
    for (const char* key : {"spell_cast", "Spell_Casts", "OnInit\r", ""}) EXPECT_EQ(classifyDirective(key), 0) << key;
    EXPECT_EQ(normaliseDirectiveValue("A000"), "'A000'");
    for (const char* value : {"852001", "'A000'", "A000\r", ""}) EXPECT_EQ(normaliseDirectiveValue(value), value);

    RegistrationLists lists;
    lists.append(kSpellEffect, "f", "'A000'");
    lists.append(kSpellEffect, "f", "'A000'");
    lists.append(kOnInit, "g", "ignored");
    lists.append(kNotDirective, "h", "x");
    EXPECT_EQ(lists.list(kSpellEffect), (Strings{"f", "'A000'", "f", "'A000'"}));
    EXPECT_EQ(lists.list(kOnInit), Strings{"g"});
    EXPECT_EQ(entryCount(lists), 5u);
}

TEST(DirectiveForms, SeparatorKeyAndValue) {
    EXPECT_EQ(castsOfBodyLine("    //! Spell_Cast A000 and then more words"), (Strings{"f", "'A000'"}));
    EXPECT_EQ(castsOfBodyLine("call Foo() //!xSpell_Cast A000"), (Strings{"f", "'A000'"}));
    // Without a separator the key loses its first letter.
    EXPECT_EQ(castsOfBodyLine("//!Spell_Cast A000"), Strings{});
    EXPECT_EQ(castsOfBodyLine("//! spell_cast A000"), Strings{});
    EXPECT_EQ(castsOfBodyLine("//! Spell_Cast 852001"), (Strings{"f", "852001"}));
    EXPECT_EQ(castsOfBodyLine("//! Spell_Cast 'A000'"), (Strings{"f", "'A000'"}));
    // Two spaces after the key: the value is the empty word between them.
    EXPECT_EQ(castsOfBodyLine("//! Spell_Cast  A000"), (Strings{"f", ""}));
    // A lone CR inside the line is an ordinary byte.
    EXPECT_EQ(castsOfBodyLine("//! Spell_Cast A0\r0 x"), (Strings{"f", "'A0\r0'"}));
}

TEST(DirectiveForms, KeyOrMarkerAtTheLineEnd) {
    // A key that ends the line has an empty value.
    EXPECT_EQ(castsOfBodyLine("\t//! Spell_Cast"), (Strings{"f", ""}));
    EXPECT_EQ(castsOfBodyLine("    //! Spell_Cast "), (Strings{"f", ""}));
    EXPECT_EQ(castsOfBodyLine("\t//! Spell_Cast\r"), (Strings{"f", ""}));
    // A marker that ends the line has an empty key and registers nothing.
    for (const char* script : {"function f\n    //!\r\nendfunction\n", "function f\n    //! \n", "function f\n//!"})
        EXPECT_EQ(entryCount(scanned(script)), 0u) << script;
}

TEST(FunctionTracking, OnlyHeadersOutsideFunctionsOpenThem) {
    const RegistrationLists lists = scanned(
        "//! Spell_Cast A000\n"                                          // before any header
        "    // this function is a helper\n"                             // a comment
        "function Outer takes nothing returns nothing //! Spell_Cast A001\n"
        "    call TimerStart(t, 1.0, false, function Inner)\n"           // a reference
        "    //! Spell_Cast A002\n"
        "endfunction //! Spell_Cast A003\n"
        "    //! Spell_Cast A004\n"                                      // after the end
        "constant function Rawcode takes nothing returns integer\n"
        "    //! OnInit\n"
        "endfunction\n");
    EXPECT_EQ(lists.list(kSpellCast), (Strings{"Outer", "'A002'"}));
    EXPECT_EQ(lists.list(kOnInit), Strings{"Rawcode"});
}

TEST(FunctionTracking, TheWordFunctionAnywhereOutsideAFunctionOpensOne) {
    const RegistrationLists lists = scanned(
        "    string s = \"a function xyz here\"\n"
        "    //! Spell_Effect A000\n"
        "endfunction\n"
        "function\n"
        "    //! OnInit\n"
        "endfunction\n"
        "function Last\r\n"
        "    //! OnInit\r\n");
    // The name runs from 9 bytes past "function" to a space or the line end.
    EXPECT_EQ(lists.list(kSpellEffect), (Strings{"xyz", "'A000'"}));
    EXPECT_EQ(lists.list(kOnInit), (Strings{"", "Last"}));
}

TEST(LineEnds, TheWorkingCopyIsTheInputPlusAFinalLineFeed) {
    RegistrationLists lists;
    EXPECT_EQ(scanScript("", lists), "");
    EXPECT_EQ(scanScript("\n", lists), "\n");
    EXPECT_EQ(scanScript("a\nb", lists), "a\nb\n");
    EXPECT_EQ(scanScript("a\r\nb\r", lists), "a\r\nb\r\n");
    const char bytes[] = "function f // x\r\n\t//! Spell_Cast A000\r\n  // c\r\r\n\n\nx\0y\r\xff\nendfunction\r\n";
    const std::string script(bytes, sizeof bytes - 1);
    EXPECT_EQ(scanScript(script, lists), script);
    // Only the CR before the line feed belongs to the line end.
    EXPECT_EQ(castsOfBodyLine("//! Spell_Cast A00\r\r"), (Strings{"f", "'A00\r'"}));
    EXPECT_EQ(scanned("function f\r\n//! Spell_Cast A000\r").list(kSpellCast), (Strings{"f", "'A000'"}));
}

TEST(Scan, AllEightKeysWithDuplicatesAndCrLf) {
    const std::string script =
        "globals\r\n"
        "    integer count = 0 // function counter\r\n"
        "endglobals\r\n"
        "function Fireball takes nothing returns nothing\r\n"
        "    //! Spell_Cast A000\r\n"
        "    //! Spell_Effect A000 effect once\r\n"
        "    //! Spell_Cast A000\r\n"
        "    // Spell_Finish A009 is not a directive\r\n"
        "endfunction\r\n"
        "function Frost takes nothing returns nothing\r\n"
        "\t//! Spell_Endcast A001\r\n"
        "\t//! Spell_Finish 'A002'\r\n"
        "\t//! OnInit\r\n"
        "\t//! Order_Object 851971\r\n"
        "endfunction\r\n"
        "function Orders takes nothing returns nothing\r\n"
        "    //! Order_Point 852001\r\n"
        "    //! Order_Instant stop\r\n"
        "    //! OnInit extra\r\n"
        "    //! Order_Point 852001\r\n"
        "endfunction\r\n"
        "function main takes nothing returns nothing\r\n"
        "    //! Order_Instant\r\n"
        "endfunction";
    RegistrationLists lists;
    EXPECT_EQ(scanScript(script, lists), script + "\n");
    EXPECT_EQ(lists.list(kSpellCast), (Strings{"Fireball", "'A000'", "Fireball", "'A000'"}));
    EXPECT_EQ(lists.list(kSpellEffect), (Strings{"Fireball", "'A000'"}));
    EXPECT_EQ(lists.list(kSpellEndcast), (Strings{"Frost", "'A001'"}));
    EXPECT_EQ(lists.list(kSpellFinish), (Strings{"Frost", "'A002'"}));
    EXPECT_EQ(lists.list(kOnInit), (Strings{"Frost", "Orders"}));
    EXPECT_EQ(lists.list(kOrderObject), (Strings{"Frost", "851971"}));
    EXPECT_EQ(lists.list(kOrderPoint), (Strings{"Orders", "852001", "Orders", "852001"}));
    EXPECT_EQ(lists.list(kOrderInstant), (Strings{"Orders", "'stop'", "main", ""}));
}

}  // namespace
