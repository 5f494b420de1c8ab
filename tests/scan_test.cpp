#include "scan/scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    return scanned("function f takes nothing returns nothing\n" + line +
                   "\nendfunction\n")
        .list(kSpellCast);
}

// Number of entries across all eight lists.
std::size_t entryCount(const RegistrationLists& lists) {
    std::size_t count = 0;
    for (int kind = 1; kind <= 8; ++kind) count += lists.list(kind).size();
    return count;
}

}  // namespace

TEST(Directives, KeysMatchExactlyAndCaseSensitively) {
    EXPECT_EQ(classifyDirective("Spell_Cast"), kSpellCast);
    EXPECT_EQ(classifyDirective("Order_Instant"), kOrderInstant);
    EXPECT_EQ(classifyDirective("OnInit"), kOnInit);
    EXPECT_EQ(classifyDirective("spell_cast"), kNotDirective);
    EXPECT_EQ(classifyDirective("ONINIT"), kNotDirective);
    EXPECT_EQ(classifyDirective("Spell_Casts"), kNotDirective);
    EXPECT_EQ(classifyDirective("OnInit\r"), kNotDirective);
    EXPECT_EQ(classifyDirective(""), kNotDirective);
}

TEST(Directives, OnlyFourByteValuesAreQuoted) {
    EXPECT_EQ(normaliseDirectiveValue("A000"), "'A000'");
    EXPECT_EQ(normaliseDirectiveValue("852001"), "852001");
    EXPECT_EQ(normaliseDirectiveValue("'A000'"), "'A000'");
    EXPECT_EQ(normaliseDirectiveValue("A000\r"), "A000\r");
    EXPECT_EQ(normaliseDirectiveValue(""), "");
}

TEST(Directives, AppendKeepsPairsDuplicatesAndNamesOnlyForOnInit) {
    RegistrationLists lists;
    lists.append(kSpellEffect, "f", "'A000'");
    lists.append(kSpellEffect, "f", "'A000'");
    lists.append(kOnInit, "g", "ignored");
    lists.append(kNotDirective, "h", "x");
    lists.append(9, "h", "x");
    EXPECT_EQ(lists.list(kSpellEffect), (Strings{"f", "'A000'", "f", "'A000'"}));
    EXPECT_EQ(lists.list(kOnInit), (Strings{"g"}));
    EXPECT_EQ(entryCount(lists), 5u);
}

TEST(DirectiveForms, SeparatorKeyCaseAndTrailingText) {
    EXPECT_EQ(castsOfBodyLine("    //! Spell_Cast A000"), (Strings{"f", "'A000'"}));
    // Any one byte separates "//!" from the key.
    EXPECT_EQ(castsOfBodyLine("//!xSpell_Cast A000"), (Strings{"f", "'A000'"}));
    // Without a separator the key loses its first letter.
    EXPECT_EQ(castsOfBodyLine("//!Spell_Cast A000"), Strings{});
    EXPECT_EQ(castsOfBodyLine("//! spell_cast A000"), Strings{});
    EXPECT_EQ(castsOfBodyLine("//! Spell_Cast A000 and then more words"),
              (Strings{"f", "'A000'"}));
    // Code in front of the directive does not matter.
    EXPECT_EQ(castsOfBodyLine("call Foo() //! Spell_Cast A000"), (Strings{"f", "'A000'"}));
}

TEST(DirectiveForms, ValueLengthsAndQuoting) {
    EXPECT_EQ(castsOfBodyLine("//! Spell_Cast 852001"), (Strings{"f", "852001"}));
    EXPECT_EQ(castsOfBodyLine("//! Spell_Cast 'A000'"), (Strings{"f", "'A000'"}));
    EXPECT_EQ(castsOfBodyLine("//! Spell_Cast AB"), (Strings{"f", "AB"}));
    // Two spaces after the key: the value is the empty word between them.
    EXPECT_EQ(castsOfBodyLine("//! Spell_Cast  A000"), (Strings{"f", ""}));
    // A lone CR inside the line is an ordinary byte of the value.
    EXPECT_EQ(castsOfBodyLine("//! Spell_Cast A0\r0 x"), (Strings{"f", "'A0\r0'"}));
}

TEST(DirectiveForms, KeyAtLineEndHasEmptyValue) {
    EXPECT_EQ(castsOfBodyLine("\t//! Spell_Cast"), (Strings{"f", ""}));
    EXPECT_EQ(castsOfBodyLine("    //! Spell_Cast "), (Strings{"f", ""}));
    EXPECT_EQ(castsOfBodyLine("\t//! Spell_Cast\r"), (Strings{"f", ""}));
    EXPECT_EQ(scanned("function f\n//! OnInit\nendfunction\n").list(kOnInit), Strings{"f"});
}

TEST(DirectiveForms, MarkerAtLineEndRegistersNothing) {
    EXPECT_EQ(entryCount(scanned("function f\n    //!\r\nendfunction\n")), 0u);
    EXPECT_EQ(entryCount(scanned("function f\n    //! \nendfunction\n")), 0u);
    EXPECT_EQ(entryCount(scanned("function f\n//!")), 0u);
}

