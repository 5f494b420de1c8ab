// Whole runs in this process on stand-in maps: what is stored, and that every stop, every failing operation of the
// archive or the system, and every change by another program at any step of the store leave the map as it was, with
// one line and no file behind.
#include <gtest/gtest.h>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <utility>
#include "archive/map_form.h"
#include "base/content_hash.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;

const ArchiveOps& standin = standinArchiveOps();
// The globals the tool inserts.
const std::string kGlobals =
    "    //Velloran globals:\n    gamecache OE_cache\n    trigger array OE_CodeAsTrigger\n"
    "    integer OE_count\n    //End of Velloran globals\n";
// The text of kLibraryFile as the tool reads it.
const std::string kLibraryText =
    "function Initialize_Commands takes nothing returns nothing\nendfunction\n"
    "function AddToCache takes string label, integer value, code func returns nothing\nendfunction\n";

// The same for a Lua map.
const std::string kLuaLibraryFile = "function Initialize_Commands()\r\nend\r\nfunction AddToCache(label, id, func)\r\nend";
const std::string kLuaLibraryText = "function Initialize_Commands()\nend\nfunction AddToCache(label, id, func)\nend\n";

// A script marked where a run inserts (@G the globals, @B the function block, @C the call): unmarked, the map's.
std::string unmarked(std::string script) {
    for (std::size_t at = script.find('@'); at != std::string::npos; at = script.find('@', at)) script.erase(at, 2);
    return script;
}
std::string spliced(std::string script, const std::string& registrations, bool lua = false) {
    const std::string texts[] = {
        kGlobals,
        lua ? kLuaLibraryText + "function Add_Commands()\n    Initialize_Commands()\n" + registrations + "end\n"
            : kLibraryText + "function Add_Commands takes nothing returns nothing\n    call Initialize_Commands()\n" +
                  registrations + "endfunction\n",
        lua ? "    Add_Commands()\n" : "    call Add_Commands()\n"};
    for (int i = 0; i < 3; ++i)
        if (script.find(std::string("@") + "GBC"[i]) != std::string::npos)
            script.replace(script.find(std::string("@") + "GBC"[i]), 2, texts[i]);
    return script;
}

// A stand-in Lua map holding script, with the Lua library beside it.
MapFolder luaMap(const std::string& script, const std::string& library = kLuaLibraryFile) {
    return MapFolder("-", library, {{"war3map.lua", script}, {"war3map.w3e", "terrain"}}, "func.lua");
}

const std::string kLuaShapes =
    "local s = [==[ function ]] ]==] --[[ end\nfunction ]]\nSpells = {}\n"
    "function Spells --[[ name ]]\n.Fire(unit)\n    --! Spell_Effect A001\n    local f = function() return \"end\" end\n"
    "    if s then do repeat local x = 'it\\'s end' until true end end\n    --! Spell_Effect\tA002\t-- fire\nend\n"
    "local function Boot()\n    --! OnInit\nend\nx = function()\n    --! OnInit\nend\nfunction obj:m()\n"
    "    --! OnInit\nend\ndo\n    function Inner()\n        --! OnInit\n    end\nend\n"
    "--! OnInit\n@Bfunction main()\n    if true then\n        for i = 1, 2 do Boot() end\n    end\n"
    "    s = \"--! Spell_Cast A999\"\n@Cend\nlocal function Late() end\nfunction Later()\n    --! Spell_Finish A003\nend\n";

TEST(Run, StoresTheTextsAtTheAnchorsOfRealScripts) {
    if (!kLuaCompilerHere) std::cout << "No Lua compiler here: the stored Lua scripts are not compiled.\n";
    const struct {
        std::string script, registrations;
        bool lua = false;
        std::string after = "";    // bytes behind a NUL, which ends the script
        std::string library = "";  // the library file, when not the usual one
    } cases[] = {
        {"globals\r\n    integer x\r\n  @Gendglobals\r\nfunction Bolt takes nothing returns nothing\r\n"
         "    //! Spell_Cast A000\r\n    //! Order_Point 851986\r\nendfunction\r\nfunction Boot takes nothing returns"
         " nothing\r\n    //! OnInit\r\nendfunction\r\n@B" + kMain + "\r\n    call Boot()\r\n    if b then\r\n        return\r\n    endif\r\n@Cendfunction",
         "    call AddToCache(\"cast\",'A000',function Bolt)\ncall Boot()\n"
         "    call AddToCache(\"pointorder\",851986,function Bolt)\n", false, std::string("\0hidden", 7)},
        // What a compiler of libraries leaves in the globals section.
        {"globals\r\n//globals from Math:\r\nconstant boolean LIBRARY_Math=true\r\n//endglobals from Math\r\n"
         "@Gendglobals\r\n@B" + kMain + "\r\n@Cendfunction\r\n", ""},
        // Keywords in names, strings, comments and references; tabs; anchors after indentation; each kind of
        // directive, collected in reverse of the order of the kinds in the block.
        {"globals\n\tcode ref_function_RegisterEnum=null\n\tconstant string HELP = \"endglobals: call this function\"\n"
         "\t@Gendglobals // the end\n\tconstant\tfunction\tBolt takes nothing returns nothing\n"
         "    //! Order_Instant A000\n    //! Order_Point A000\n    //! Order_Object A000\n    //! OnInit\n"
         "    //! Spell_Finish A000\n    //! Spell_Endcast A000\n    //! Spell_Effect A000\n"
         "    call Msg(\"x endfunction\") // function main takes nothing returns nothing\n"
         "    call TimerStart(t, 1.0, false, function Other)\n    //! Spell_Effect\tA015\t// fire\n"
         "    //! Spell_Cast A000\nendfunction\nfunction G takes nothing returns nothing\n    //! Spell_Cast 12\n"
         "    //! OnInit ignored\nendfunction\n@B" + kMain + "\n    call Msg(\"x endfunction\")\n    @Cendfunction\n",
         "    call AddToCache(\"cast\",'A000',function Bolt)\n    call AddToCache(\"cast\",12,function G)\n"
         "    call AddToCache(\"effect\",'A000',function Bolt)\n    call AddToCache(\"effect\",'A015',function Bolt)\n"
         "    call AddToCache(\"endcast\",'A000',function Bolt)\n    call AddToCache(\"finish\",'A000',function Bolt)\n"
         "call Bolt()\ncall G()\n    call AddToCache(\"targetorder\",'A000',function Bolt)\n"
         "    call AddToCache(\"pointorder\",'A000',function Bolt)\n"
         "    call AddToCache(\"instantorder\",'A000',function Bolt)\n"},
        // A Lua map as the map editor writes it.
        {"gg_trg_Melee = nil\r\nfunction InitGlobals()\r\nend\r\nfunction Bolt()\r\n    --! Spell_Cast A000\r\n"
         "    --! Order_Point 851986\r\nend\r\n@Bfunction main()\r\nInitGlobals()\r\n@Cend\r\nfunction config()\r\nend",
         "    AddToCache(\"cast\", FourCC(\"A000\"), Bolt)\n    AddToCache(\"pointorder\", 851986, Bolt)\n", true},
        // Long strings and comments, nested functions and blocks, methods, anonymous functions, functions in blocks,
        // locals, after main.
        {kLuaShapes, "    AddToCache(\"effect\", FourCC(\"A001\"), Spells.Fire)\n"
                     "    AddToCache(\"effect\", FourCC(\"A002\"), Spells.Fire)\n"
                     "    AddToCache(\"finish\", FourCC(\"A003\"), Later)\nBoot()\n", true},
        // Line ends of every kind, the compilers' way: a carriage return alone ends a line; main ends in a return,
        // and a return inside a block of main stays.
        {"globals\r    integer x\r@Gendglobals\rfunction A takes nothing returns nothing\r    set x = 0\rendfunction\r"
         "function B takes nothing returns nothing\n    //! Spell_Cast A000\nendfunction\n@B" + kMain + "\r"
         "    if x == 0 then\r        return\r    endif\r    @Creturn // done\r// the end\rendfunction\r",
         "    call AddToCache(\"cast\",'A000',function B)\n"},
        // A Lua map saved with CR line ends, a string continued over CR LF and a NUL in a string, main ending in a
        // return; a library saved with a byte-order mark.
        {"-- the map's script\rfunction Bolt()\r    --! Spell_Cast A000\rend\r@Bfunction main()\r"
         "    s = \"a\\\r\nend\"\n\r    @Creturn nil\rend\rfunction config()\r    s = \"" + std::string(1, '\0') + "\"\rend\r",
         "    AddToCache(\"cast\", FourCC(\"A000\"), Bolt)\n", true, "", "\xEF\xBB\xBF" + kLuaLibraryFile},
        // main as the compilers from other languages write it; a local declared before main; a return in a block.
        {"local W = {}\nfunction W.Cast()\n    --! Spell_Cast 'A000'\nend\n@Bmain = function ()\n"
         "    if x then return end\n@Cend\nlocal function main() end\n",
         "    AddToCache(\"cast\", FourCC(\"A000\"), W.Cast)\n", true},
    };
    for (const auto& c : cases) {
        const std::string library = !c.library.empty() ? c.library : c.lua ? kLuaLibraryFile : kLibraryFile;
        MapFolder f = c.lua ? luaMap(unmarked(c.script), library) : MapFolder(unmarked(c.script) + c.after, library);
        const ProcessResult result = f.run();
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.err + result.out, "");
        std::string stored = spliced(c.script, c.registrations, c.lua);
        if (stored.back() != '\n' && stored.back() != '\r') stored += '\n';
        // A Lua script is stored as its text alone.
        EXPECT_EQ(standinEntry(f.map, c.lua ? "war3map.lua" : "war3map.j"), c.lua ? stored : stored + '\0');
        EXPECT_EQ(c.lua ? luaProblems(stored) : "", "");
    }
}

