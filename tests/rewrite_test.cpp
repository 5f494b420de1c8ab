// The script library, the generated Add_Commands function and the splices.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <algorithm>
#include <sstream>
#include "rewrite/function_block.h"
#include "rewrite/script_library.h"
#include "rewrite/splice.h"
#include "tests/test_support.h"

namespace {

const std::string kOpenMessage =
    "Could not open Func.j for reading.Make sure you have placed the Func.j file in the same folder as ostrel.exe\n";
const std::string kGlobals =
    "    //Velloran globals:\n    gamecache OE_cache\n    trigger array OE_CodeAsTrigger\n"
    "    integer OE_count\n    //End of Velloran globals\n";
const std::string kMain = "function main takes nothing returns nothing";

// What reading the library from folder gave: the result, the text, the messages.
struct Library {
    bool ok;
    std::string text = "untouched";
    std::string err;
};
Library readLibraryIn(const TempFolder& folder) {
    Library library;
    std::ostringstream err;
    library.ok = readScriptLibrary(folder.path, library.text, err);
    library.err = err.str();
    return library;
}
Library readLibraryOf(const std::string& bytes) {
    TempFolder folder;
    writeFile(folder.file("func.j"), bytes);
    return readLibraryIn(folder);
}

TEST(FunctionBlock, SpellListsThenInitCallsThenOrderListsEachInCollectedOrder) {
    RegistrationLists lists;
    EXPECT_EQ(buildFunctionBlock("lib\n", lists),
              "lib\nfunction Add_Commands takes nothing returns nothing\n    call Initialize_Commands()\nendfunction\n");
    // Collected out of output order on purpose.
    lists.append(kOrderInstant, "Hold", "851993");
    lists.append(kOnInit, "A", "");
    lists.append(kSpellFinish, "Fin", "'A003'");
    lists.append(kOrderPoint, "Move", "851986");
    lists.append(kSpellCast, "Second", "'A000'");
    lists.append(kOrderObject, "Attack", "851983");
    lists.append(kSpellEndcast, "End", "'A003'");
    lists.append(kOnInit, "B", "ignored");
    lists.append(kSpellEffect, "Fx", "12");
    lists.append(kSpellCast, "First", "'A001'");
    EXPECT_EQ(buildFunctionBlock("", lists),
              "function Add_Commands takes nothing returns nothing\n"
              "    call Initialize_Commands()\n"
              "    call AddToCache(\"cast\",'A000',function Second)\n"
              "    call AddToCache(\"cast\",'A001',function First)\n"
              "    call AddToCache(\"effect\",12,function Fx)\n"
              "    call AddToCache(\"endcast\",'A003',function End)\n"
              "    call AddToCache(\"finish\",'A003',function Fin)\n"
              "call A()\n"
              "call B()\n"
              "    call AddToCache(\"targetorder\",851983,function Attack)\n"
              "    call AddToCache(\"pointorder\",851986,function Move)\n"
              "    call AddToCache(\"instantorder\",851993,function Hold)\n"
              "endfunction\n");
}

TEST(ScriptLibrary, OnlyACarriageReturnBeforeALineFeedIsDropped) {
    EXPECT_EQ(readLibraryOf("a\r\nb\r\n").text, "a\nb\n");
    EXPECT_EQ(readLibraryOf("a\nlast").text, "a\nlast\n");
    EXPECT_EQ(readLibraryOf("a\rb\r\r\nend\r").text, "a\rb\r\nend\r\n");
    EXPECT_EQ(readLibraryOf(std::string("a\x1a" "b\n\0c\n", 7)).text, std::string("a\x1a" "b\n\0c\n", 7));
    Library empty = readLibraryOf("");
    EXPECT_TRUE(empty.ok);
    EXPECT_EQ(empty.text + empty.err, "");
    // Pairs split across any read boundary are dropped all the same.
    std::string big(1u << 19, 'x');
    for (std::size_t edge = 1u << 12; edge <= (1u << 18); edge <<= 1) big.replace(edge - 1, 2, "\r\n");
    big.back() = '\n';
    std::string expected = big;
    expected.erase(std::remove(expected.begin(), expected.end(), '\r'), expected.end());
    EXPECT_EQ(readLibraryOf(big).text, expected);
}

TEST(ScriptLibrary, FailuresSayOneLineAndLeaveTheTextAlone) {
    TempFolder missing;
    writeFile(missing.file("func.j.bak"), "x\n");
    Library none = readLibraryIn(missing);
    EXPECT_FALSE(none.ok);
    EXPECT_EQ(none.err, kOpenMessage);
    EXPECT_EQ(none.text, "untouched");

    TempFolder unreadable;
    ASSERT_EQ(mkdir(unreadable.file("func.j").c_str(), 0755), 0);  // opens, but cannot be read
    Library broken = readLibraryIn(unreadable);
    EXPECT_FALSE(broken.ok);
    EXPECT_EQ(broken.text, "untouched");
    EXPECT_EQ(broken.err.rfind("Could not read Func.j to the end: ", 0), 0u);
    EXPECT_TRUE(isOneLine(broken.err));
}

TEST(ScriptLibrary, AnotherLetterCaseIsFoundOnlyWhenItIsTheOnlyOne) {
    TempFolder upper;
    writeFile(upper.file("Func.j"), "upper\r\n");
    EXPECT_EQ(readLibraryIn(upper).text, "upper\n");

    TempFolder both;
    writeFile(both.file("FUNC.J"), "other\n");
    writeFile(both.file("func.j"), "exact\n");
    EXPECT_EQ(readLibraryIn(both).text, "exact\n");

    if (fileExists(upper.file("func.j"))) GTEST_SKIP() << "this file system ignores letter case";
    TempFolder ambiguous;
    writeFile(ambiguous.file("Func.j"), "one\n");
    writeFile(ambiguous.file("FUNC.J"), "two\n");
    EXPECT_EQ(readLibraryIn(ambiguous).err, kOpenMessage);
}

TEST(Splice, GlobalsGoInFrontOfTheFirstEndglobals) {
    ScriptText indented = "globals\n    integer x\n  endglobals\n";
    EXPECT_EQ(spliceGlobals(indented), 24u);
    EXPECT_EQ(indented, "globals\n    integer x\n  " + kGlobals + "endglobals\n");
    EXPECT_TRUE(alreadyProcessed(indented));

    ScriptText none = "globals\nendglobal\n";
    EXPECT_EQ(spliceGlobals(none), ScriptText::npos);
    EXPECT_EQ(none, "globals\nendglobal\n");
    // The marker after the first endglobals is not the tool's.
    EXPECT_FALSE(alreadyProcessed("globals\nendglobals\n" + kGlobals));
}

TEST(Splice, TheBlockAndCallEqualTwoPlainInsertionsOrNothingChanges) {
    const std::vector<ScriptText> blocks = {"", "function L takes nothing returns nothing\nendfunction\n",
                                            std::string(70000, 'b') + "endfunction\n"};
    const std::vector<ScriptText> scripts = {
        kMain + "endfunction",
        "// endfunction\nendglobals\nfunction f takes nothing returns nothing\nendfunction\n" + kMain +
            "\n    call f()\nendfunction\nfunction config takes nothing returns nothing\nendfunction\n",
        "a\n" + kMain + std::string(100000, ' ') + "endfunction\nendfunction\n" + std::string(5000, 'z'),
    };
    for (const ScriptText& script : scripts) {
        for (const ScriptText& block : blocks) {
            ScriptText expected = script;
            const std::size_t m = expected.find(kMain);
            expected.insert(m, block);
            expected.insert(expected.find("endfunction", m + block.size()), "    call Add_Commands()\n");
            ScriptText working = script;
            ASSERT_EQ(spliceFunctionBlock(working, 0, block), SpliceResult::kSpliced);
            EXPECT_EQ(working, expected) << "script size " << script.size() << ", block size " << block.size();
        }
    }
    // A main header before the globals, or an endfunction only before main, does not count.
    const std::pair<ScriptText, SpliceResult> missing[] = {
        {"// " + kMain + "\nendglobals\nendfunction\n", SpliceResult::kNoMainHeader},
        {"endglobals\nendfunction\n" + kMain + "\n", SpliceResult::kNoMainEnd},
    };
    for (const auto& [script, result] : missing) {
        ScriptText working = script;
        EXPECT_EQ(spliceFunctionBlock(working, working.find("endglobals"), "B\n"), result);
        EXPECT_EQ(working, script);
    }
}

TEST(ShippedLibrary, DeclaresAddToCacheAsEveryGeneratedLineCallsIt) {
    const std::string library = readFile(std::string(OSTREL_SOURCE_DIR) + "/func.j");
    EXPECT_NE(library.find("function Initialize_Commands takes nothing returns nothing\n"), std::string::npos);
    EXPECT_NE(library.find("function AddToCache takes string label, integer value, code func returns nothing\n"),
              std::string::npos);
    // It lands between the globals and main, so it may not hold what is searched for after it.
    for (const std::string& anchor : {std::string("\nglobals"), std::string("endglobals"), kMain})
        EXPECT_EQ(library.find(anchor), std::string::npos) << anchor;

    RegistrationLists lists;
    for (int kind = kSpellCast; kind <= kOrderInstant; ++kind) lists.append(kind, "F" + std::to_string(kind), "'A000'");
    std::istringstream lines(buildFunctionBlock("", lists));
    int calls = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.find("AddToCache") == std::string::npos) continue;
        ++calls;
        // A string label, an integer value and a function reference, in one balanced call.
        const std::string open = "    call AddToCache(\"";
        ASSERT_EQ(line.rfind(open, 0), 0u) << line;
        std::istringstream args(line.substr(open.size() - 1, line.size() - open.size()));
        std::vector<std::string> parts;
        for (std::string part; std::getline(args, part, ',');) parts.push_back(part);
        ASSERT_EQ(parts.size(), 3u) << line;
        EXPECT_TRUE(parts[0].size() > 2 && parts[0].back() == '"') << line;
        EXPECT_EQ(parts[1], "'A000'");
        EXPECT_EQ(parts[2].rfind("function F", 0), 0u) << line;
        EXPECT_EQ(line.back(), ')');
        EXPECT_EQ(std::count(line.begin(), line.end(), '('), std::count(line.begin(), line.end(), ')')) << line;
    }
    EXPECT_EQ(calls, 7);
}

}  // namespace
