// The tool as its own process, with the stand-in archive: the command line,
// where the library is found, paths in any script, read-only maps and
// signals. These run on Windows too.
#include <gtest/gtest.h>
#include <csignal>
#include <filesystem>
#include "base/platform.h"
#include "base/system_ops.h"
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
}

TEST(CommandLine, OptionsStandAnywhereAndOnlyRealOnesCount) {
    using Mode = Request::Mode;
    const struct {
        std::vector<std::string> args;
        Mode mode;
        std::string map = "", output = "";
    } cases[] = {
        {{"m.w3x", "ignored"}, Mode::kRun, "m.w3x"},
        {{"m.w3x", "--check"}, Mode::kCheck, "m.w3x"},
        {{"m.w3x", "--output", "n.w3x"}, Mode::kOutput, "m.w3x", "n.w3x"},
        {{"--output=-n.w3x", "m.w3x"}, Mode::kOutput, "m.w3x", "-n.w3x"},
        {{"--", "--check"}, Mode::kRun, "--check"},
        {{"m.w3x", "--help"}, Mode::kHelp},
        {{"--output", "--check", "m.w3x"}, Mode::kUsage}, {{"--output", "", "m.w3x"}, Mode::kUsage},
        {{"m.w3x", "--output"}, Mode::kUsage},          {{"--output=", "m.w3x"}, Mode::kUsage},
        {{"--chek", "m.w3x"}, Mode::kUsage},            {{"--check", "--output", "n", "m"}, Mode::kUsage},
        {{"--check", "--check", "m"}, Mode::kUsage},    {{""}, Mode::kUsage},
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
    }
    // A map that is not there: the line names it and says why.
    EXPECT_TRUE(matches(runInProcess({"absent.w3x"}, ArchiveOps{}, ".").err,
                        "Couldn't open the map mpq file for reading. absent.w3x: *\n"));
}

TEST(LibraryLookup, WorkingFolderThenTheExecutablesFolderThenShare) {
    TempFolder root;
    const std::string bin = root.file("bin"), share = root.file("share/ostrel"), cwd = root.file("maps");
    for (const std::string& folder : {bin, share, cwd}) fs::create_directories(fs::u8path(folder));
    const std::string tool = bin + "/" + OSTREL_STANDIN_NAME;
    ASSERT_TRUE(fs::copy_file(fs::u8path(kStandinTool), fs::u8path(tool)));
    const auto run = [&] {
        writeStandinMap(cwd + "/map.w3x", kMinimalScript);
        return runProcess(tool, {"map.w3x"}, cwd);
    };
    EXPECT_TRUE(matches(run().err, kLibraryMessage));
    writeShippedLibrary(share);
    EXPECT_EQ(run().exitCode, 0);
    writeFile(bin + "/func.j", "// not the shipped one\n");  // beside the executable, before share
    EXPECT_NE(run().err.find("bin/func.j defines no function"), std::string::npos);
    writeShippedLibrary(cwd);  // the working folder comes first
    EXPECT_EQ(run().exitCode, 0);
}

TEST(Paths, AnyScriptInANameWorks) {
    TempFolder root;
    const std::string folder = root.file(u8"Карты 地图 é"), map = folder + u8"/Тест 测试.w3x";
    ASSERT_TRUE(fs::create_directory(fs::u8path(folder)));
    writeShippedLibrary(root.path);
    for (const std::string& given : {map, std::string(u8"Карты 地图 é/Тест 测试.w3x")}) {
        writeStandinMap(map, kMinimalScript);
        const ProcessResult result = runProcess(kStandinTool, {given}, root.path);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_NE(standinEntry(map, "war3map.j").find("call Add_Commands()"), std::string::npos);
        EXPECT_EQ(sortedNames(folder).size(), 1u);
    }
}

