// The forms of a directive line, and where and how the script library is read.
#include <gtest/gtest.h>
#include <algorithm>
#include <filesystem>
#include "rewrite/script_library.h"
#include "run/script_language.h"
#include "scan/scanner.h"
#include "tests/test_support.h"

namespace {

using Strings = std::vector<std::string>;

TEST(DirectiveForms, SeparatorKeyAndValue) {
    const std::pair<const char*, Strings> cases[] = {
        {"    //! Spell_Cast A000 and then more words", {"f='A000'@2"}},
        {"call Foo() //!xSpell_Cast A000", {"f='A000'@2"}},
        {"//!Spell_Cast A000", {}},  // without a separator the key loses its first letter
        {"//! Spell_Cast 'A000'", {"f='A000'@2"}},  // only four-byte values are quoted
        {"//! Spell_Cast  A000", {"f=@2"}},  // two spaces: the empty word between them
        {"//! Spell_Cast A0\r0 x", {"f=A0@2"}},  // a carriage return ends the line
        {"\t//! Spell_Cast", {"f=@2"}},  // a key that ends the line has no value
        {"    //! Spell_Cast \r", {"f=@2"}},
        {"//! Spell_Cast A00\r\r", {"f=A00@2"}},
        {"    //!\r", {}},
        {"//!", {}},
    };
    // The casts registered by the line as the body of function f (on line 2), each as "function=value@line".
    for (const auto& [line, expected] : cases) {
        ScriptScan scan;
        scanScript("function f takes nothing returns nothing\n" + std::string(line) + "\nendfunction\n", scan);
        Strings casts;
        for (const Registration& r : scan.registrations.list(DirectiveKind::kSpellCast))
            casts.push_back(r.function + "=" + r.value + "@" + std::to_string(r.line));
        EXPECT_EQ(casts, expected) << line;
    }
}

TEST(DirectiveForms, AValueIsOneValueTheLanguageTakes) {
    // Each value as the generated call writes it, or "" where the run refuses it.
    const struct {
        bool lua;
        std::string value, written;
    } cases[] = {
        {false, "852119", "852119"}, {false, "-12", "-12"}, {false, "0x1F0", "0x1F0"}, {false, "$FF", "$FF"},
        {false, "07770", "07770"}, {false, "'A'", "'A'"}, {false, "'A000'", "'A000'"}, {false, "SPELL_ID", "SPELL_ID"},
        {false, "0x10", "'0x10'"},  // four characters: a character code
        {false, "07790", ""}, {false, "\"A000\"", ""}, {false, "false", ""}, {false, "851986,", ""}, {false, "12)", ""},
        {false, "A0;", ""}, {false, "A015//fire", ""}, {false, "'A0", ""}, {false, "A'00", ""}, {false, "-", ""},
        {true, "852119", "852119"}, {true, "-1.5e3", "-1.5e3"}, {true, "0x1p4", "0x1p4"}, {true, "Ids.Fire", "Ids.Fire"},
        {true, "A000", "FourCC(\"A000\")"}, {true, "'A000'", "FourCC(\"A000\")"}, {true, "\"A000\"", "FourCC(\"A000\")"},
        {true, "nil", ""}, {true, "1)", ""}, {true, "851986,", ""}, {true, "A0--x", ""}, {true, "A\"00", ""},
        {true, "Ids..Fire", ""}, {true, "1e", ""},
    };
    for (const auto& c : cases) {
        const ScriptLanguage& language = kLanguages[c.lua];
        ScriptScan scan;
        language.scan(c.lua ? "function F()\n--! Spell_Cast " + c.value + "\nend\n"
                            : "function F takes nothing returns nothing\n//! Spell_Cast " + c.value + "\nendfunction\n",
                      scan, false);
        const std::string problem = registrationProblem(scan.registrations, language.rules);
        EXPECT_EQ(problem.empty() ? scan.registrations.list(DirectiveKind::kSpellCast).at(0).value : "", c.written) << c.value;
        EXPECT_EQ(problem.find("which is not one value") != std::string::npos, c.written.empty()) << problem;
    }
}

// What reading the library from folders gave.
struct Library {
    bool ok;
    std::string text = "untouched", path, err;
};
Library readLibrary(const std::vector<std::string>& folders) {
    Library library;
    return library.ok = readScriptLibrary(folders, "func.j", &library.text, &library.path, &library.err), library;
}
Library readLibraryOf(const std::string& bytes) {
    TempFolder folder;
    writeFile(folder.file("func.j"), bytes);
    return readLibrary({folder.path});
}

TEST(ScriptLibrary, OnlyACarriageReturnBeforeALineFeedIsDroppedAndAByteOrderMarkAtTheStart) {
    EXPECT_EQ(readLibraryOf("a\rb\r\r\nend\r").text, "a\rb\r\nend\r\n");
    EXPECT_EQ(readLibraryOf("\xEF\xBB\xBF" "a\xEF\xBB\xBF\r\n").text, "a\xEF\xBB\xBF\n");
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
