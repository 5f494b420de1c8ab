// Whole runs of the tool on map files: the stored script byte for byte, and
// every stop leaving the map as it was.
#include <gtest/gtest.h>
#include "tests/test_support.h"

namespace {

const std::string kGlobals =
    "    //Velloran globals:\n    gamecache OE_cache\n    trigger array OE_CodeAsTrigger\n"
    "    integer OE_count\n    //End of Velloran globals\n";
// A small library with CR LF lines and no line feed at its end.
const std::string kLibraryFile =
    "function Initialize_Commands takes nothing returns nothing\r\nendfunction\r\n"
    "function AddToCache takes string label, integer value, code func returns nothing\r\nendfunction";
const std::string kLibraryText =
    "function Initialize_Commands takes nothing returns nothing\nendfunction\n"
    "function AddToCache takes string label, integer value, code func returns nothing\nendfunction\n";
const std::string kAddCommands = "function Add_Commands takes nothing returns nothing\n    call Initialize_Commands()\n";
const std::string kMain = "function main takes nothing returns nothing";
const std::string kLibraryMessage =
    "Could not open Func.j for reading.Make sure you have placed the Func.j file in the same folder as ostrel.exe\n";

// What one run of the tool in a fresh folder did to a map holding script.
struct Outcome {
    ToolResult result;
    std::string before;    // the map file before the run
    std::string after;     // and after it
    std::string stored;    // the stored war3map.j entry
    std::vector<std::string> names;  // the folder's files afterwards
};

// Runs the tool on a map holding script, with the test library in the folder
// unless withLibrary is false.
Outcome runOn(const std::string& script, bool withLibrary = true) {
    TempFolder folder;
    Outcome outcome;
    writeScriptMap(folder.file("map.w3x"), script);
    if (withLibrary) writeFile(folder.file("func.j"), kLibraryFile);
    outcome.before = readFile(folder.file("map.w3x"));
    outcome.result = runTool({"map.w3x"}, folder.path);
    outcome.after = readFile(folder.file("map.w3x"));
    bool ok = false;
    outcome.stored = readEntryBytes(folder.file("map.w3x"), "war3map.j", ok);
    outcome.names = folderNames(folder.path);
    return outcome;
}

TEST(Run, AScriptWithoutDirectivesGetsGlobalsLibraryAndCall) {
    Outcome o = runOn("globals\n    integer x\nendglobals\n" + kMain + "\n    call Foo()\nendfunction\n");
    EXPECT_EQ(o.result.exitCode, 0);
    EXPECT_EQ(o.result.err + o.result.out, "");
    EXPECT_EQ(o.stored, "globals\n    integer x\n" + kGlobals + "endglobals\n" + kLibraryText + kAddCommands +
                            "endfunction\n" + kMain + "\n    call Foo()\n    call Add_Commands()\nendfunction\n" +
                            '\0');
}

TEST(Run, CrLfScriptWithDirectivesKeepsItsLineEndsAndGetsLineFeedInsertions) {
    const std::string bolt =
        "function Bolt takes nothing returns nothing\r\n    //! Spell_Cast A000\r\n"
        "    //! Order_Point 851986\r\nendfunction\r\n";
    const std::string boot = "function Boot takes nothing returns nothing\r\n    //! OnInit\r\nendfunction\r\n";
    Outcome o = runOn("globals\r\n    integer x\r\n  endglobals\r\n" + bolt + boot + kMain +
                      "\r\n    call Boot()\r\nendfunction");
    EXPECT_EQ(o.result.exitCode, 0);
    EXPECT_EQ(o.stored, "globals\r\n    integer x\r\n  " + kGlobals + "endglobals\r\n" + bolt + boot + kLibraryText +
                            kAddCommands + "    call AddToCache(\"cast\",'A000',function Bolt)\ncall Boot()\n" +
                            "    call AddToCache(\"pointorder\",851986,function Bolt)\nendfunction\n" + kMain +
                            "\r\n    call Boot()\r\n    call Add_Commands()\nendfunction\n" + '\0');
}

TEST(Run, TheFirstEndglobalsWinsEvenInAComment) {
    Outcome o = runOn("// endglobals closes the section\nglobals\nendglobals\n" + kMain + "\nendfunction\n");
    EXPECT_EQ(o.result.exitCode, 0);
    EXPECT_EQ(o.stored, "// " + kGlobals + "endglobals closes the section\nglobals\nendglobals\n" + kLibraryText +
                            kAddCommands + "endfunction\n" + kMain + "\n    call Add_Commands()\nendfunction\n" + '\0');
}

TEST(Run, EveryStopLeavesTheMapAsItWasWithOneLine) {
    struct Case {
        const char* what;
        std::string script;
        bool withLibrary;
        std::string message;
    } cases[] = {
        // These stop before the library is looked for: none is there.
        {"no endglobals", "globals\n" + kMain + "\nendfunction\n", false,
         "The map script has no \"endglobals\".\n"},
        {"a value missing", "globals\nendglobals\nfunction F takes nothing returns nothing\n    //! Spell_Cast\n"
                            "endfunction\n" + kMain + "\nendfunction\n",
         false, "The Spell_Cast directive in function F has no value.\n"},
        {"a nameless function", "globals\nendglobals\nfunction\n    //! OnInit\nendfunction\n" + kMain +
                                    "\nendfunction\n",
         false, "The OnInit directive stands in a function without a name.\n"},
        {"processed before", "globals\n" + kGlobals + "endglobals\n" + kMain + "\nendfunction\n", false,
         "The map map.w3x has already been processed by ostrel; it was left as it is.\n"},
        {"no library", "globals\nendglobals\n" + kMain + "\nendfunction\n", false, kLibraryMessage},
        {"no main after the globals", kMain + "\nendfunction\nglobals\nendglobals\n", true,
         "The map script has no \"function main takes nothing returns nothing\" after its \"endglobals\".\n"},
        {"main never ends", "globals\nendglobals\n" + kMain + "\n    call Foo()\n", true,
         "The map script's main function has no \"endfunction\".\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Outcome o = runOn(c.script, c.withLibrary);
        EXPECT_EQ(o.result.exitCode, 1);
        EXPECT_EQ(o.result.err, c.message);
        EXPECT_EQ(o.result.out, "");
        EXPECT_EQ(o.after, o.before);
        EXPECT_EQ(o.names.size(), c.withLibrary ? 2u : 1u);
    }
}

TEST(Run, ASecondRunIsRefusedAndChangesNothing) {
    TempFolder folder;
    const std::string map = folder.file("map.w3x");
    writeScriptMap(map, "globals\nendglobals\nfunction Boot takes nothing returns nothing\n    //! OnInit\n"
                        "endfunction\n" + kMain + "\nendfunction\n");
    writeLibrary(folder.path);
    ASSERT_EQ(runTool({"map.w3x"}, folder.path).exitCode, 0);
    const std::string once = readFile(map);
    ToolResult again = runTool({"map.w3x"}, folder.path);
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(isOneLine(again.err)) << again.err;
    EXPECT_EQ(readFile(map), once);
}

}  // namespace
