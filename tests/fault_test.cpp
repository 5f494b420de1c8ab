// Faults from outside the tool, with the real archive library: a full disk,
// the file-size and memory limits, odd files in place of the map or the
// library, and metadata the new map must keep.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <random>
#include "base/platform.h"
#include "tests/library_support.h"

namespace {

// A script of about bytes bytes, with comment lines of random digits that
// keep it from compressing to much less than half its size.
std::string noisyScript(std::size_t bytes) {
    std::mt19937 random(20240601);
    std::string script = "globals\nendglobals\nfunction F takes nothing returns nothing\n    //! Spell_Cast A000\n";
    while (script.size() < bytes) script += "    // " + std::to_string(random()) + std::to_string(random()) + "\n";
    return script + "endfunction\n" + kMain + "\nendfunction\n";
}

// Checks a run that must fail: exit 1, one line starting with start, the map
// as it was and nothing left beside it but names.
void expectCleanFailure(const ProcessResult& result, const std::string& start, const std::string& map,
                        const std::string& before, const std::vector<std::string>& names) {
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(isOneLine(result.err)) << result.err;
    EXPECT_EQ(result.err.rfind(start, 0), 0u) << result.err;
    EXPECT_TRUE(readFile(map) == before) << "the map changed";
    EXPECT_EQ(sortedNames(platform::folderOf(map)), names);
}

TEST(Limits, NoRoomForTheCopyTheNewScriptOrMemoryIsOneLine) {
    TempFolder folder;
    writeShippedLibrary(folder.path);
    const std::string map = folder.file("map.w3x");
    writeScriptMap(map, noisyScript(8 << 20));
    const std::string before = readFile(map);
    const std::vector<std::string> names = {"func.j", "map.w3x"};
    // File-size limits (in the shell's 512-byte blocks) for half the copy,
    // and for the copy but not the new script stored beside the old one.
    for (std::size_t blocks : {before.size() / 1024, before.size() / 512 + 8}) {
        SCOPED_TRACE(blocks);
        expectCleanFailure(runToolLimited("-f " + std::to_string(blocks), map, folder.path), "Couldn't ", map, before, names);
    }
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the address sanitizer does not start under a memory limit";
#endif
    // About 10 MB start the tool; the 8 MiB script needs about 26 MB more.
    expectCleanFailure(runToolLimited("-v 16000", map, folder.path), "Not enough memory to ", map, before, names);
}

TEST(OddFiles, APipeOrADeviceIsRefusedWithoutWaiting) {
    TempFolder folder;
    const std::string map = folder.file("map.w3x");
    writeScriptMap(map, kMinimalScript);
    ASSERT_EQ(mkfifo(folder.file("pipe.w3x").c_str(), 0644), 0);
    const ProcessResult pipeMap = runTool({"pipe.w3x"}, folder.path);
    EXPECT_EQ(pipeMap.err, "The map pipe.w3x is not a regular file.\n");
    for (const char* library : {"fifo", "/dev/zero"}) {
        SCOPED_TRACE(library);
        std::remove(folder.file("func.j").c_str());
        if (std::string(library) == "fifo")
            ASSERT_EQ(mkfifo(folder.file("func.j").c_str(), 0644), 0);
        else
            ASSERT_EQ(symlink(library, folder.file("func.j").c_str()), 0);
        const ProcessResult result = runTool({"map.w3x"}, folder.path);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, "Could not open the script library ./func.j: not a regular file\n");
    }
}

TEST(Metadata, ExtendedAttributesAndTheGroupStay) {
    TempFolder folder;
    writeShippedLibrary(folder.path);
    const std::string map = folder.file("map.w3x");
    writeScriptMap(map, kMinimalScript);
    if (setxattr(map.c_str(), "user.origin", "editor", 6, 0) != 0)
        GTEST_SKIP() << "this file system keeps no extended attributes";
    if (chown(map.c_str(), geteuid(), kUnprivilegedUid) != 0) GTEST_SKIP() << "this user cannot give the map another group";
    ASSERT_EQ(runTool({"map.w3x"}, folder.path).exitCode, 0);
    char value[16] = {};
    EXPECT_EQ(getxattr(map.c_str(), "user.origin", value, sizeof value), 6);
    EXPECT_STREQ(value, "editor");
    struct stat info;
    ASSERT_EQ(stat(map.c_str(), &info), 0);
    EXPECT_EQ(info.st_gid, static_cast<gid_t>(kUnprivilegedUid));
}

}  // namespace