TEST(Run, EveryStopLeavesTheMapAsItWas) {
    // A map script of globals, then functions, then the main function; a Lua main function.
    const auto withMain = [](const std::string& functions) {
        return "globals\nendglobals\n" + functions + kMain + "\nendfunction\n";
    };
    const std::string f = "function F takes nothing returns nothing\n", main = "function main()\nend\n";
    const struct {
        std::string script, library, line;
        StandinEntries instead = {};  // the map's entries, when the script is "-"
        bool lua = false;
    } cases[] = {
        {"globals\n" + kMain + "\nendfunction\n", "", "The map script has no \"endglobals\"."},
        {withMain(f + "    //! Spell_Cast\nendfunction\n"), "",
         "The Spell_Cast directive in function F has no value (line 4)."},
        {withMain("function\n    //! OnInit\nendfunction\n"), "",
         "The OnInit directive stands in a function without a name (line 4)."},
        {withMain("function Foo.bar takes nothing returns nothing\n    //! OnInit\nendfunction\n"), "",
         "The OnInit directive stands in a function whose name \"Foo.bar\" is no identifier (line 4)."},
        {withMain("function _Fire takes nothing returns nothing\n    //! OnInit\nendfunction\n"), "",
         "The OnInit directive stands in a function whose name \"_Fire\" is no identifier (line 4)."},
        {withMain(f + "    //! Spell_Cast A015//fire\nendfunction\n"), "",
         "The Spell_Cast directive in function F has the value A015//fire, which is not one value the generated call can "
         "take; write an integer such as 852119, a four-character code such as A000, or the name of a constant (line 4)."},
        {withMain(f + "    //! Order_Point 'A0\nendfunction\n"), "",
         "The Order_Point directive in function F has the value 'A0, which is not one value *(line 4)."},
        {withMain("function Hit takes unit u returns nothing\n    //! Order_Point 12\nendfunction\n"), "",
         "The Order_Point directive in function Hit cannot be registered: a registered function must take nothing, and "
         "Hit takes arguments (line 4)."},
        {"globals\nendglobals\n" + kMain + "\nendfunction\nfunction Late takes nothing returns nothing\n    //! OnInit\n",
         "", "The OnInit directive in function Late cannot be registered: Late is defined after the map's main "
             "function, which would call it before it is defined (line 6)."},
        // What a run stores, run again: it would add a second library that does not compile.
        {"globals\n" + kGlobals + "endglobals\n" + kMain + "\nendfunction\n", "",
         "The map MAP has already been processed by ostrel; it was left as it is (line 2)."},
        {kMinimalScript, "", kLibraryMessage.substr(0, kLibraryMessage.size() - 1)},
        {kMinimalScript, "// function Initialize_Commands\nfunction Initialize_Comm", "The script library LIBRARY "
                                          "defines no function Initialize_Commands; it may be empty or cut off."},
        {kMinimalScript, "function Initialize_CommandsOld takes nothing returns nothing\n",
         "The script library LIBRARY defines no function Initialize_Commands; it may be empty or cut off."},
        {withMain(f + "    //! Spell_Cast A000\nendfunction\n"),
         "function Initialize_Commands takes nothing returns nothing\nendfunction\nfunction AddToCache_Old takes nothing returns nothing\n",
         "The script library LIBRARY defines no function AddToCache; it may be empty or cut off."},
        {kMain + "\nendfunction\nglobals\nendglobals\n", kLibraryFile,
         "The map script has no \"function main takes nothing returns nothing\" after its \"endglobals\" (line 4)."},
        {"globals\nendglobals\n" + kMain + "\n    call Foo()\n", kLibraryFile,
         "The map script's main function has no \"endfunction\" (line 3)."},
        {"-", "", "Couldn't locate the file war3map.j in the map file. The map holds Scripts\\war3map.j; ostrel "
                  "processes only war3map.j.", {{"Scripts\\war3map.j", kMinimalScript}}},
        {"function config()\nend\n", kLuaLibraryFile, "The map script has no top-level \"function main()\".", {}, true},
        {"function main()\n    if x then f() end\n", kLuaLibraryFile,
         "The map script's main function has no \"end\" (line 1).", {}, true},
        {"function Add_Commands()\nend\n" + main, "",
         "The map MAP has already been processed by ostrel; it was left as it is (line 1).", {}, true},
        {main + "local function Late()\n    --! OnInit\nend\n", "", "The OnInit directive in function Late cannot be "
         "registered: Late is a local declared after the map's main function, where Add_Commands cannot see it "
         "(line 4).", {}, true},
        {"function F()\n    --! Spell_Cast A0--x\nend\n" + main, "",
         "The Spell_Cast directive in function F has the value A0--x, which is not one value the generated call can take; "
         "write a number such as 852119, a four-character code such as A000, or a name (line 2).", {}, true},
        {"function F()\n    --! Order_Point 1\nend\n" + main, "function Initialize_Commands()\nend\n",
         "The script library LIBRARY defines no function AddToCache; it may be empty or cut off.", {}, true},
        {main, "", "Could not open Func.lua for reading.Make sure you have placed the Func.lua file in the same folder "
                   "as ostrel.exe (looked for in *)", {}, true},
        // main calls Add_Commands: a directive in it cannot be registered.
        {"globals\nendglobals\n" + kMain + "\n    //! OnInit\nendfunction\n", "", "The OnInit directive in function main "
         "cannot be registered: main runs Add_Commands itself; move the directive into a function of its own (line 4)."},
        {"function main()\n    --! OnInit\nend\n", "", "The OnInit directive in function main cannot be registered: "
         "main runs Add_Commands itself; move the directive into a function of its own (line 2).", {}, true},
        {"function main()\nend\nmain = function()\nend\n", kLuaLibraryFile, "The map script defines main twice at the top "
         "level (lines 1 and 3); the game would call only the last. Keep one.", {}, true},
        {main + "local W = {}\nfunction W.Cast()\n    --! OnInit\nend\n", "", "The OnInit directive in function W.Cast "
         "cannot be registered: W is a local declared after the map's main function, where Add_Commands cannot see it "
         "(line 5).", {}, true},
        {"local function main()\nend\nlocal main = function()\nend\nt.main = function()\nend\n", kLuaLibraryFile,
         "The map script has no top-level \"function main()\".", {}, true},
    };
    for (const auto& c : cases) {
        const MapFolder folder = c.lua ? luaMap(c.script, c.library) : MapFolder(c.script, c.library, c.instead);
        folder.expectStop(folder.run(), c.line);
    }
    // A library without AddToCache serves a map that needs none.
    EXPECT_EQ(MapFolder(kMinimalScript, "function Initialize_Commands takes nothing returns nothing\nendfunction\n").run().exitCode, 0);
}