TEST(FunctionTracking, CommentsAndReferencesDoNotOpenFunctions) {
    const RegistrationLists lists = scanned(
        "    // this function is a helper\n"
        "//! Spell_Cast A001\n"
        "function Outer takes nothing returns nothing\n"
        "    call TimerStart(t, 1.0, false, function Inner)\n"
        "    //! Spell_Cast A002\n"
        "endfunction\n");
    EXPECT_EQ(lists.list(kSpellCast), (Strings{"Outer", "'A002'"}));
}

TEST(FunctionTracking, WordFunctionOutsideFunctionOpensOne) {
    const RegistrationLists lists = scanned(
        "globals\n"
        "    string s = \"a function xyz here\"\n"
        "endglobals\n"
        "    //! Spell_Effect A000\n"
        "endfunction\n"
        "    //! Spell_Effect B000\n");
    // "function" opens a function named from 9 bytes past it, up to a space;
    // the next "endfunction" closes it, whatever it belongs to.
    EXPECT_EQ(lists.list(kSpellEffect), (Strings{"xyz", "'A000'"}));
}

TEST(FunctionTracking, HeaderNames) {
    EXPECT_EQ(scanned("constant function Rawcode takes nothing returns integer\n"
                      "//! Order_Point 852001\nendfunction\n")
                  .list(kOrderPoint),
              (Strings{"Rawcode", "852001"}));
    EXPECT_EQ(scanned("function Last\r\n//! OnInit\r\nendfunction\r\n").list(kOnInit),
              Strings{"Last"});
    // A header that ends with "function" opens one with an empty name.
    EXPECT_EQ(scanned("function\n//! OnInit\nendfunction\n").list(kOnInit), Strings{""});
    EXPECT_EQ(scanned("x function\r\n//! OnInit\r\n").list(kOnInit), Strings{""});
}

TEST(FunctionTracking, DirectivesOnHeaderEndAndOutsideLinesAreIgnored) {
    const RegistrationLists lists = scanned(
        "//! Spell_Cast A000\n"
        "function f takes nothing returns nothing //! Spell_Cast A001\n"
        "endfunction //! Spell_Cast A002\n"
        "    //! Spell_Cast A003\n");
    EXPECT_EQ(entryCount(lists), 0u);
}

TEST(FunctionTracking, NameSurvivesEndfunctionAndNextHeaderReplacesIt) {
    const RegistrationLists lists = scanned(
        "function a takes nothing returns nothing\n//! OnInit\nendfunction\n"
        "function b takes nothing returns nothing\n//! OnInit\n//! OnInit\nendfunction\n");
    EXPECT_EQ(lists.list(kOnInit), (Strings{"a", "b", "b"}));
}

TEST(LineEnds, WorkingCopyIsInputPlusFinalLineFeed) {
    RegistrationLists lists;
    EXPECT_EQ(scanScript("", lists), "");
    EXPECT_EQ(scanScript("\n", lists), "\n");
    EXPECT_EQ(scanScript("a\nb", lists), "a\nb\n");
    EXPECT_EQ(scanScript("a\r\nb\r", lists), "a\r\nb\r\n");
    const std::string script =
        "function f takes nothing returns nothing // header comment\r\n"
        "\t//! Spell_Cast A000\r\n"
        "  // a comment\r\r\n"
        "\n\n"
        "endfunction\r\n";
    EXPECT_EQ(scanScript(script, lists), script);
    const char bytes[] = "x\0y\r\xff\nfunction \0\n";
    const std::string binary(bytes, sizeof bytes - 1);
    EXPECT_EQ(scanScript(binary, lists), binary);
}

TEST(LineEnds, LastLineWithoutLineFeedIsScanned) {
    EXPECT_EQ(scanned("function f\n//! Spell_Cast A000").list(kSpellCast),
              (Strings{"f", "'A000'"}));
    EXPECT_EQ(scanned("function f\r\n//! Spell_Cast A000\r").list(kSpellCast),
              (Strings{"f", "'A000'"}));
}

TEST(LineEnds, OnlyTheCrBeforeTheLineFeedIsLineEnd) {
    // The CR before the last one is part of the line, so of the value.
    EXPECT_EQ(castsOfBodyLine("//! Spell_Cast A00\r\r"), (Strings{"f", "'A00\r'"}));
}

TEST(Scan, AllEightKeysWithDuplicatesAndCrLf) {
    const std::string script =
        "globals\r\n"
        "    integer count = 0 // function counter\r\n"
        "endglobals\r\n"
        "//! Spell_Cast Z999\r\n"
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
        "    call TimerStart(t, 0.5, true, function Tick)\r\n"
        "\t//! Order_Object 851971\r\n"
        "endfunction\r\n"
        "constant function Orders takes nothing returns nothing\r\n"
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
