// The tool as its own process, with the stand-in archive: the command line, where the library is found, paths in any
// script, read-only maps and signals. These run on Windows too.
#include <gtest/gtest.h>
#include <csignal>
#include <filesystem>
#include "run/run.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;

TEST(CommandLine, UsageHelpAndVersionNeverReachTheArchive) {
    const ArchiveOps untouchable{};  // any call would end the test
    const ProcessResult bare = runInProcess({}, untouchable, ".");
    EXPECT_EQ(bare.exitCode, 1);
    EXPECT_TRUE(isOneLine(bare.err));
    EXPECT_EQ(bare.err.rfind("Usage: ostrel", 0), 0u);
    const ProcessResult help = runInProcess({"--help"}, untouchable, ".");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind(bare.err, 0), 0u);
    for (const char* option : {"--check MAP", "--output NEW MAP"}) EXPECT_NE(help.out.find(option), std::string::npos);
    const ProcessResult version = runProcess(kStandinTool, {"--version"}, ".");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("ostrel 1.", 0), 0u);
    // Help or a version that cannot be written is a failure, said in one line.
    for (const char* option : {"--help", "--version"}) {
        std::ostream unwritable(nullptr);
        std::ostringstream err;
        EXPECT_EQ(runOstrel({"ostrel", option}, Outside{untouchable, platformSystemOps(), {"."}}, unwritable, err), 1);
        EXPECT_TRUE(isOneLine(err.str())) << err.str();
    }
}

TEST(CommandLine, OptionsStandAnywhereAndOnlyRealOnesCount) {
    using Mode = Request::Mode;
    const struct {
        std::vector<std::string> args;
        Mode mode;
        std::string map = "", output = "";
        bool watch = false;
    } cases[] = {
        {{"m.w3x", "--watch", "--check"}, Mode::kCheck, "m.w3x", "", true},
        {{"--watch", "m.w3x", "--watch"}, Mode::kUsage},
        {{"m.w3x", "ignored"}, Mode::kRun, "m.w3x"},
        {{"m.w3x", "--check"}, Mode::kCheck, "m.w3x"},
        {{"m.w3x", "--output", "n.w3x"}, Mode::kOutput, "m.w3x", "n.w3x"},
        {{"--output=-n.w3x", "m.w3x"}, Mode::kOutput, "m.w3x", "-n.w3x"},
        {{"--", "--check"}, Mode::kRun, "--check"},
        {{"m.w3x", "--help"}, Mode::kHelp},
        {{"--output", "--check", "m.w3x"}, Mode::kUsage}, {{"--output", "", "m.w3x"}, Mode::kUsage},
        {{"m.w3x", "--output"}, Mode::kUsage},          {{"--output=", "m.w3x"}, Mode::kUsage},
        {{"--chek", "m.w3x"}, Mode::kUsage},            {{"--check", "--output", "n", "m"}, Mode::kUsage},
        {{"--check", "--check", "m"}, Mode::kUsage},    {{"", "m.w3x"}, Mode::kUsage},
        {{"--check"}, Mode::kUsage},
    };
    for (const auto& c : cases) {
        std::vector<std::string> line = {"ostrel"};
        line.insert(line.end(), c.args.begin(), c.args.end());
        const Request request = parseCommandLine(line);
        EXPECT_EQ(request.mode, c.mode) << line[1];
        if (c.mode == Mode::kUsage || c.mode == Mode::kHelp) continue;
        EXPECT_EQ(request.map, c.map);
        EXPECT_EQ(request.output, c.output);
        EXPECT_EQ(request.watch, c.watch);
    }
    // A map that is not there: the line names it and says why, in one line whatever the name holds.
    EXPECT_TRUE(matches(runInProcess({"absent\n\x01.w3x"}, ArchiveOps{}, ".").err,
                        "Couldn't open the map mpq file for reading. absent\\n\\x01.w3x: *\n"));
}