// What a test's stand-in operation does besides its work, and how often it was called.
int calls = 0;
EntryHandle terrain = nullptr;
ArchiveHandle changed = nullptr;  // the archive the script was removed from

// The stand-in table with one operation failing or changed.
ArchiveOps opsWith(int which) {
    calls = 0;
    terrain = nullptr;
    changed = nullptr;
    ArchiveOps ops = standin;
    switch (which) {
        case 0: ops.openArchive = [](const char*, unsigned, unsigned, ArchiveHandle*) { return false; }; break;
        case 1: ops.openEntry = [](ArchiveHandle, const char*, unsigned, EntryHandle*) { return false; }; break;
        case 2: ops.entrySize = [](EntryHandle, uint32_t*) { return kInvalidEntrySize; }; break;
        case 3: ops.readEntry = [](EntryHandle, void*, uint32_t, uint32_t*, void*) { return false; }; break;
        case 4: ops.closeEntry = [](EntryHandle e) { standin.closeEntry(e); return false; }; break;
        case 5: ops.deleteEntry = [](ArchiveHandle, const char*) { return false; }; break;
        case 6: ops.finishChange = [](ArchiveHandle) { return false; }; break;
        case 7: ops.addEntryFromMemory = [](ArchiveHandle, const void*, uint32_t, const char*, unsigned) { return false; }; break;
        case 8: ops.closeArchive = [](ArchiveHandle a) { standin.closeArchive(a); return false; }; break;
        case 9: ops.compactArchive = [](ArchiveHandle) { return false; }; break;
        case 10: ops.entryNames = [](ArchiveHandle, std::vector<std::string>*, bool*) { return false; }; break;
        case 11:  // the map cannot be opened for the change
            ops.openArchive = [](const char* path, unsigned p, unsigned flags, ArchiveHandle* a) {
                return !(flags & kOpenForChange) && standin.openArchive(path, p, flags, a);
            };
            break;
        case 12:  // the library ran out of memory
            ops.readEntry = [](EntryHandle, void*, uint32_t, uint32_t*, void*) { return false; };
            ops.lastFailureWasMemory = [] { return true; };
            break;
        case 13:  // the stored entry reads back with one byte changed, or one byte more
        case 14:
            ops.addEntryFromMemory = [](ArchiveHandle a, const void* data, uint32_t n, const char* name, unsigned f) {
                std::string bytes(static_cast<const char*>(data), n);
                if (++calls == 1) bytes[0] ^= 1;
                return standin.addEntryFromMemory(a, bytes.data(), n, name, f);
            };
            if (which == 14) ops.addEntryFromMemory = [](ArchiveHandle a, const void* d, uint32_t n, const char* name, unsigned f) {
                return standin.addEntryFromMemory(a, (std::string(static_cast<const char*>(d), n) + "x").data(), n + 1, name, f);
            };
            break;
        case 15:  // deleting the script takes another entry with it
            ops.deleteEntry = [](ArchiveHandle a, const char* name) {
                return standin.deleteEntry(a, "war3map.w3e") && standin.deleteEntry(a, name);
            };
            break;
        case 16:  // the terrain opens but does not read after the change
            ops.deleteEntry = [](ArchiveHandle a, const char* name) { return ++calls, standin.deleteEntry(a, name); };
            ops.openEntry = [](ArchiveHandle a, const char* name, unsigned s, EntryHandle* e) {
                const bool opened = standin.openEntry(a, name, s, e);
                if (std::string(name) == "war3map.w3e" && calls > 0) terrain = *e;
                return opened;
            };
            ops.readEntry = [](EntryHandle e, void* b, uint32_t n, uint32_t* got, void* o) {
                return e != terrain && standin.readEntry(e, b, n, got, o);
            };
            ops.closeEntry = [](EntryHandle e) {  // a handle's address may come back for another entry
                if (e == terrain) terrain = nullptr;
                return standin.closeEntry(e);
            };
            break;
        case 17:  // the library writes far more than the new script
            ops.addEntryFromMemory = [](ArchiveHandle a, const void* d, uint32_t n, const char* name, unsigned f) {
                const std::string junk(3u << 20, 'j');
                return standin.addEntryFromMemory(a, junk.data(), static_cast<uint32_t>(junk.size()), "junk", f) &&
                       standin.addEntryFromMemory(a, d, n, name, f);
            };
            break;
        case 19:  // the library runs out of memory reading the new map back
            ops = opsWith(16);
            ops.lastFailureWasMemory = [] { return true; };
            break;
        case 20:  // the archive does not close after the store
            ops.deleteEntry = [](ArchiveHandle a, const char* name) { return changed = a, standin.deleteEntry(a, name); };
            ops.closeArchive = [](ArchiveHandle a) { return standin.closeArchive(a) && a != changed; };
            break;
        case 21:  // the compaction changes another entry, which still reads
            ops.compactArchive = [](ArchiveHandle a) {
                return standin.deleteEntry(a, "war3map.w3e") && standin.addEntryFromMemory(a, "changed", 7, "war3map.w3e", 0) &&
                       standin.compactArchive(a);
            };
            break;
        case 18:  // the first read reports success but delivers one byte less and scribbles on the rest
            ops.readEntry = [](EntryHandle e, void* buffer, uint32_t count, uint32_t* got, void* o) {
                if (++calls > 1) return standin.readEntry(e, buffer, count, got, o);
                std::memset(buffer, 'Z', count);
                return standin.readEntry(e, buffer, count - 1, got, o);
            };
            break;
    }
    return ops;
}

