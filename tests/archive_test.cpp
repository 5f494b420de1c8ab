// The tool on real map archives, written and read back with the archive
// library and with a second archive client.
#include <StormLib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
#include <random>
#include "archive/map_script_store.h"
#include "tests/library_support.h"

namespace {

TEST(ReadMapScript, ReadsUpToTheFirstNulOrSaysWhyNot) {
    TempFolder folder;
    writeEntriesMap(folder.file("noscript.w3x"), {MapEntry{"war3map.lua", "print()", false}});
    writeFile(folder.file("text.w3x"), std::string(4096, 'x'));
    const struct {
        std::string stored, map, script, err;
    } cases[] = {
        {"function main takes nothing returns nothing\r\n", "map.w3x", "function main takes nothing returns nothing\r\n", ""},
        {"", "map.w3x", "", ""},  // an empty entry is read without error
        {std::string("globals\n\0hidden\n", 16), "map.w3x", "globals\n", ""},
        {"", "noscript.w3x", "", "Couldn't locate the file war3map.j in the map file. The map's script is war3map.lua, which ostrel does not process."},
        {"", "text.w3x", "", "Couldn't open the map mpq file for reading."},
        {"", "absent.w3x", "", "Couldn't open the map mpq file for reading."},
    };
    for (const auto& c : cases) {
        const std::string map = folder.file(c.map);
        if (c.map == "map.w3x") writeScriptMap(map, c.stored);
        const std::string before = readFile(map);
        ScriptText script;
        std::string err;
        EXPECT_EQ(readMapScript(libraryArchiveOps(), map, &script, &err), c.err.empty());
        EXPECT_EQ(script, c.script);
        EXPECT_EQ(err, c.err);
        EXPECT_EQ(readFile(map), before);
    }
}

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

    HANDLE archive = nullptr, file = nullptr;
    ASSERT_TRUE(SFileOpenArchive(map.c_str(), 0, MPQ_OPEN_READ_ONLY, &archive));
    ASSERT_TRUE(SFileOpenFileEx(archive, "war3map.j", 0, &file));
    DWORD flags = 0;
    EXPECT_TRUE(SFileGetFileInfo(file, SFileInfoFlags, &flags, sizeof(flags), nullptr));
    EXPECT_NE(flags & MPQ_FILE_COMPRESS, 0u);
    SFileCloseFile(file);
    SFileCloseArchive(archive);
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