TEST(Paths, WhatTheUserMayNotReplaceStopsTheRunAndTheCheckAlike) {
    // Run as another user where the tests run as root, who may write anything.
    const bool root = runningAsRoot();
    const int user = root ? kUnprivilegedUid : -1;
    enum Case { kReadOnlyMap, kReadOnlyFolder, kStickyFolder };
    std::vector<Case> cases = {kReadOnlyMap};
#ifndef _WIN32
    cases.push_back(kReadOnlyFolder);
    if (root) cases.push_back(kStickyFolder);
    else std::cout << "Not run as root: a map of another user in a sticky folder is not tried.\n";
#endif
    for (const Case c : cases) {
        SCOPED_TRACE("case " + std::to_string(c));
        TempFolder stage;
        const std::string folder = stage.file("maps"), map = folder + "/map.w3x";
        ASSERT_TRUE(fs::create_directory(fs::u8path(folder)));
        writeStandinMap(map, kMinimalScript);
        writeShippedLibrary(stage.path);
        const std::string tool = stage.file(OSTREL_STANDIN_NAME);  // a copy the user may run
        ASSERT_TRUE(fs::copy_file(fs::u8path(kStandinTool), fs::u8path(tool)));
        fs::permissions(fs::u8path(stage.path), fs::perms::all);
        const fs::perms read = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
        const fs::perms write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
        const fs::perms search = fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
        fs::permissions(fs::u8path(map), c == kReadOnlyMap ? read : read | write);
        fs::permissions(fs::u8path(folder), c == kReadOnlyFolder ? read | search
                                            : c == kStickyFolder ? fs::perms::all | fs::perms::sticky_bit
                                                                 : fs::perms::all);
        if (c == kStickyFolder) chownToOtherUser(map);
        const std::string before = readFile(map);
        const ProcessResult ran = runProcess(tool, {map}, stage.path, user);
        const ProcessResult checked = runProcess(tool, {"--check", map}, stage.path, user);
        const std::string line = c == kReadOnlyMap ? "Couldn't open the map file " + map + " for writing: *\n"
                                                   : "Couldn't create a temporary copy of the map in " + folder + ": *\n";
        EXPECT_EQ(ran.exitCode, 1);
        EXPECT_TRUE(matches(ran.err, line)) << ran.err;
        EXPECT_EQ(checked.exitCode, 1);
        EXPECT_EQ(checked.err, ran.err);
        EXPECT_EQ(readFile(map), before);
        EXPECT_EQ(sortedNames(folder).size(), 1u);
    }
}

#ifndef _WIN32
TEST(Paths, ACheckWhoseOutputIsClosedOrFullSaysSo) {
    TempFolder folder;
    writeStandinMap(folder.file("map.w3x"),
                    "globals\nendglobals\nfunction F takes nothing returns nothing\n    //! OnInit\nendfunction\n" + kMain +
                        "\nendfunction\n");
    writeShippedLibrary(folder.path);
    for (const char* output : {">&-", ">/dev/full"}) {
        const ProcessResult result = runProcess("/bin/sh", {"-c", "exec \"$0\" --check map.w3x " + std::string(output),
                                                            kStandinTool}, folder.path);
        EXPECT_EQ(result.exitCode, 1) << output;
        EXPECT_TRUE(matches(result.err, "Couldn't write the registrations to the standard output: *\n")) << result.err;
    }
}
#endif

TEST(Signals, EveryEndingSignalRemovesTheCopyAndEndsAsItWould) {
    const std::string stop = "ostrel was stopped before it finished; the map map.w3x was left as it was.\n";
    const std::string crash =
        "ostrel stopped on a fault while reading or writing the map map.w3x (the map may be damaged); the map was left as it was.\n";
    const int stored = static_cast<int>(StoreStep::kReplaced);
    const struct {
        int signal;
        std::string line;
        int step = static_cast<int>(StoreStep::kScriptRead);
        bool output = false;
    } cases[] = {
        {SIGINT, stop}, {SIGTERM, stop}, {SIGSEGV, crash}, {SIGABRT, crash}, {SIGFPE, crash}, {SIGILL, crash},
        {SIGINT, stop, static_cast<int>(StoreStep::kFlushed), true},
        {SIGINT, "ostrel was stopped after it had stored the map map.w3x.\n", stored},
        {SIGTERM, "ostrel was stopped after it had stored the processed map in new.w3x; the map map.w3x was left as it was.\n",
         stored, true},
#ifndef _WIN32
        {SIGHUP, stop}, {SIGQUIT, stop}, {SIGBUS, crash}, {SIGUSR1, stop}, {SIGALRM, stop}, {SIGXCPU, stop},
        {SIGPROF, stop}, {SIGRTMIN, stop}, {SIGRTMAX, stop},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("signal " + std::to_string(c.signal) + " after step " + std::to_string(c.step));
        TempFolder folder;
        writeStandinMap(folder.file("map.w3x"), kMinimalScript);
        writeShippedLibrary(folder.path);
        writeFile(folder.file("standin-raise"), std::to_string(c.signal) + " " + std::to_string(c.step));
        std::vector<std::string> args = {"map.w3x"};
        if (c.output) args = {"map.w3x", "--output", "new.w3x"};
        const ProcessResult result = runProcess(kStandinTool, args, folder.path);
        EXPECT_TRUE(c.line == crash ? result.exitCode == 1 : endedBySignal(result, c.signal)) << result.exitCode;
        EXPECT_EQ(result.err, c.line);
        const bool mapStored = c.step == stored && !c.output;
        EXPECT_EQ(standinEntry(folder.file("map.w3x"), "war3map.j") == kMinimalScript, !mapStored);
        std::vector<std::string> names = {"func.j", "map.w3x", "standin-raise"};
        if (c.step == stored && c.output) names.insert(names.begin() + 2, "new.w3x");
        EXPECT_EQ(sortedNames(folder.path), names);
    }
}

}  // namespace