// What other programs do at the moments a test picks, each once.
std::map<int, std::function<void()>> atMoment;
constexpr int kDuringCopy = 100, kDuringFlush = 101, kDuringUndo = 102;

void act(int now) {
    const auto found = atMoment.find(now);
    if (found == atMoment.end()) return;
    const std::function<void()> action = std::move(found->second);
    atMoment.erase(found);
    action();
}
// Exchanges until the one that fails (1 for the first); 0 when none fails.
int exchangesBeforeFailure = 0;

std::vector<std::string> calledInOrder;

// The system's table with the action at the moment it is set for, logging the flushes and the replacement in
// calledInOrder; with a failing operation (1 to 7) instead, that one fails.
SystemOps systemWith(int failing = 0) {
    calledInOrder.clear();
    SystemOps ops = platformSystemOps();
    ops.atStep = [](StoreStep step) { act(static_cast<int>(step)); };
    ops.readSome = [](platform::File& file, char* buffer, std::size_t size) {
        const long long got = platform::readSome(file, buffer, size);
        act(kDuringCopy);
        return got;
    };
    ops.syncPath = [](const std::string& path, std::string* err) {
        act(kDuringFlush);
        calledInOrder.push_back("flush " + platform::nameOf(path).substr(0, 7));
        return platform::syncPath(path, err);
    };
    ops.exchangeFiles = [](const std::string& a, const std::string& b, std::string* err) {
        if (exchangesBeforeFailure > 0 && --exchangesBeforeFailure == 0) return *err = "no", platform::Exchange::kFailed;
        if (std::count(calledInOrder.begin(), calledInOrder.end(), "replace") == 1) act(kDuringUndo);
        const platform::Exchange result = platform::exchangeFiles(a, b, err);
        if (result == platform::Exchange::kDone) calledInOrder.push_back("replace");
        return result;
    };
    ops.replaceFile = [](const std::string& from, const std::string& to, std::string* err) {
        calledInOrder.push_back("replace");
        return platform::replaceFile(from, to, err);
    };
    ops.syncFolder = [](const std::string& folder) {
        calledInOrder.push_back("flush folder");
        platform::syncFolder(folder);
    };
    switch (failing) {
        case 1:
            ops.createNewFile = [](const std::string&, platform::File*, bool* e, std::string* err) {
                return *err = "Too many open files", *e = false;
            };
            break;
        case 2: ops.writeAll = [](platform::File&, const char*, std::size_t) { return false; }; break;
        case 3: ops.readSome = [](platform::File&, char*, std::size_t) { return -1LL; }; break;
        case 4: ops.syncPath = [](const std::string&, std::string* err) { return *err = "no", false; }; break;
        case 5: ops.copyMetadata = [](const std::string&, const std::string&, std::string* err) { return *err = "no", false; }; break;
        case 6:
            ops.exchangeFiles = [](const std::string&, const std::string&, std::string* err) { return *err = "no", platform::Exchange::kFailed; };
            ops.replaceFile = [](const std::string&, const std::string&, std::string* err) { return *err = "no", false; };
            break;
        case 7: ops.pathState = [](const std::string&, platform::FileState*) { return false; }; break;
        case 8: ops.exchangeFiles = [](const std::string&, const std::string&, std::string*) { return platform::Exchange::kUnsupported; }; break;
        case 9:  // a write that reports success but writes other bytes
            ops.writeAll = [](platform::File& file, const char* data, std::size_t size) {
                return platform::writeAll(file, std::string(data, size).replace(0, 1, "#").data(), size);
            };
            break;
    }
    return ops;
}

TEST(Store, AnyFailingOperationOfTheArchiveOrTheSystemLeavesTheMap) {
    const std::string unreadable = "Couldn't read the file war3map.j from the map file.";
    const std::string unread = "The map file did not read back as written; it was left as it was.";
    const std::string copy = "Couldn't create a temporary copy of the map in *";
    const std::string finish = "Couldn't finish the updated copy of the map: no";
    // Archive operations 0 to 21 (with 18 the run succeeds), then system operations 1 to 7.
    const std::string lines[] = {
        "Couldn't open the map mpq file for reading. MAP: the archive library cannot open it",
        "Couldn't locate the file war3map.j in the map file.",
        unreadable, unreadable, unreadable, "Couldn't remove the old map script from the map file.",
        "Couldn't write the map file's tables after removing the old map script.",
        "Couldn't add the new map script to the map file.", unreadable,
        "Couldn't compact the map file after adding the new map script.", "Couldn't list the entries of the map file.",
        "Couldn't open the map mpq file for writing.", "Not enough memory to read the map script.", unread, unread,
        unread, unread, "The archive library wrote a new map of *; the map was left as it was.", "",
        "Not enough memory to read the new map back.", "Couldn't close the map file after writing it.",
        "The archive library changed the file war3map.w3e of the map while it stored the new script; the map was left as it was.",
        copy + ": Too many open files", copy, copy, finish, finish, "Couldn't replace the map file MAP with its updated copy: no",
        "The map MAP was changed by another program while ostrel worked on it; it was left as that program wrote it.",
    };
    for (int which = 0; which < 29; ++which) {
        SCOPED_TRACE("case " + std::to_string(which));
        MapFolder f(which == 18 ? kMinimalScript + std::string(100, 'x') : kMinimalScript);
        if (which == 18) {  // only the bytes a read delivers count
            EXPECT_EQ(f.run(opsWith(which)).exitCode, 0);
            EXPECT_EQ(standinEntry(f.map, "war3map.j").find('Z'), std::string::npos);
            continue;
        }
        const bool archive = which <= 21;
        f.expectStop(f.run(archive ? opsWith(which) : standin, archive ? platformSystemOps() : systemWith(which - 21)),
                     lines[which]);
        // Where an archive operation fails, a check stops alike.
        if (archive) f.expectStop(f.run(opsWith(which), platformSystemOps(), {"--check"}), lines[which]);
    }
    // A map folder's script file, processed in place, with each system operation failing.
    const std::string folderLines[] = {"Couldn't write the new map script beside MAP: Too many open files",
                                       "Couldn't write the new map script beside MAP: *", "Couldn't read the map script MAP: *",
                                       finish, finish, lines[27], lines[28], "",
                                       "The new map script did not read back as written; the map was left as it was."};
    for (int failing = 1; failing <= 9; ++failing) {
        SCOPED_TRACE("a map folder, system case " + std::to_string(failing));
        const MapFolder f({{"war3map.j", kMinimalScript}}, kLibraryFile);
        if (failing != 8) f.expectStop(f.run(standin, systemWith(failing)), named(folderLines[failing - 1], {{"MAP", platform::joinPath(f.map, "war3map.j")}}));
    }
    // With none failing, the copy is on disk before it takes the map's place, and the folder after.
    MapFolder f(kMinimalScript);
    ASSERT_EQ(f.run(standin, systemWith()).exitCode, 0);
    EXPECT_EQ(calledInOrder, (std::vector<std::string>{"flush .ostrel", "replace", "flush folder"}));
}

