// The tool as its own process, with the stand-in archive: the command line,
// where the library is found, paths in any script, read-only maps and
// signals. These run on Windows too.
#include <gtest/gtest.h>
#include <csignal>
#include <filesystem>
#include "base/platform.h"
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
    EXPECT_EQ(run().err, kLibraryMessage);
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
        const ProcessResult result = runProcess(kStandinTool, {"map.w3x"}, folder.path);
        EXPECT_EQ(result.exitCode, crash ? 1 : exitCodeForSignal(signal));
        EXPECT_TRUE(isOneLine(result.err) && result.err.find("map.w3x") != std::string::npos &&
                    result.err.find("was left as it was") != std::string::npos) << result.err;
        EXPECT_EQ(standinEntry(folder.file("map.w3x"), "war3map.j"), kMinimalScript);
        EXPECT_EQ(sortedNames(folder.path), (std::vector<std::string>{"func.j", "map.w3x", "standin-raise"}));
    }
}

}  // namespace
