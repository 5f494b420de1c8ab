// The tool as its own process, with the stand-in archive: the command line,
// where the library is found, paths in any script, read-only maps and
// signals. These run on Windows too.
#include <gtest/gtest.h>
#include <csignal>
#include <filesystem>
#include "base/platform.h"
#include "base/system_ops.h"
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

TEST(Paths, AnyScriptInANameWorksAReadOnlyMapIsRefused) {
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
    // Another user may read everything and write in the folder, not the map.
    writeStandinMap(map, kMinimalScript);
    fs::permissions(fs::u8path(map), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(fs::u8path(root.path), fs::perms::all);
    fs::permissions(fs::u8path(folder), fs::perms::all);
    const std::string before = readFile(map), tool = root.file(OSTREL_STANDIN_NAME);  // a copy the user may run
    ASSERT_TRUE(fs::copy_file(fs::u8path(kStandinTool), fs::u8path(tool)));
    const ProcessResult result = runProcess(tool, {map}, root.path, kUnprivilegedUid);
    if (result.exitCode == 0 && result.err.empty()) GTEST_SKIP() << "this user may write read-only files";
    EXPECT_EQ(result.err.rfind("Couldn't open the map file " + map + " for writing", 0), 0u) << result.err;
    EXPECT_TRUE(isOneLine(result.err));
    EXPECT_EQ(readFile(map), before);
    EXPECT_EQ(sortedNames(folder).size(), 1u);
}

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