// Another program's save of the map at path, by rename or in place keeping size and time: 4 bytes before its last 4
// (in a stand-in map, the last of its last entry) become marker. Returns the bytes saved.
std::string saveAsEditor(const std::string& path, bool inPlace, const std::string& marker = "DATA") {
    std::string bytes = readFile(path);
    bytes.replace(bytes.size() - 8, 4, marker);
    if (!inPlace) {
        writeFile(path + ".new", bytes);
        EXPECT_TRUE(platform::replaceFile(path + ".new", path, nullptr));
        return bytes;
    }
    const fs::file_time_type time = fs::last_write_time(fs::u8path(path));
    std::fstream(fs::u8path(path), std::ios::in | std::ios::out | std::ios::binary) << bytes;
    fs::last_write_time(fs::u8path(path), time);
    return bytes;
}

// Whether the system exchanges two files in one step, found before any run.
bool systemExchanges() {
    const MapFolder probe(kMinimalScript);
    return platform::exchangeFiles(probe.map, probe.library, nullptr) == platform::Exchange::kDone;
}

TEST(Store, ASaveByAnotherProgramAtAnyStepSurvives) {
    // Where the system cannot exchange, it says so (EINVAL, as vfat and exfat answer), and the run renames instead.
    const TempFolder folder;
    fs::create_directory(fs::u8path(folder.file("sub")));
    EXPECT_EQ(platform::exchangeFiles(folder.path, folder.file("sub"), nullptr), platform::Exchange::kUnsupported);
    const bool exchanges = systemExchanges();
    if (!exchanges) std::cout << "This system cannot exchange two files: a save just before the rename is not tried.\n";
    if (platform::openFilesBlockReplacement()) std::cout << "Open files cannot be replaced here: no save by rename during the copy.\n";
    const int moments[] = {kDuringCopy, static_cast<int>(StoreStep::kCopied), static_cast<int>(StoreStep::kScriptRead),
                           static_cast<int>(StoreStep::kEntryStored), static_cast<int>(StoreStep::kReadBack),
                           kDuringFlush, static_cast<int>(StoreStep::kFlushed), static_cast<int>(StoreStep::kLastCheck)};
    // The copy exchanged with the map, renamed over it where the system cannot exchange, and written to NEW; a map
    // folder's script file processed in place, and the folder packed into NEW.
    enum How { kExchange, kRename, kOutput, kFolder, kPack };
    for (const How how : {kExchange, kRename, kOutput, kFolder, kPack})
        for (bool inPlace : {false, true})
            for (int at : moments) {
                if (at == static_cast<int>(StoreStep::kLastCheck) && ((how != kExchange && how != kFolder) || !exchanges)) continue;
                if (at == kDuringCopy && !inPlace && platform::openFilesBlockReplacement()) continue;
                SCOPED_TRACE("how " + std::to_string(how) + ", moment " + std::to_string(at) + (inPlace ? ", in place" : ", by rename"));
                const bool folderMap = how >= kFolder;
                const MapFolder archive(kMinimalScript);
                const MapFolder folder({{"war3map.j", kMinimalScript}, {"war3map.w3e", "terrain"}}, kLibraryFile, "func.j");
                const std::string map = folderMap ? platform::joinPath(folder.map, "war3map.j") : archive.map;
                const std::string root = folderMap ? folder.folder.path : archive.folder.path;
                std::string saved;
                atMoment = {{at, [&] { saved = saveAsEditor(map, inPlace); }}};
                std::vector<std::string> options;
                if (how == kOutput || how == kPack) options = {"--output", platform::joinPath(root, "new.w3x")};
                const SystemOps system = systemWith(how == kRename ? 8 : 0);
                EXPECT_EQ((folderMap ? folder.run(standin, system, options) : archive.run(standin, system, options)).err,
                          "The map " + map + " was changed by another program while ostrel worked on it; it was left as "
                          "that program wrote it.\n");
                EXPECT_EQ(readFile(map), saved);
                EXPECT_EQ(treeOf(root).size(), folderMap ? 3u : 2u);  // nothing left behind
            }
}

// The room the system tables of a test give: budget bytes in a map's folder, less what the run's copies take there;
// plenty in the temporary folder, or none where it is full.
uint64_t budget = 0;
bool temporaryFull = false;
int created = 0;  // files the run made
SystemOps systemWithRoom() {
    created = 0;
    SystemOps ops = platformSystemOps();
    ops.createNewFile = [](const std::string& path, platform::File* file, bool* exists, std::string* err) {
        return ++created, platform::createNewFile(path, file, exists, err);
    };
    ops.freeSpace = [](const std::string& folder, uint64_t* bytes) {
        if (folder == platform::temporaryFolder()) return *bytes = temporaryFull ? 0 : 1ull << 40, true;
        uint64_t taken = 0;
        for (const std::string& name : sortedNames(folder)) {
            platform::FileState state;
            if (name.rfind(".o", 0) == 0 && platform::pathState(platform::joinPath(folder, name), &state)) taken += state.size;
        }
        return *bytes = budget > taken ? budget - taken : 0, true;
    };
    return ops;
}

// A map folder as the map editor saves one: its script (under a name of mixed case for Lua), the terrain, imported
// files in subfolders with spaces, mixed-case and non-ASCII names, and files that are not the map's (names that start
// with ".").
StandinEntries editorFolder(bool lua, const std::string& script) {
    return {{lua ? "War3map.lua" : "war3map.j", script}, {"war3map.w3e", std::string("terrain\0data", 12)},
            {"war3mapImported/Hero Model.MDX", "model"}, {u8"war3mapImported/Sub Dir/Значок.blp", "icon"},
            {".gitkeep", ""}, {"war3mapImported/.Icon.blp.swp", "swap"}};
}

