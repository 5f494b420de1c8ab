#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "rewrite/function_block.h"
#include "rewrite/script_library.h"
#include "rewrite/splice.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;

namespace {

const std::string kOpenMessage =
    "Could not open Func.j for reading.Make sure you have placed the Func.j file in the same folder as ostrel.exe\n";
const std::string kGlobalsBlock =
    "    //Velloran globals:\n    gamecache OE_cache\n    trigger array OE_CodeAsTrigger\n"
    "    integer OE_count\n    //End of Velloran globals\n";
const std::string kMainHeader = "function main takes nothing returns nothing";

struct LibraryResult {
    bool ok;
    std::string text;
    std::string err;
};

LibraryResult readLibraryFrom(const TempFolder& folder) {
    LibraryResult r;
    r.text = "untouched";
    std::ostringstream err;
    r.ok = readScriptLibrary(folder.path, r.text, err);
    r.err = err.str();
    return r;
}

LibraryResult readLibraryBytes(const std::string& bytes) {
    TempFolder folder;
    writeFile(folder.file("func.j"), bytes);
    return readLibraryFrom(folder);
}

// True when the temp folder's file system tells "func.j" and "Func.j" apart.
bool caseSensitiveTempFolder() {
    TempFolder probe;
    writeFile(probe.file("Func.j"), "x");
    return !fs::exists(fs::path(probe.path) / "func.j");
}

}  // namespace

// ---- The function block -------------------------------------------------

TEST(FunctionBlock, EmptyListsGiveLibraryAndThreeLines) {
    RegistrationLists lists;
    EXPECT_EQ(buildFunctionBlock("lib line\n", lists),
              "lib line\n"
              "function Add_Commands takes nothing returns nothing\n"
              "    call Initialize_Commands()\n"
              "endfunction\n");
    EXPECT_EQ(buildFunctionBlock("", lists),
              "function Add_Commands takes nothing returns nothing\n    call Initialize_Commands()\nendfunction\n");
}

TEST(FunctionBlock, SpellListsThenInitCallsThenOrderListsEachInCollectedOrder) {
    RegistrationLists lists;
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
    EXPECT_EQ(buildFunctionBlock("// lib\n", lists),
              "// lib\n"
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

// ---- Reading the script library ----------------------------------------

TEST(ScriptLibrary, LineEnds) {
    EXPECT_EQ(readLibraryBytes("a\r\nb\r\n").text, "a\nb\n");        // CR LF lines
    EXPECT_EQ(readLibraryBytes("a\nlast").text, "a\nlast\n");        // last line without LF
    EXPECT_EQ(readLibraryBytes("a\rb\r\r\n").text, "a\rb\r\n");      // only the CR before LF goes
    EXPECT_EQ(readLibraryBytes("end\r").text, "end\r\n");            // CR at end of file stays
    LibraryResult empty = readLibraryBytes("");
    EXPECT_TRUE(empty.ok);
    EXPECT_EQ(empty.text, "");
    EXPECT_EQ(empty.err, "");
}

TEST(ScriptLibrary, ControlBytesAreOrdinary) {
    const std::string bytes("a\x1a" "b\n\0c\n", 7);
    LibraryResult r = readLibraryBytes(bytes);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.text, bytes);
}

TEST(ScriptLibrary, CrAtReadChunkEdgesIsHandledLikeAnyOther) {
    // A CR LF pair split across every plausible read-buffer boundary, and a
    // lone CR at one more.
    std::string bytes(1u << 19, 'x');
    for (std::size_t edge = 1u << 12; edge <= (1u << 18); edge <<= 1) {
        bytes[edge - 1] = '\r';
        bytes[edge] = '\n';
    }
    bytes[3 * (1u << 16) - 1] = '\r';
    bytes.back() = '\n';
    std::string expected;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (!(bytes[i] == '\r' && bytes[i + 1] == '\n')) expected += bytes[i];
    ASSERT_EQ(expected.size(), bytes.size() - 7);
    EXPECT_EQ(readLibraryBytes(bytes).text, expected);
}

TEST(ScriptLibrary, MissingFileGivesTheMessageAndLeavesTextAlone) {
    TempFolder folder;
    writeFile(folder.file("func.j.bak"), "x\n");
    LibraryResult r = readLibraryFrom(folder);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err, kOpenMessage);
    EXPECT_EQ(r.text, "untouched");
}

