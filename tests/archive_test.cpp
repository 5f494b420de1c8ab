// The tool on real map archives, written and read back with the archive
// library and with a second archive client.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
#include <random>
#include "tests/library_support.h"

namespace {

TEST(Store, TheNewScriptReadsBackEverywhereAndTheRestStays) {
    TempFolder folder;
    ASSERT_EQ(mkdir(folder.file("maps").c_str(), 0755), 0);
    const std::string map = folder.file("maps/real.w3x");
    writeScriptMap(map, kMinimalScript);
    ASSERT_EQ(chmod(map.c_str(), 0640), 0);
    ASSERT_EQ(symlink("maps/real.w3x", folder.file("link.w3x").c_str()), 0);
    writeShippedLibrary(folder.path);
    const std::string header = readFile(map).substr(0, 512);
    const ProcessResult result = runTool({"link.w3x"}, folder.path);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string stored = entryBytes(map, "war3map.j");
    EXPECT_NE(stored.find("call Add_Commands()\nendfunction\n"), std::string::npos);
    EXPECT_EQ(stored.back(), '\0');
    EXPECT_EQ(entryBytes(map, "war3map.w3e"), std::string("terrain\0data", 12));
    EXPECT_EQ(readFile(map).substr(0, 512), header);
    EXPECT_EQ(sortedNames(folder.file("maps")), std::vector<std::string>{"real.w3x"});
    struct stat info;
    ASSERT_EQ(lstat(folder.file("link.w3x").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(stat(map.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);

    EXPECT_LT(readFile(map).size(), 512 + stored.size()) << "the script is not stored compressed";
    // A second, independent archive client reads the same bytes.
    ASSERT_EQ(std::system(("cd '" + folder.path + "/maps' && smpq -x -q real.w3x war3map.j").c_str()), 0);
    EXPECT_EQ(readFile(folder.file("maps/war3map.j")), stored);
}

// A script of about bytes bytes that compresses to about half.
std::string noisyScript(std::size_t bytes) {
    std::mt19937 random(7);
    std::string script = "globals\nendglobals\n";
    while (script.size() < bytes) script += "// " + std::to_string(random()) + std::to_string(random()) + "\n";
    return script + kMain + "\nendfunction\n";
}

TEST(Store, ARunLeavesNoDeadSpaceWhereEveryNameIsKnown) {
    TempFolder folder;
    writeShippedLibrary(folder.path);
    std::string terrain(1 << 20, '\0');
    std::mt19937 random(3);
    for (char& c : terrain) c = static_cast<char>(random());
    const std::string map = folder.file("map.w3x"), fresh = folder.file("fresh.w3x");
    writeEntriesMap(map, {MapEntry{"war3map.j", noisyScript(4 << 20), true}, MapEntry{"war3map.w3e", terrain, false}});
    ASSERT_EQ(runTool({"map.w3x"}, folder.path).exitCode, 0);
    writeEntriesMap(fresh, {MapEntry{"war3map.j", entryBytes(map, "war3map.j"), true}, MapEntry{"war3map.w3e", terrain, false}});
    EXPECT_LE(readFile(map).size(), readFile(fresh).size() * 101 / 100);
    EXPECT_EQ(entryBytes(map, "war3map.w3e"), terrain);

    // Without a name list an encrypted entry's name is unknown: no compaction,
    // and the run succeeds as before.
    writeEntriesMap(map, {MapEntry{"war3map.j", kMinimalScript, true}, MapEntry{"secret.txt", "hidden", true}}, false);
    const ProcessResult result = runTool({"map.w3x"}, folder.path);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(entryBytes(map, "secret.txt"), "hidden");
    EXPECT_EQ(sortedNames(folder.path), (std::vector<std::string>{"fresh.w3x", "func.j", "map.w3x"}));
}

}  // namespace