TEST(Folder, AMapFolderIsProcessedInPlaceCheckedAndPacked) {
    for (const bool lua : {false, true}) {
        SCOPED_TRACE(lua ? "Lua" : "the game's language");
        const std::string script = lua ? "gg_trg_Melee = nil\r\nfunction Bolt()\r\n    --! Spell_Cast A000\r\nend\r\n"
                                         "@Bfunction main()\r\n@Cend\r\n"
                                       : "globals\r\n@Gendglobals\r\nfunction Bolt takes nothing returns nothing\r\n"
                                         "    //! Spell_Cast A000\r\nendfunction\r\n@B" + kMain + "\r\n@Cendfunction\r\n";
        const std::string stored = spliced(script, lua ? "    AddToCache(\"cast\", FourCC(\"A000\"), Bolt)\n"
                                                       : "    call AddToCache(\"cast\",'A000',function Bolt)\n", lua);
        // A NUL in war3map.j ends its script, as in a map archive; war3map.j comes before war3map.lua.
        StandinEntries files = editorFolder(lua, unmarked(script) + (lua ? "" : std::string("\0after", 6)));
        if (!lua) files.push_back({"war3map.lua", "-- not the map's script"});
        MapFolder f(files, lua ? kLuaLibraryFile : kLibraryFile, lua ? "func.lua" : "func.j");
        // The check lists what a run registers, and makes no file, not even to remove it again.
        budget = 1ull << 40;
        const ProcessResult check = f.run(standin, systemWithRoom(), {"--check"});
        EXPECT_EQ(check.out + check.err, lua ? "line 3: Bolt Spell_Cast FourCC(\"A000\")\n" : "line 4: Bolt Spell_Cast 'A000'\n");
        EXPECT_EQ(created, 0);
        // Packed: every file of the map, named with "\\", the script as every map archive holds it.
        fs::create_directory(fs::u8path(f.folder.file("release")));
        ASSERT_EQ(f.run(standin, platformSystemOps(), {"--output", f.folder.file("release")}).err, "");
        const std::string packed = platform::joinPath(f.folder.file("release"), "My Map.w3x");
        std::map<std::string, std::string> entries = {
            {lua ? "war3map.lua" : "war3map.j", lua ? stored : stored + '\0'}, {"war3map.w3e", std::string("terrain\0data", 12)},
            {"war3mapImported\\Hero Model.MDX", "model"}, {u8"war3mapImported\\Sub Dir\\Значок.blp", "icon"}};
        if (!lua) entries["war3map.lua"] = "-- not the map's script";
        EXPECT_EQ(standinEntries(packed), entries);
        // In place: the script file as the map editor writes it, the text alone; every other file as it was.
        ASSERT_EQ(f.run(standin, platformSystemOps()).err, "");
        f.tree["My Map.w3x/" + std::string(lua ? "War3map.lua" : "war3map.j")] = stored;
        f.tree["release/My Map.w3x"] = readFile(packed);
        EXPECT_EQ(treeOf(f.folder.path), f.tree);
    }
}

TEST(Folder, WhatCannotBeReadOrPackedStopsTheRunAndLeavesEveryFile) {
    const StandinEntries map = {{"war3map.j", kMinimalScript}, {"war3map.w3e", "terrain"}};
    SystemOps unreadable = systemWith();
    unreadable.openRegularFile = [](const std::string& path, platform::File* file, std::string* err) {
        if (platform::nameOf(path) == "war3map.w3e") return *err = "no", platform::OpenResult::kFailed;
        return platform::openRegularFile(path, file, err);
    };
    unreadable.folderNames = [](const std::string& folder, std::vector<std::string>* names, std::string* err) {
        return platform::nameOf(folder) == "Lost" ? (*err = "no", false) : platform::folderNames(folder, names, err);
    };
    const struct {
        StandinEntries files;
        std::string output, line;
        SystemOps system = platformSystemOps();
        ArchiveOps archive = standin;
    } cases[] = {
        {{{"war3map.w3e", "terrain"}, {"Scripts/war3map.j", kMinimalScript}}, "",
         "The map folder MAP holds no war3map.j or war3map.lua."},
        {map, "My Map.w3x/sub/new.w3x", "The output * lies in the map folder MAP; give a name outside it."},
        {{{"war3map.j", kMinimalScript}, {"a;b.txt", ""}}, "new.w3x", "The file * cannot go into a map archive: its name "
                                                                      "holds a character that a map archive's name list cannot hold."},
        // Where the file system tells names apart by letter case only.
        {{{"war3map.j", kMinimalScript}, {"Units/a.txt", ""}, {"units/A.TXT", ""}}, "new.w3x", "The file * cannot go into a "
         "map archive: another file's name differs from its name only in letter case."},
        {map, "new.w3x", "Couldn't read the file * of the map folder: no", unreadable},
        {{{"war3map.j", kMinimalScript}, {"Lost/a.mdx", "model"}}, "new.w3x", "Couldn't list the folder * of the map folder: no", unreadable},
        {map, "new.w3x", "The map folder MAP was changed by another program while ostrel packed it (*); NEW was left as it was.",
         systemWith()},
        {map, "new.w3x", "The map archive NEW did not read back as written; it was left as it was.", platformSystemOps(), opsWith(13)},
    };
    for (const auto& c : cases) {
        MapFolder f(c.files, kLibraryFile);
        if (f.tree.size() < c.files.size() + 1) continue;  // two names that are one here
        fs::create_directories(fs::u8path(f.folder.file("My Map.w3x/sub")));
        atMoment = {{static_cast<int>(StoreStep::kEntryStored), [&] {
                         writeFile(f.map + "/war3map.w3e", "saved");
                         f.tree["My Map.w3x/war3map.w3e"] = "saved";
                     }}};
        f.expectStop(f.run(c.archive, c.system, c.output.empty() ? std::vector<std::string>{}
                                                                  : std::vector<std::string>{"--output", f.folder.file(c.output)}),
                     c.line);
        atMoment.clear();
    }
}

TEST(Store, UndoingTheExchangeNeverRemovesAnotherProgramsSave) {
    if (!systemExchanges()) return void(std::cout << "This system cannot exchange two files: nothing to undo.\n");
    const std::string twice = "The map MAP was saved more than once by another program while ostrel worked on it; "
                              "ostrel left the map as that program wrote it, and kept its other save as *.";
    // A second save as the undo starts, by rename or in place into the copy under the map's name, or during the
    // undo's own exchange; the undo failing.
    const struct {
        bool second, inPlace;
        int failingExchange;
        std::string line;
        int moment = static_cast<int>(StoreStep::kReplaced);
    } cases[] = {
        {true, false, 0, twice},
        {true, true, 0, twice},
        {true, false, 0, twice, kDuringUndo},
        {false, false, 2, "The map MAP was changed by another program while ostrel worked on it, and ostrel could not "
                          "put that program's file back (no); it is *."},
    };
    for (const auto& c : cases) {
        MapFolder f(kMinimalScript);
        std::vector<std::string> saves;
        atMoment[static_cast<int>(StoreStep::kLastCheck)] = [&] { saves.push_back(saveAsEditor(f.map, false, "DAT1")); };
        if (c.second)
            atMoment[c.moment] = [&] { saves.push_back(saveAsEditor(f.map, c.inPlace, "DAT2")); };
        exchangesBeforeFailure = c.failingExchange;
        const std::string line = named(c.line, {{"MAP", f.map}});
        const ProcessResult result = f.run(standin, systemWith());
        exchangesBeforeFailure = 0;
        EXPECT_TRUE(matches(result.err, line + "\n")) << result.err;
        // Every save is in the folder; the map holds the last one where the undo could be made.
        ASSERT_EQ(saves.size(), c.second ? 2u : 1u);
        for (const auto& [name, bytes] : treeOf(f.folder.path)) saves.erase(std::remove(saves.begin(), saves.end(), bytes), saves.end());
        EXPECT_TRUE(saves.empty());
        EXPECT_TRUE(!c.second || c.moment == kDuringUndo || readFile(f.map).find("DAT2") != std::string::npos);
    }
    // A copy that another program replaced under the copy's name is that program's file: it stays.
    MapFolder f(kMinimalScript);
    atMoment[static_cast<int>(StoreStep::kFlushed)] = [&] {
        for (const std::string& name : sortedNames(f.folder.path))
            if (name.rfind(".ostrel-", 0) == 0 && name.find(".tmp") == std::string::npos) writeFile(f.folder.file(name), "theirs");
        saveAsEditor(f.map, false);
    };
    f.run(standin, systemWith());
    const std::map<std::string, std::string> tree = treeOf(f.folder.path);
    EXPECT_TRUE(std::any_of(tree.begin(), tree.end(), [](const auto& file) { return file.second == "theirs"; }));
}

