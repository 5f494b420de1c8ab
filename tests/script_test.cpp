// The map script's scan, the script library, the generated Add_Commands
// function and the splices.
#include <gtest/gtest.h>
#include <algorithm>
#include <filesystem>
#include "rewrite/function_block.h"
#include "rewrite/script_library.h"
#include "run/script_language.h"
#include "scan/scanner.h"
#include "tests/test_support.h"

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
    ScriptScan scan;
    return scanScript(script, scan), scan.registrations;
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
        {"//!  Spell_Cast A000", {}},        // two separators: an empty key
        {"\t//! Spell_Cast\tA015\t// fireball", {"f='A015'@2"}},  // tabs end the key and the value
        {"//! Spell_Cast A0\r0 x", {"f='A0\r0'@2"}},
        {"\t//! Spell_Cast", {"f=@2"}},  // a key that ends the line has no value
        {"    //! Spell_Cast \r", {"f=@2"}},
        {"//! Spell_Cast A00\r\r", {"f='A00\r'@2"}},  // only the CR before the line end is cut
        {"    //!\r", {}},
        {"//!", {}},
    };
    for (const auto& [line, expected] : cases) EXPECT_EQ(castsOf(line), expected) << line;
}

// What reading the library from folders gave.
struct Library {
    bool ok;
    std::string text = "untouched", path, err;
};
Library readLibrary(const std::vector<std::string>& folders) {
    Library library;
    library.ok = readScriptLibrary(folders, "func.j", &library.text, &library.path, &library.err);
    return library;
}
Library readLibraryOf(const std::string& bytes) {
    TempFolder folder;
    writeFile(folder.file("func.j"), bytes);
    return readLibrary({folder.path});
}

Registration at(const std::string& function, const std::string& value) {
    Registration r;
    r.function = function;
    r.value = value;
    return r;
}

TEST(FunctionBlock, VocabularyOrderThenCollectedOrder) {
    RegistrationLists lists;
    const BlockSyntax& syntax = kLanguages[0].block;
    EXPECT_EQ(buildFunctionBlock("lib\n", lists, syntax), "lib\n" + kAddCommandsStart + "endfunction\n");
    // Collected in reverse of the output order, two of a kind in their order.
    for (auto kind = kDirectives.rbegin(); kind != kDirectives.rend(); ++kind)
        lists.append(kind->kind, at(std::string("F") + kind->key, "'A000'"));
    lists.append(DirectiveKind::kSpellCast, at("Second", "12"));
    lists.append(DirectiveKind::kOnInit, at("Boot", "ignored"));
    EXPECT_EQ(buildFunctionBlock("", lists, syntax),
              kAddCommandsStart +
                  "    call AddToCache(\"cast\",'A000',function FSpell_Cast)\n"
                  "    call AddToCache(\"cast\",12,function Second)\n"
                  "    call AddToCache(\"effect\",'A000',function FSpell_Effect)\n"
                  "    call AddToCache(\"endcast\",'A000',function FSpell_Endcast)\n"
                  "    call AddToCache(\"finish\",'A000',function FSpell_Finish)\n"
                  "call FOnInit()\ncall Boot()\n"
                  "    call AddToCache(\"targetorder\",'A000',function FOrder_Object)\n"
                  "    call AddToCache(\"pointorder\",'A000',function FOrder_Point)\n"
                  "    call AddToCache(\"instantorder\",'A000',function FOrder_Instant)\n"
                  "endfunction\n");
}

TEST(ScriptLibrary, OnlyACarriageReturnBeforeALineFeedIsDropped) {
    EXPECT_EQ(readLibraryOf("a\r\nb\r\n").text, "a\nb\n");
    EXPECT_EQ(readLibraryOf("a\nlast").text, "a\nlast\n");
    EXPECT_EQ(readLibraryOf("a\rb\r\r\nend\r").text, "a\rb\r\nend\r\n");
    EXPECT_EQ(readLibraryOf(std::string("a\x1a" "b\n\0c\n", 7)).text, std::string("a\x1a" "b\n\0c\n", 7));
    EXPECT_EQ(readLibraryOf("").text, "");
    // Pairs split across any read boundary are dropped all the same.
    std::string big(1u << 19, 'x');
    for (std::size_t edge = 1u << 12; edge <= (1u << 18); edge <<= 1) big.replace(edge - 1, 2, "\r\n");
    big.back() = '\n';
    std::string expected = big;
    expected.erase(std::remove(expected.begin(), expected.end(), '\r'), expected.end());
    EXPECT_EQ(readLibraryOf(big).text, expected);
}

TEST(ScriptLibrary, TheFirstFolderThatHoldsItWinsExactNameFirst) {
    TempFolder none, upper, both, ambiguous, folder;
    writeFile(none.file("func.j.bak"), "x\n");
    writeFile(upper.file("Func.j"), "upper\r\n");
    writeFile(both.file("FUNC.J"), "other\n");
    writeFile(both.file("func.j"), "exact\n");
    EXPECT_EQ(readLibrary({none.path, upper.path, both.path}).text, "upper\n");
    EXPECT_EQ(readLibrary({both.path, upper.path}).path, both.file("func.j"));
    const Library missing = readLibrary({none.path, folder.file("absent")});
    EXPECT_FALSE(missing.ok);
    EXPECT_TRUE(matches(missing.err + "\n", kLibraryMessage));
    EXPECT_NE(missing.err.find("(looked for in " + none.path + ", " + folder.file("absent") + ")"), std::string::npos);
    EXPECT_EQ(missing.text, "untouched");
    // A folder in the library's place is refused, not read.
    std::filesystem::create_directory(std::filesystem::u8path(folder.file("func.j")));
    EXPECT_NE(readLibrary({folder.path, upper.path}).err.find("not a regular file"), std::string::npos);
    if (std::filesystem::exists(std::filesystem::u8path(upper.file("func.j")))) GTEST_SKIP() << "this file system ignores letter case";
    writeFile(ambiguous.file("Func.j"), "one\n");
    writeFile(ambiguous.file("FUNC.J"), "two\n");
    EXPECT_FALSE(readLibrary({ambiguous.path}).ok);
}

}  // namespace
