// The tool as its own process, with the stand-in archive: the command line,
// where the library is found, paths in any script, read-only maps and
// signals. These run on Windows too.
#include <gtest/gtest.h>
#include <csignal>
#include <filesystem>
#include "base/platform.h"
#include "tests/test_support.h"

namespace {

TEST(CommandLine, UsageHelpAndVersionNeverReachTheArchive) {
    ArchiveOps untouchable = standinArchiveOps();
    untouchable.openArchive = [](const char*, unsigned, unsigned, ArchiveHandle*) {
        ADD_FAILURE() << "the archive was opened";
        return false;
    };
    const RunResult bare = runInProcess({}, untouchable, ".");
    EXPECT_EQ(bare.exitCode, 1);
    EXPECT_TRUE(isOneLine(bare.err));
    EXPECT_EQ(bare.err.rfind("Usage: ostrel", 0), 0u);
    const RunResult help = runInProcess({"--help"}, untouchable, ".");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind(bare.err, 0), 0u);
    for (const char* option : {"--check MAP", "--output NEW MAP"}) EXPECT_NE(help.out.find(option), std::string::npos);
    const ProcessResult version = runStandinTool({"--version"}, ".");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("ostrel 1.", 0), 0u);
}

TEST(LibraryLookup, WorkingFolderThenTheExecutablesFolderThenShare) {
    TempFolder root;
    const std::string bin = root.file("bin"), share = root.file("share/ostrel"), cwd = root.file("maps");
    for (const std::string& folder : {bin, share, cwd}) std::filesystem::create_directories(std::filesystem::u8path(folder));
    const std::string tool = bin + "/" + std::filesystem::u8path(OSTREL_STANDIN).filename().u8string();
    ASSERT_TRUE(copyFileTo(OSTREL_STANDIN, tool));
    const auto runIn = [&](const std::string& folder) {
        writeStandinMap(root.file("maps/map.w3x"), kMinimalScript);
        return runProcess(tool, {"map.w3x"}, folder);
    };
    EXPECT_EQ(runIn(cwd).err, kLibraryMessage);
    writeShippedLibrary(share);
    EXPECT_EQ(runIn(cwd).exitCode, 0);
    writeFile(bin + "/func.j", "// not the shipped one\n");  // beside the executable, before share
    EXPECT_NE(runIn(cwd).err.find("bin/func.j defines no function"), std::string::npos);
    writeShippedLibrary(cwd);  // the working folder comes first
    EXPECT_EQ(runIn(cwd).exitCode, 0);
}

TEST(Paths, AMapInAFolderNamedInAnyScriptIsProcessed) {
    TempFolder root;
    const std::string folder = root.file(u8"Карты 地图 é");
    ASSERT_TRUE(std::filesystem::create_directory(std::filesystem::u8path(folder)));
    const std::string map = folder + u8"/Тест 测试.w3x";
    for (const std::string& given : {map, std::string(u8"Карты 地图 é/Тест 测试.w3x")}) {
        SCOPED_TRACE(given);
        writeStandinMap(map, kMinimalScript);
        writeShippedLibrary(root.path);
        const ProcessResult result = runStandinTool({given}, root.path);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_NE(standinEntry(map, "war3map.j").find("call Add_Commands()"), std::string::npos);
        EXPECT_EQ(sortedNames(folder).size(), 1u);
    }
}

TEST(Paths, AReadOnlyMapIsRefused) {
    TempFolder folder;
    const std::string map = folder.file("map.w3x");
    writeStandinMap(map, kMinimalScript);
    writeShippedLibrary(folder.path);
    ASSERT_TRUE(setReadOnly(map, true));
    // Another user may read everything, and write in the folder.
    std::filesystem::permissions(std::filesystem::u8path(folder.path), std::filesystem::perms::all);
    const std::string before = readFile(map);
    const ProcessResult result = runStandinTool({"map.w3x"}, folder.path, kUnprivilegedUid);
    if (result.exitCode == 0 && result.err.empty()) GTEST_SKIP() << "this user may write read-only files";
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(isOneLine(result.err)) << result.err;
    EXPECT_EQ(result.err.rfind("Couldn't open the map file map.w3x for writing", 0), 0u) << result.err;
    EXPECT_EQ(readFile(map), before);
    EXPECT_EQ(sortedNames(folder.path).size(), 2u);
}

TEST(Signals, EveryEndingSignalRemovesTheCopyAndLeavesTheMap) {
    const std::pair<int, bool> signals[] = {
        {SIGINT, false}, {SIGTERM, false}, {SIGSEGV, true}, {SIGABRT, true}, {SIGFPE, true}, {SIGILL, true},
#ifndef _WIN32
        {SIGHUP, false}, {SIGQUIT, false}, {SIGBUS, true},
#endif
    };
    for (const auto& [signal, crash] : signals) {
        SCOPED_TRACE("signal " + std::to_string(signal));
        TempFolder folder;
        writeStandinMap(folder.file("map.w3x"), kMinimalScript);
        writeShippedLibrary(folder.path);
        writeFile(folder.file("standin-raise"), std::to_string(signal));
        const std::string before = readFile(folder.file("map.w3x"));
        const ProcessResult result = runStandinTool({"map.w3x"}, folder.path);
        EXPECT_EQ(result.exitCode, crash ? 1 : exitCodeForSignal(signal));
        EXPECT_TRUE(isOneLine(result.err)) << result.err;
        EXPECT_NE(result.err.find("map.w3x"), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("was left as it was"), std::string::npos) << result.err;
        EXPECT_EQ(readFile(folder.file("map.w3x")), before);
        EXPECT_EQ(sortedNames(folder.path), (std::vector<std::string>{"func.j", "map.w3x", "standin-raise"}));
    }
}

}  // namespace