TEST(ContentHash, EveryByteCountsWhereverThePiecesSplit) {
    // The hash of 200 bytes, in two pieces split at a place; with the byte there changed.
    const auto hash = [](std::size_t at, bool change) {
        std::string bytes(200, 'x');
        if (change) bytes[at] = 'y';
        ContentHash content;
        content.add(bytes.data(), at);
        content.add(bytes.data() + at, bytes.size() - at);
        return content.value();
    };
    for (std::size_t at = 0; at < 200; ++at) EXPECT_TRUE(hash(at, false) == hash(0, false) && hash(at, true) != hash(0, false)) << at;
}

TEST(Store, TheCopyNeverTakesAnExistingNameNorAMapHeldOpen) {
    MapFolder f(kMinimalScript);
    // Other files have the copy's first name and the compaction's second one.
    const std::string stem = f.folder.file(".ostrel-" + std::to_string(platform::processId()));
    writeFile(stem + "-0", "someone's");
    writeFile(stem + "-1.tmp", "someone else's");
    EXPECT_EQ(f.run().exitCode, 0);
    EXPECT_EQ(readFile(stem + "-0") + readFile(stem + "-1.tmp"), "someone'ssomeone else's");
    EXPECT_EQ(sortedNames(f.folder.path).size(), 4u);
    // A map held open by another program (also one that shares writing, not deleting): where that blocks the rename,
    // the run and the check stop before a copy; else both succeed.
    for (const bool sharesWriting : {false, true}) {
        MapFolder held(kMinimalScript);
        platform::File open = holdOpen(held.map, sharesWriting);
        ASSERT_TRUE(open.isOpen());
        for (const std::vector<std::string>& options : {std::vector<std::string>{"--check"}, std::vector<std::string>{}}) {
            const ProcessResult result = held.run(standin, platformSystemOps(), options);
            if (platform::openFilesBlockReplacement()) held.expectStop(result, "Couldn't open the map file MAP for writing*");
            else EXPECT_EQ(result.exitCode, 0) << result.err;
        }
    }
}

TEST(Store, TheCheckStopsWhereTheRunWouldForRoomTheTemporaryFolderAndPathLength) {
    const std::string script = "globals\nendglobals\n" + kMain + "\nendfunction\n" + std::string(3000, '\n');
    budget = 1ull << 40;
    const MapFolder done(script);
    ASSERT_EQ(done.run(standin, systemWithRoom()).exitCode, 0);
    const int64_t mapSize = static_cast<int64_t>(done.before.size());
    const std::size_t stored = standinEntry(done.map, "war3map.j").size() - 1;
    // The room a run needs: twice the map and 1 MiB before the new script is known, twice the map and the new script
    // and 1 MiB once it is; what the run's own copy takes counts as free. Less than the first: the run and the check
    // stop before anything is copied; less than the second: they stop after the rewrite; that much: both go on.
    const uint64_t before = 2 * mapSize + (1u << 20), after = before + 2 * stored;
    for (const uint64_t room : {before - 1, after - 1, after}) {
        SCOPED_TRACE(room);
        budget = room;
        const MapFolder f(script);
        for (const std::vector<std::string>& options : {std::vector<std::string>{"--check"}, std::vector<std::string>{}}) {
            const ProcessResult result = f.run(standin, systemWithRoom(), options);
            if (room == after) {
                EXPECT_EQ(result.exitCode, 0) << result.err;
                continue;
            }
            f.expectStop(result, "There is not room enough for the new map in " + f.folder.path + ": ostrel needs about *");
            // The figures in mebibytes, to a tenth, rounded up.
            double need = 0, free = 0;
            ASSERT_EQ(std::sscanf(result.err.c_str() + result.err.find("about"), "about %lf MiB there for its working copies, "
                                  "and %lf MiB are free.", &need, &free), 2) << result.err;
            for (const auto& [figure, bytes] : {std::pair<double, double>(need, room == before - 1 ? before : after), {free, room}})
                EXPECT_TRUE(figure * (1 << 20) >= bytes && figure * (1 << 20) < bytes + (1 << 20) / 10.0) << figure;
            EXPECT_TRUE(room != before - 1 || created == 0) << created;
        }
    }
    // The check makes its copy in the system's temporary folder; where that is full, or not there, where the run would
    // (and removes it).
    budget = 1ull << 40;
    const MapFolder f(script);
    static std::string folder;
    static std::vector<std::string> copies;  // what the folder held once the map was copied
    SystemOps watched = systemWithRoom();
    watched.atStep = [](StoreStep step) { if (step == StoreStep::kCopied) copies = sortedNames(folder); };
    const std::string temporary = platform::temporaryFolder();
    folder = f.folder.file("temporary");
    fs::create_directory(fs::u8path(folder));
    useTemporaryFolder(folder);
    EXPECT_EQ(f.run(standin, watched, {"--check"}).exitCode, 0);
    EXPECT_EQ(copies.size(), 2u);  // the copy and its compaction's file
    folder = f.folder.path;
    temporaryFull = true;
    EXPECT_EQ(f.run(standin, watched, {"--check"}).exitCode, 0);
    EXPECT_EQ(copies.size(), 5u);  // beside the map
    temporaryFull = false;
    useTemporaryFolder(f.folder.file("absent"));
    EXPECT_EQ(f.run(standin, systemWithRoom(), {"--check"}).exitCode, 0);
    useTemporaryFolder(temporary);
    EXPECT_EQ(sortedNames(f.folder.path), (std::vector<std::string>{"func.j", "map.w3x", "temporary"}));
    // A folder whose path leaves little room under the archive library's limit (room for the long name, not for its
    // compaction's beside it): the copy gets a short name; where not even that fits, the run and the check stop alike.
    ArchiveOps limited = standin;
    limited.pathLimit = platform::joinPath(f.folder.path, ".ostrel-" + std::to_string(platform::processId()) + "-0").size();
    EXPECT_EQ(f.run(limited, watched).exitCode, 0);
    EXPECT_EQ(copies, (std::vector<std::string>{".o0", ".o0.tmp", "func.j", "map.w3x", "temporary"}));
    limited.pathLimit = f.folder.path.size() + 3;
    const MapFolder tight(script);
    for (const std::vector<std::string>& options : {std::vector<std::string>{"--check"}, std::vector<std::string>{}})
        tight.expectStop(tight.run(limited, platformSystemOps(), options), "Couldn't create a temporary copy of the map "
                         "in " + tight.folder.path + ": its path would be longer than the map archive library takes (*");
}