TEST(ScriptLibrary, ReadErrorIsOneLineAndFalse) {
    TempFolder folder;
    fs::create_directory(fs::path(folder.path) / "func.j");  // opens, but cannot be read
    LibraryResult r = readLibraryFrom(folder);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.text, "untouched");
    EXPECT_NE(r.err, kOpenMessage);
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1);
}

TEST(ScriptLibrary, NameMatchedIgnoringCase) {
    TempFolder folder;
    writeFile(folder.file("Func.j"), "upper\r\n");
    LibraryResult r = readLibraryFrom(folder);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.text, "upper\n");
}

TEST(ScriptLibrary, ExactNameWinsAndSeveralOtherCasesFindNothing) {
    if (!caseSensitiveTempFolder()) GTEST_SKIP() << "temp folder ignores letter case";
    TempFolder both;
    writeFile(both.file("FUNC.J"), "other\n");
    writeFile(both.file("func.j"), "exact\n");
    EXPECT_EQ(readLibraryFrom(both).text, "exact\n");

    TempFolder ambiguous;
    writeFile(ambiguous.file("Func.j"), "one\n");
    writeFile(ambiguous.file("FUNC.J"), "two\n");
    LibraryResult r = readLibraryFrom(ambiguous);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err, kOpenMessage);
}

// ---- Splicing -------------------------------------------------------------

TEST(SpliceGlobals, InsertsBeforeFirstEndglobals) {
    ScriptText own = "globals\n    integer x\nendglobals\n";
    EXPECT_EQ(spliceGlobals(own), 22u);
    EXPECT_EQ(own, "globals\n    integer x\n" + kGlobalsBlock + "endglobals\n");

    ScriptText indented = "globals\n  endglobals\n";
    EXPECT_EQ(spliceGlobals(indented), 10u);
    EXPECT_EQ(indented, "globals\n  " + kGlobalsBlock + "endglobals\n");

    ScriptText commented = "// no endglobals here\nglobals\nendglobals\n";
    EXPECT_EQ(spliceGlobals(commented), 6u);
    EXPECT_EQ(commented, "// no " + kGlobalsBlock + "endglobals here\nglobals\nendglobals\n");

    ScriptText none = "globals\nendglobal\n";
    EXPECT_EQ(spliceGlobals(none), ScriptText::npos);
    EXPECT_EQ(none, "globals\nendglobal\n");
    EXPECT_NE(kGlobalsBlock.find(kGlobalsMarker), std::string::npos);
}

TEST(SpliceFunctionBlock, BlockBeforeMainAndCallEndsMain) {
    const ScriptText block = "function Lib takes nothing returns nothing\nendfunction\n";
    ScriptText working = "globals\nendglobals\nfunction f takes nothing returns nothing\nendfunction\n" + kMainHeader +
                         "\n    call f()\nendfunction\nfunction config takes nothing returns nothing\nendfunction\n";
    ASSERT_EQ(spliceFunctionBlock(working, 8, block), SpliceResult::kSpliced);
    EXPECT_EQ(working, "globals\nendglobals\nfunction f takes nothing returns nothing\nendfunction\n" + block +
                           kMainHeader + "\n    call f()\n    call Add_Commands()\nendfunction\n" +
                           "function config takes nothing returns nothing\nendfunction\n");
}

TEST(SpliceFunctionBlock, CrLfScriptGetsLfOnlyLines) {
    ScriptText working = "globals\r\nendglobals\r\n" + kMainHeader + "\r\nendfunction\r\n";
    std::size_t g = spliceGlobals(working);
    ASSERT_EQ(spliceFunctionBlock(working, g, "B\n"), SpliceResult::kSpliced);
    EXPECT_EQ(working, "globals\r\n" + kGlobalsBlock + "endglobals\r\nB\n" + kMainHeader +
                           "\r\n    call Add_Commands()\nendfunction\r\n");
}

