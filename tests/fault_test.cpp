// Faults from outside the tool, with the real archive library: a full disk,
// the file-size and memory limits, odd files in place of the map or the
// library, and metadata the new map must keep.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
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

// A tmpfs of the given size mounted on folder for as long as it lives.
struct MountedTmpfs {
    std::string folder;
    bool mounted;
    MountedTmpfs(const std::string& where, std::size_t bytes)
        : folder(where), mounted(mount("tmpfs", where.c_str(), "tmpfs", 0, ("size=" + std::to_string(bytes)).c_str()) == 0) {}
    ~MountedTmpfs() {
        if (mounted) umount2(folder.c_str(), MNT_DETACH);
    }
};

std::size_t freeBytes(const std::string& path) {
    struct statvfs info;
    return statvfs(path.c_str(), &info) == 0 ? static_cast<std::size_t>(info.f_bavail) * info.f_frsize : 0;
}

TEST(DiskFull, NoRoomForTheCopyOrForTheNewScriptLeavesTheMapAsItWas) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
    TempFolder work;
    writeShippedLibrary(work.path);
    const std::string disk = work.file("disk"), map = disk + "/map.w3x", filler = disk + "/filler";
    ASSERT_EQ(mkdir(disk.c_str(), 0755), 0);
    writeScriptMap(work.file("source.w3x"), noisyScript(512 << 10));
    const std::string before = readFile(work.file("source.w3x"));
    const std::size_t page = 4096, copy = (before.size() + page - 1) / page * page;
    MountedTmpfs tmpfs(disk, 3 * copy + (1 << 20));
    if (!tmpfs.mounted) GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    // Room for half the copy, for the copy but not the new script, for the
    // copy and the script but not the compaction.
    for (std::size_t room : {copy / 2 / page * page, copy + 16 * page, 2 * copy - 16 * page}) {
        SCOPED_TRACE("room " + std::to_string(room));
        std::remove(filler.c_str());
        writeFile(map, before);
        ASSERT_GT(freeBytes(disk), room);
        writeFile(filler, std::string(freeBytes(disk) - room, '\0'));
        expectCleanFailure(runTool({map}, work.path), "", map, before, {"filler", "map.w3x"});
    }
    std::remove(filler.c_str());
    EXPECT_EQ(runTool({map}, work.path).exitCode, 0);
    EXPECT_EQ(sortedNames(disk), std::vector<std::string>{"map.w3x"});
}

TEST(Limits, AFileSizeOrMemoryLimitIsOneLine) {
    TempFolder folder;
    writeShippedLibrary(folder.path);
    const std::string map = folder.file("map.w3x");
    writeScriptMap(map, noisyScript(8 << 20));
    const std::string before = readFile(map);
    const std::vector<std::string> names = {"func.j", "map.w3x"};
    // The limit lets the map be read, not copied (ulimit -f counts 1024-byte blocks).
    expectCleanFailure(runToolLimited("-f " + std::to_string(before.size() / 2048), map, folder.path),
                       "Couldn't create a temporary copy", map, before, names);
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
    ASSERT_EQ(chown(map.c_str(), geteuid(), kUnprivilegedUid), 0);
    ASSERT_EQ(runTool({"map.w3x"}, folder.path).exitCode, 0);
    char value[16] = {};
    EXPECT_EQ(getxattr(map.c_str(), "user.origin", value, sizeof value), 6);
    EXPECT_STREQ(value, "editor");
    struct stat info;
    ASSERT_EQ(stat(map.c_str(), &info), 0);
    EXPECT_EQ(info.st_gid, static_cast<gid_t>(kUnprivilegedUid));
}

}  // namespace