TEST(Modes, CheckShowsWhatARunWouldDoInEitherLanguageAndChangesNothing) {
    // On a Lua map: its registrations in the order of the kinds, and the warnings of the Lua scan.
    const MapFolder lua = luaMap(unmarked(kLuaShapes));
    const ProcessResult luaCheck = lua.run(standin, platformSystemOps(), {"--check"});
    EXPECT_EQ(luaCheck.out, "line 6: Spells.Fire Spell_Effect FourCC(\"A001\")\nline 9: Spells.Fire Spell_Effect "
                            "FourCC(\"A002\")\nline 34: Later Spell_Finish FourCC(\"A003\")\nline 12: Boot OnInit\n");
    const std::string fire = "warning: The Spell_Effect directive's function Spells.Fire takes parameters; they will "
                             "be nil when it is called. (line ", onInit = "warning: The OnInit directive ";
    EXPECT_EQ(luaCheck.err, fire + "6)\n" + fire + "9)\n" + onInit + "in an anonymous function is not registered. "
                            "(line 15)\n" + onInit + "in a method is not registered. (line 18)\n" + onInit +
                            "in a function that is not at the top level is not registered. (line 22)\n" + onInit +
                            "outside any function is not registered. (line 25)\n");
    // A header Lua does not take registers nothing, nor does its name reach a line.
    const ProcessResult unreadable = luaMap("function A\nB()\n    --! OnInit\nend\nfunction main()\nend\n")
                                         .run(standin, platformSystemOps(), {"--check"});
    EXPECT_EQ(unreadable.out + unreadable.err, onInit + "in a function whose header Lua cannot read is not registered. "
                                               "(line 3)\n");
    // A name longer than any buffer the list goes through is listed whole.
    const std::string longName(70000, 'F');
    const MapFolder named("globals\nendglobals\nfunction " + longName + " takes nothing returns nothing\n    //! OnInit\nendfunction\n" + kMain +
                          "\nendfunction\n");
    EXPECT_EQ(named.run(standin, platformSystemOps(), {"--check"}).out, "line 4: " + longName + " OnInit\n");
    // On a map in the game's language.
    MapFolder f("//! Oninit\nglobals\ncode ref_function_Bolt=null\nendglobals\n"
                "function Bolt takes nothing returns nothing //! Spell_Cst A001\n    //! Order_Point move\n    //! OnInit\n"
                "    //! Spell_cast A000\n    //! Spell_Casts A000\n    //! textmacro X\n    //!  Spell_Cast A000\n"
                "    //! OnInit()\n    //! Spell_Cast A000\n    //! Spell_Cast A000\n    //! OnInit\nendfunction //! Onlnit\n" +
                kMain + "\nendfunction\n");
    const ProcessResult check = runInProcess({"--check", f.map}, standin, f.folder.path);
    EXPECT_EQ(check.exitCode, 0);
    EXPECT_EQ(check.out, "line 13: Bolt Spell_Cast 'A000'\nline 14: Bolt Spell_Cast 'A000'\nline 7: Bolt OnInit\n"
                         "line 15: Bolt OnInit\nline 6: Bolt Order_Point 'move'\n");
    // Near keys outside a function, on a header and on an endfunction line; 'move', two near keys, two separators, a
    // key run on, two repeats.
    std::string lines;
    for (std::size_t at = check.err.find("(line "); at != std::string::npos; at = check.err.find("(line ", at + 1))
        lines += check.err.substr(at + 6, check.err.find(')', at) - at - 6) + " ";
    EXPECT_EQ(lines, "1 5 6 8 9 11 12 14 15 16 ") << check.err;
    EXPECT_NE(check.err.find("\"Spell_cast\" is no directive key; did you mean Spell_Cast? (line 8)"), std::string::npos);
    EXPECT_NE(check.err.find("warning: Bolt is registered for OnInit a second time (first on line 7); it will run twice. "
                             "(line 15)\n"), std::string::npos);
    EXPECT_NE(check.err.find("character code 'move'"), std::string::npos);
    EXPECT_TRUE(treeOf(f.folder.path) == f.tree);
    // A run that would stop says so as the run would, last.
    std::remove(f.folder.file("func.j").c_str());
    const ProcessResult stop = runInProcess({"--check", f.map}, standin, f.folder.path);
    EXPECT_EQ(stop.exitCode, 1);
    EXPECT_EQ(stop.out, check.out);  // what the scan found is shown all the same
    EXPECT_TRUE(matches(stop.err.substr(stop.err.rfind("Could not")), kLibraryMessage));
}

TEST(Modes, CheckCountsLinesAsTheCompilersDoAndWarnsOnlyOfRealMisses) {
    // CR, LF, CR LF; in Lua also LF CR. A key run on into more of a name is no near miss; a function registered again
    // for the same key with another value, or another function for the same key and value, is no repeat.
    const MapFolder game("globals\nendglobals\nfunction A takes nothing returns nothing\n    set x = 0\rendfunction\r"
                         "function B takes nothing returns nothing\r\n    //! Spell_Cast A000\n    //! Spell_Cast A001\n"
                         "    //! Spell_Effect A000\n    //! OnInitialize\nendfunction\nfunction C takes nothing returns "
                         "nothing\n    //! Spell_Cast A000\nendfunction\n" + kMain + "\nendfunction\n");
    const ProcessResult check = game.run(standin, platformSystemOps(), {"--check"});
    EXPECT_EQ(check.out + check.err, "line 7: B Spell_Cast 'A000'\nline 8: B Spell_Cast 'A001'\n"
                                     "line 13: C Spell_Cast 'A000'\nline 9: B Spell_Effect 'A000'\n");
    const ProcessResult lua = luaMap("function A()\n\r    --! OnInit\r\nend\rfunction main()\n\r\n\n\r\r--! OnInit\nend\n")
                                  .run(standin, platformSystemOps(), {"--check"});
    EXPECT_EQ(lua.out, "line 2: A OnInit\nline 8: main OnInit\n");
    // One function registered for one key with many values: no repeat, wherever the values fall in the search.
    std::string many = "globals\nendglobals\nfunction F takes nothing returns nothing\n";
    for (int i = 1; i < 60; ++i) many += "    //! Spell_Cast " + std::to_string(i * 7919 % 100003) + "\n";
    EXPECT_EQ(MapFolder(many + "endfunction\n" + kMain + "\nendfunction\n").run(standin, platformSystemOps(), {"--check"}).err, "");
}

TEST(Modes, OutputWritesTheProcessedMapToARegularFileOrIntoAFolder) {
    MapFolder f(kMinimalScript);
    const std::string out = f.folder.file("release.w3x"), releases = f.folder.file("releases");
    writeFile(out, "an older release");
    fs::create_directory(fs::u8path(releases));
    for (const std::string& given : {out, releases + "/"}) {
        EXPECT_EQ(f.run(standin, platformSystemOps(), {"--output", given}).exitCode, 0) << given;
        EXPECT_EQ(standinEntry(given == out ? out : releases + "/map.w3x", "war3map.w3e"), std::string("terrain\0data", 12));
    }
    EXPECT_EQ(readFile(f.map), f.before);
    // Not onto the map itself, however it is named, nor into a folder that is not there.
    f.tree = treeOf(f.folder.path);
    for (const std::string& wrong : {f.map, f.folder.path + "/./map.w3x", f.folder.path + "/", out + "/"})
        f.expectStop(f.run(standin, platformSystemOps(), {"--output", wrong}), wrong == out + "/"
                     ? "The output " + wrong + " names no folder."
                     : "The output * is the map itself; give another name to write the processed map to.");
}

}  // namespace