TEST(SpliceFunctionBlock, MissingAnchorsChangeNothing) {
    const ScriptText noMain = "globals\nendglobals\nfunction mainly takes nothing returns nothing\nendfunction\n";
    ScriptText working = noMain;
    EXPECT_EQ(spliceFunctionBlock(working, 8, "B\n"), SpliceResult::kNoMainHeader);
    EXPECT_EQ(working, noMain);

    // A main header before the globals position does not count.
    const ScriptText mainTooEarly = "// " + kMainHeader + "\nglobals\nendglobals\nendfunction\n";
    working = mainTooEarly;
    EXPECT_EQ(spliceFunctionBlock(working, mainTooEarly.find("endglobals"), "B\n"), SpliceResult::kNoMainHeader);
    EXPECT_EQ(working, mainTooEarly);

    // An endfunction only before main does not count either.
    const ScriptText noEnd = "endglobals\nfunction f takes nothing returns nothing\nendfunction\n" + kMainHeader + "\n";
    working = noEnd;
    EXPECT_EQ(spliceFunctionBlock(working, 0, "B\n"), SpliceResult::kNoMainEnd);
    EXPECT_EQ(working, noEnd);
}

TEST(SpliceFunctionBlock, AgreesWithTwoPlainInsertions) {
    // The in-place splice must equal inserting the block, then the call after it.
    const std::vector<ScriptText> blocks = {"", "x", "function L takes nothing returns nothing\nendfunction\n",
                                            std::string(70000, 'b') + "endfunction\n"};
    const std::vector<ScriptText> scripts = {
        kMainHeader + "endfunction",
        "endglobals\n" + kMainHeader + "\nendfunction\n",
        "a\n" + kMainHeader + std::string(100000, ' ') + "endfunction\nendfunction\n" + std::string(5000, 'z'),
    };
    for (const ScriptText& script : scripts) {
        for (const ScriptText& block : blocks) {
            ScriptText expected = script;
            std::size_t m = expected.find(kMainHeader);
            expected.insert(m, block);
            expected.insert(expected.find("endfunction", m + block.size()), "    call Add_Commands()\n");
            ScriptText working = script;
            ASSERT_EQ(spliceFunctionBlock(working, 0, block), SpliceResult::kSpliced);
            EXPECT_EQ(working, expected) << "script size " << script.size() << ", block size " << block.size();
        }
    }
}

// ---- The shipped script library and example ----------------------------

