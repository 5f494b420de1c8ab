// The forms of a directive line, and where and how the script library is read.
#include <gtest/gtest.h>
#include <algorithm>
#include <filesystem>
#include "rewrite/script_library.h"
#include "run/script_language.h"
#include "scan/scanner.h"
#include "tests/test_support.h"

namespace {

TEST(DirectiveForms, SeparatorKeyAndValueAsTheLanguageTakesThem) {
    // A directive line of either language in function F, on line 2, and the value the generated call writes: "" where
    // the run refuses it (no value, or not one value), "-" where nothing registers.
    const struct {
        bool lua;
        std::string line, written;
    } cases[] = {
        {false, "    //! Spell_Cast A000 and then more words", "'A000'"}, {false, "call Foo() //!xSpell_Cast A000", "'A000'"},
        {false, "//!Spell_Cast A000", "-"}, {false, "//! Spell_Cast  A000", ""},  // no separator; two spaces: an empty value
        {false, "//! Spell_Cast A0\r0 x", "A0"}, {false, "//! Spell_Cast A00\r\r", "A00"},  // a carriage return ends a line
        {false, "\t//! Spell_Cast", ""}, {false, "    //! Spell_Cast \r", ""}, {false, "    //!\r", "-"}, {false, "//!", "-"},
        {false, "//! Spell_Cast 852119", "852119"}, {false, "//! Spell_Cast -12", "-12"}, {false, "//! Spell_Cast 0x1F0", "0x1F0"},
        {false, "//! Spell_Cast $FF", "$FF"}, {false, "//! Spell_Cast 07770", "07770"}, {false, "//! Spell_Cast 'A'", "'A'"},
        {false, "//! Spell_Cast 'A000'", "'A000'"}, {false, "//! Spell_Cast SPELL_ID", "SPELL_ID"},
        {false, "//! Spell_Cast 0x10", "'0x10'"}, {false, "//! Spell_Cast 07790", ""},  // four characters: a code
        {false, "//! Spell_Cast \"A000\"", ""}, {false, "//! Spell_Cast false", ""},
        {false, "//! Spell_Cast 851986,", ""}, {false, "//! Spell_Cast 12)", ""}, {false, "//! Spell_Cast A0;", ""},
        {false, "//! Spell_Cast A015//fire", ""}, {false, "//! Spell_Cast 'A0", ""}, {false, "//! Spell_Cast A'00", ""},
        {false, "//! Spell_Cast -", ""},
        {true, "--! Spell_Cast 852119", "852119"}, {true, "--! Spell_Cast -1.5e3", "-1.5e3"}, {true, "--! Spell_Cast 0x1p4", "0x1p4"},
        {true, "--! Spell_Cast Ids.Fire", "Ids.Fire"}, {true, "--! Spell_Cast A000", "FourCC(\"A000\")"},
        {true, "--! Spell_Cast 'A000'", "FourCC(\"A000\")"}, {true, "--! Spell_Cast \"A000\"", "FourCC(\"A000\")"},
        {true, "--! Spell_Cast nil", ""}, {true, "--! Spell_Cast 1)", ""}, {true, "--! Spell_Cast 851986,", ""},
        {true, "--! Spell_Cast A0--x", ""}, {true, "--! Spell_Cast A\"00", ""}, {true, "--! Spell_Cast Ids..Fire", ""},
        {true, "--! Spell_Cast 1e", ""},
    };
    for (const auto& c : cases) {
        const ScriptLanguage& language = kLanguages[c.lua];
        ScriptScan scan;
        language.scan(c.lua ? "function F()\n" + c.line + "\nend\n"
                            : "function F takes nothing returns nothing\n" + c.line + "\nendfunction\n", scan, false);
        const std::vector<Registration>& casts = scan.registrations.list(DirectiveKind::kSpellCast);
        const bool refused = !registrationProblem(scan.registrations, language.rules).empty();
        EXPECT_EQ(casts.empty() ? "-" : refused ? "" : casts[0].value, c.written) << c.line;
        EXPECT_TRUE(casts.empty() || (casts[0].function == "F" && casts[0].line == 2)) << c.line;
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
    writeFile(upper.file("Func.j"), "upper\r\n");
    writeFile(both.file("FUNC.J"), "other\n");
    writeFile(both.file("func.j"), "exact\n");
    EXPECT_EQ(readLibrary({none.path, upper.path, both.path}).text, "upper\n");
    EXPECT_EQ(readLibrary({both.path, upper.path}).path, both.file("func.j"));
    // A folder in the library's place is refused, not read; two names that differ only in letter case are none.
    std::filesystem::create_directory(std::filesystem::u8path(folder.file("func.j")));
    EXPECT_NE(readLibrary({folder.path, upper.path}).err.find("not a regular file"), std::string::npos);
    if (std::filesystem::exists(std::filesystem::u8path(upper.file("func.j")))) GTEST_SKIP() << "this file system ignores letter case";
    writeFile(ambiguous.file("Func.j"), "one\n");
    writeFile(ambiguous.file("FUNC.J"), "two\n");
    EXPECT_FALSE(readLibrary({ambiguous.path}).ok);
}

}  // namespace