TEST(LibraryLookup, WorkingFolderThenTheExecutablesFolderThenShareForAMapOfAnyName) {
    TempFolder root;
    const std::string bin = root.file("bin"), share = root.file("share/ostrel"), cwd = root.file("maps");
    const std::string folder = cwd + u8"/Карты 地图 é", map = folder + u8"/Тест 测试.w3x";
    for (const std::string& made : {bin, share, folder}) fs::create_directories(fs::u8path(made));
    const std::string tool = bin + "/" + OSTREL_STANDIN_NAME;
    ASSERT_TRUE(fs::copy_file(fs::u8path(kStandinTool), fs::u8path(tool)));
    // A map in any script, given by its full path or by one relative to the working folder.
    const auto run = [&](const std::string& given) {
        writeStandinArchive(map, {{"war3map.j", kMinimalScript}});
        return runProcess(tool, {given}, cwd);
    };
    EXPECT_TRUE(matches(run(map).err, kLibraryMessage));
    EXPECT_NE(run(map).err.find("(looked for in " + cwd + ", " + bin + ", "), std::string::npos) << run(map).err;
    writeShippedLibrary(share);
    EXPECT_EQ(run(map).exitCode, 0);
    writeFile(bin + "/func.j", "// not the shipped one\n");  // beside the executable, before share
    EXPECT_NE(run(map).err.find(platform::joinPath(bin, "func.j") + " defines no function"), std::string::npos);
    writeShippedLibrary(cwd);  // the working folder comes first
    for (const std::string& given : {map, std::string(u8"Карты 地图 é/Тест 测试.w3x")}) {
        EXPECT_EQ(run(given).exitCode, 0) << given;
        EXPECT_NE(standinEntry(map, "war3map.j").find("call Add_Commands()"), std::string::npos);
        EXPECT_EQ(sortedNames(folder).size(), 1u);
    }
}

TEST(Paths, WhatTheUserMayNotReplaceStopsTheRunAndTheCheckAlike) {
    // Run as another user where the tests run as root, who may write anything.
    // In a sticky folder of their own, the user may replace another user's map.
    enum Case { kReadOnlyMap, kReadOnlyFolder, kStickyFolder, kOwnStickyFolder };
    std::vector<Case> cases = {kReadOnlyMap};
#ifndef _WIN32
    cases.push_back(kReadOnlyFolder);
    if (kRunningAsRoot) cases.insert(cases.end(), {kStickyFolder, kOwnStickyFolder});
    else std::cout << "Not run as root: a map of another user in a sticky folder is not tried.\n";
#endif
    for (const Case c : cases) {
        SCOPED_TRACE("case " + std::to_string(c));
        const MapFolder f(kMinimalScript, "");
        TempFolder stage;  // the working folder, with the library and a copy of the tool the user may run
        writeShippedLibrary(stage.path);
        const std::string tool = stage.file(OSTREL_STANDIN_NAME);
        ASSERT_TRUE(fs::copy_file(fs::u8path(kStandinTool), fs::u8path(tool)));
        fs::permissions(fs::u8path(stage.path), fs::perms::all);
        fs::permissions(fs::u8path(f.map), fs::perms(c == kReadOnlyMap ? 0444 : 0666));
        fs::permissions(fs::u8path(f.folder.path), fs::perms(c == kReadOnlyFolder ? 0555 : c >= kStickyFolder ? 01777 : 0777));
        if (c >= kStickyFolder) chownToOtherUser(f.map);
        if (c == kOwnStickyFolder) chownToOtherUser(f.folder.path, kUnprivilegedUid);
        const ProcessResult checked = runProcess(tool, {"--check", f.map}, stage.path, kUnprivilegedUid);
        const ProcessResult ran = runProcess(tool, {f.map}, stage.path, kUnprivilegedUid);
        if (c == kOwnStickyFolder) {
            EXPECT_EQ(checked.exitCode + ran.exitCode, 0) << checked.err << ran.err;
            continue;
        }
        f.expectStop(ran, c == kReadOnlyMap ? "Couldn't open the map file MAP for writing: *"
                                            : "Couldn't create a temporary copy of the map in " + f.folder.path + ": *");
        EXPECT_EQ(checked.err, ran.err);
    }
}