TEST(ShippedFiles, RegistrationLinesMatchAddToCacheDeclaration) {
    const std::string library = readFile(fs::path(OSTREL_SOURCE_DIR) / "func.j");
    const std::string decl = "function AddToCache takes ";
    std::size_t at = library.find(decl);
    ASSERT_NE(at, std::string::npos) << "func.j does not define AddToCache";
    std::size_t from = at + decl.size();
    std::string params = library.substr(from, library.find(" returns ", from) - from);
    std::vector<std::string> types;
    std::istringstream paramStream(params);
    for (std::string param; std::getline(paramStream, param, ',');) {
        std::istringstream words(param);
        std::string type, name, extra;
        words >> type >> name;
        EXPECT_FALSE(name.empty() || (words >> extra)) << "odd parameter '" << param << "'";
        types.push_back(type);
    }
    ASSERT_EQ(types, (std::vector<std::string>{"string", "integer", "code"}));

    RegistrationLists lists;
    for (int kind = kSpellCast; kind <= kOrderInstant; ++kind) {
        lists.append(kind, "Spell_" + std::to_string(kind), "'A00" + std::to_string(kind) + "'");
        lists.append(kind, "Order" + std::to_string(kind), "85198" + std::to_string(kind));
    }
    const ScriptText generated = buildFunctionBlock("", lists);
    std::istringstream lines(generated);
    int checked = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.find("AddToCache") == std::string::npos) continue;
        ++checked;
        const std::string open = "    call AddToCache(";
        ASSERT_EQ(line.compare(0, open.size(), open), 0) << line;
        ASSERT_EQ(line.back(), ')') << line;
        EXPECT_EQ(std::count(line.begin(), line.end(), '('), 1) << line;
        EXPECT_EQ(std::count(line.begin(), line.end(), ')'), 1) << line;
        std::vector<std::string> args;
        std::istringstream argStream(line.substr(open.size(), line.size() - open.size() - 1));
        for (std::string arg; std::getline(argStream, arg, ',');) args.push_back(arg);
        ASSERT_EQ(args.size(), types.size()) << line;
        // string label
        EXPECT_TRUE(args[0].size() > 2 && args[0].front() == '"' && args[0].back() == '"') << line;
        // integer value: a character-code literal or decimal digits
        const std::string& v = args[1];
        bool code = v.size() == 6 && v.front() == '\'' && v.back() == '\'';
        bool digits = !v.empty() && v.find_first_not_of("0123456789") == std::string::npos;
        EXPECT_TRUE(code || digits) << line;
        // code: a function reference
        EXPECT_EQ(args[2].rfind("function ", 0), 0u) << line;
        EXPECT_GT(args[2].size(), 9u) << line;
    }
    EXPECT_EQ(checked, 14);
}

TEST(ShippedFiles, LibraryFitsBetweenGlobalsAndMain) {
    const std::string library = readFile(fs::path(OSTREL_SOURCE_DIR) / "func.j");
    ASSERT_FALSE(library.empty());
    // It is inserted after the map's globals section, so it must not open
    // one, nor hold the text of an anchor searched for after insertion.
    for (const char* banned : {"\nglobals", "endglobals", kMainHeader.c_str(), kGlobalsMarker})
        EXPECT_EQ(library.find(banned), std::string::npos) << banned;
    EXPECT_NE(library.find("function Initialize_Commands takes nothing returns nothing\n"), std::string::npos);

    // Every library function is defined above its first use.
    std::istringstream lines(library);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("function ", 0) != 0) continue;
        std::string name = line.substr(9, line.find(' ', 9) - 9);
        std::size_t defined = library.find("function " + name + " takes");
        for (const std::string& use : {"call " + name + "(", "function " + name + "\n", "function " + name + ")"}) {
            std::size_t used = library.find(use);
            if (used != std::string::npos) {
                EXPECT_LT(defined, used) << name;
            }
        }
    }
}

TEST(ShippedFiles, ExampleScriptSplices) {
    ScriptText working = readFile(fs::path(OSTREL_SOURCE_DIR) / "examples" / "war3map.j");
    ASSERT_FALSE(working.empty());
    EXPECT_EQ(working.find('\r'), std::string::npos);
    for (const char* key : {"//! Spell_Cast ", "//! Spell_Effect ", "//! Spell_Endcast ", "//! Spell_Finish ",
                            "//! OnInit\n", "//! Order_Object ", "//! Order_Point ", "//! Order_Instant "})
        EXPECT_NE(working.find(key), std::string::npos) << key;

    std::size_t g = spliceGlobals(working);
    ASSERT_NE(g, ScriptText::npos);
    EXPECT_EQ(working.rfind("\nglobals\n", g), working.find("\nglobals\n"));  // in the globals section
    EXPECT_EQ(working.compare(g - 1, 1, "\n"), 0);
    ASSERT_EQ(spliceFunctionBlock(working, g, "// block\n"), SpliceResult::kSpliced);
    std::size_t main = working.find(kMainHeader);
    EXPECT_EQ(working.compare(main - 9, 9, "// block\n"), 0);
    std::size_t end = working.find("endfunction", main);
    EXPECT_EQ(working.compare(end - 25, 25, "\n    call Add_Commands()\n"), 0);
    EXPECT_NE(working.find("function config takes nothing returns nothing", end), std::string::npos);
}