TEST(Notices, AChangeInAWatchedFolderOrUnderItIsNoticed) {
    // Windows gives notices from the folders under a watched one itself; wine gives none (the watch's slow look
    // covers that): only the notices ostrel asks for folder by folder are tried under them.
#ifdef _WIN32
    for (const bool tree : {false}) {
#else
    for (const bool tree : {false, true}) {
#endif
        TempFolder folder;
        fs::create_directory(fs::u8path(folder.file("sub")));
        platform::ChangeNotices notices;
        if (!platform::startNotices(folder.path, tree, &notices)) return void(std::cout << "No change notices here.\n");
        EXPECT_FALSE(platform::waitForNotice(notices, 0));
        writeFile(tree ? platform::joinPath(folder.file("sub"), "map.w3x") : folder.file("map.w3x"), "saved");
        EXPECT_TRUE(platform::waitForNotice(notices, 60000));  // the notice has come already: no wait
        EXPECT_FALSE(platform::waitForNotice(notices, 0));     // each notice is taken once
    }
}

TEST(Signals, EveryEndingSignalRemovesTheCopyAndEndsAsItWould) {
    const std::string stop = "ostrel was stopped before it finished; the map map.w3x was left as it was.\n";
    const std::string crash = "ostrel stopped on a fault of its own while working on the map map.w3x; the map was left as it was.\n";
    const std::string libraryCrash = "ostrel stopped: the map archive library crashed while working on the map map.w3x; the "
                                     "map was left as it was.\n";
    [[maybe_unused]] const int stored = static_cast<int>(StoreStep::kReplaced), lastCheck = static_cast<int>(StoreStep::kLastCheck);
    const struct {
        int signal;
        std::string line;
        int step = static_cast<int>(StoreStep::kScriptRead);
        bool output = false;
        int save = -1;  // the step after which another program saves the map
        bool watch = false;
    } cases[] = {
        {SIGINT, stop}, {SIGTERM, stop}, {SIGSEGV, crash}, {SIGABRT, crash}, {SIGFPE, crash}, {SIGILL, crash},
        {SIGSEGV, libraryCrash, -1},
        {SIGINT, stop, static_cast<int>(StoreStep::kReadBack), false, -1, true},  // in a round of a watch
        {SIGTERM, "ostrel stopped watching the map map.w3x.\n", -2, false, -1, true},  // between its rounds
        {SIGINT, stop, static_cast<int>(StoreStep::kFlushed), true},
        {SIGINT, "ostrel was stopped after it had stored the map map.w3x.\n", stored},
        {SIGTERM, "ostrel was stopped after it had stored the processed map in new.w3x; the map map.w3x was left as it was.\n",
         stored, true},
#ifndef _WIN32
        {SIGHUP, stop}, {SIGQUIT, stop}, {SIGBUS, crash}, {SIGUSR1, stop}, {SIGALRM, stop}, {SIGXCPU, stop},
        {SIGPROF, stop}, {SIGRTMIN, stop}, {SIGRTMAX, stop},
        // A signal right after the exchange waits until the exchange is checked, and undone for a save.
        {SIGINT, stop, stored, false, lastCheck},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("signal " + std::to_string(c.signal) + " after step " + std::to_string(c.step));
        const MapFolder f(kMinimalScript);
        writeFile(f.folder.file("standin-raise"),
                  std::to_string(c.signal) + " " + std::to_string(c.step) + " " + std::to_string(c.save));
        if (c.save >= 0) writeStandinArchive(f.folder.file("standin-save"), {{"war3map.j", "saved"}});
        const ProcessResult result = runProcess(kStandinTool, c.watch ? std::vector<std::string>{"--watch", "map.w3x"} : c.output ?
            std::vector<std::string>{"map.w3x", "--output", "new.w3x"} : std::vector<std::string>{"map.w3x"}, f.folder.path);
        EXPECT_TRUE(c.line == crash || c.line == libraryCrash ? result.exitCode == 1 : endedBySignal(result, c.signal))
            << result.exitCode;
        EXPECT_EQ(result.err, c.line);
        EXPECT_EQ(result.out.empty(), !c.watch);
        const std::string script = standinEntry(f.map, "war3map.j");
        if (c.save >= 0) EXPECT_EQ(script, "saved");
        else EXPECT_EQ(script == kMinimalScript, (c.step != stored && c.step != -2) || c.output);
        EXPECT_EQ(sortedNames(f.folder.path).size(), c.step == stored && c.output ? 4u : 3u);  // with new.w3x, where it was stored
    }
}

}  // namespace
