// Faults from outside the tool: a disk that fills up part-way through storing
// the map, and the tool killed at any moment of a run. Either way the map must
// be the old one byte for byte, or the complete new one.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <thread>
#include "tests/test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

// A map script of at least bytes bytes shaped like a real one: globals, many
// short functions, some with a directive, and main. With noise, comment lines
// of random digits keep it from compressing to much less than half its size.
std::string makeScript(std::size_t bytes, bool noise) {
    std::mt19937 random(20240601);
    std::string script = "globals\n    integer udg_Count = 0\nendglobals\n";
    for (unsigned n = 0; script.size() < bytes; ++n) {
        script += "function Spell" + std::to_string(n) + " takes nothing returns nothing\n";
        if (n % 8 == 0) script += "    //! Spell_Cast A" + std::to_string(100 + n % 900) + "\n";
        for (int line = 0; noise && line < 4; ++line) script += "    // " + std::to_string(random()) + std::to_string(random()) + "\n";
        script += "    call UnitDamageTarget(u, u, 10.0, true, false, null, null, null)\n";
        script += "    set udg_Count = udg_Count + 1\nendfunction\n";
    }
    return script + "function main takes nothing returns nothing\nendfunction\n";
}

// Bytes that do not compress.
std::string randomBytes(std::size_t size) {
    std::mt19937 random(99);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

// The script a successful run stores, found by running the tool on a copy of
// map in folder. Fails the test when that run does not succeed.
std::string storedByOneRun(const std::string& map, const std::string& folder) {
    const std::string copy = folder + "/reference.w3x";
    writeFile(copy, readFile(map));
    ToolResult result = runTool({copy}, folder);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    bool ok = false;
    std::string script = readEntryBytes(copy, "war3map.j", ok);
    EXPECT_TRUE(ok);
    return script;
}

// A tmpfs of the given size mounted on folder for as long as it lives.
struct MountedTmpfs {
    std::string folder;
    bool mounted;
    MountedTmpfs(const std::string& where, std::size_t bytes)
        : folder(where), mounted(mount("tmpfs", where.c_str(), "tmpfs", 0, ("size=" + std::to_string(bytes)).c_str()) == 0) {}
    ~MountedTmpfs() {
        if (mounted && umount(folder.c_str()) != 0) umount2(folder.c_str(), MNT_DETACH);
    }
};

// Free bytes on the file system holding path.
std::size_t freeBytes(const std::string& path) {
    struct statvfs info;
    if (statvfs(path.c_str(), &info) != 0) return 0;
    return static_cast<std::size_t>(info.f_bavail) * info.f_frsize;
}

constexpr std::size_t kPage = 4096;

// The bytes of whole pages bytes takes up, or the most whole pages within bytes.
std::size_t wholePages(std::size_t bytes) {
    return (bytes + kPage - 1) / kPage * kPage;
}
std::size_t pagesWithin(std::size_t bytes) {
    return bytes / kPage * kPage;
}

TEST(DiskFull, NoRoomForTheCopyOrForTheGrownMapLeavesTheMapAsItWas) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root; the disk-full cases did not run";
    TempFolder work;
    writeLibrary(work.path);
    // A big entry that does not compress, and a script whose stored form
    // (about 200 KiB) the copy grows by, as the new script is appended.
    const std::string source = work.file("source.w3x");
    writeEntriesMap(source, {MapEntry{"war3map.j", makeScript(512 << 10, true), true},
                             MapEntry{"war3map.w3e", randomBytes(1 << 20), false}});
    const std::string before = readFile(source);
    const std::size_t mapBytes = before.size();
    const std::string stored = storedByOneRun(source, work.path);
    const std::size_t grownBytes = readFile(work.file("reference.w3x")).size();
    ASSERT_GT(grownBytes, mapBytes + (64 << 10)) << "the stored map does not grow enough for these cases";
    const std::size_t growth = grownBytes - mapBytes;

    const std::string disk = work.file("disk");
    ASSERT_EQ(mkdir(disk.c_str(), 0755), 0);
    MountedTmpfs tmpfs(disk, 2 * wholePages(grownBytes) + (1 << 20));
    if (!tmpfs.mounted) GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno) << "); the disk-full cases did not run";
    const std::string map = disk + "/map.w3x", filler = disk + "/filler";
    const std::vector<std::string> names = {"filler", "map.w3x"};

    // Room left once the map is on the disk: half the map (the copy cannot be
    // made), then the copy and less than the map grows by (the grown map cannot be).
    const std::size_t copy = wholePages(mapBytes);
    const std::size_t rooms[] = {pagesWithin(copy / 2), copy, copy + pagesWithin(growth / 2),
                                 copy + pagesWithin(growth) - kPage};
    for (std::size_t room : rooms) {
        SCOPED_TRACE("room left " + std::to_string(room));
        std::remove(filler.c_str());
        writeFile(map, before);
        const std::size_t available = freeBytes(disk);
        ASSERT_GT(available, room);
        writeFile(filler, std::string(available - room, '\0'));
        ASSERT_EQ(freeBytes(disk), room);

        ToolResult result = runTool({map}, work.path);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_TRUE(isOneLine(result.err)) << result.err;
        EXPECT_EQ(result.out, "");
        EXPECT_TRUE(readFile(map) == before) << "the map changed";
        EXPECT_EQ(folderNames(disk), names);
    }

    // With room again, the same map on the same disk is stored: the failures
    // above came from the full disk.
    std::remove(filler.c_str());
    ToolResult result = runTool({map}, work.path);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    bool ok = false;
    EXPECT_TRUE(readEntryBytes(map, "war3map.j", ok) == stored);
    EXPECT_EQ(folderNames(disk), std::vector<std::string>{"map.w3x"});
}

// Starts the built tool on map in folder cwd, its output discarded; returns its pid.
pid_t startTool(const std::string& map, const std::string& cwd) {
    pid_t child = fork();
    if (child == 0) {
        int null = open("/dev/null", O_WRONLY);
        if (null < 0 || dup2(null, 1) < 0 || dup2(null, 2) < 0 || chdir(cwd.c_str()) != 0) _exit(126);
        execl(OSTREL_BINARY, OSTREL_BINARY, map.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return child;
}

TEST(Killed, AtAnyMomentTheMapIsTheOldOneOrTheCompleteNewOne) {
    TempFolder work;
    writeLibrary(work.path);
    const std::string map = work.file("map.w3x");
    writeScriptMap(map, makeScript(6 << 20, false));
    const std::string before = readFile(map);
    bool ok = false;
    const std::string terrain = readEntryBytes(map, "war3map.w3e", ok);
    ASSERT_TRUE(ok);

    // One uninterrupted run on an identical copy gives what a complete run
    // stores and how long a run takes.
    const std::string reference = work.file("reference.w3x");
    writeFile(reference, before);
    const Clock::time_point start = Clock::now();
    pid_t whole = startTool(reference, work.path);
    ASSERT_GT(whole, 0);
    int status = 0;
    ASSERT_EQ(waitpid(whole, &status, 0), whole);
    const auto runTime = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "an uninterrupted run failed";
    const std::string stored = readEntryBytes(reference, "war3map.j", ok);
    ASSERT_TRUE(ok);
    std::remove(reference.c_str());

    // Kill moments spread evenly from the start to just past the run's length.
    constexpr int kKills = 40;
    int oldMaps = 0, newMaps = 0, killedWithCopy = 0;
    for (int i = 0; i < kKills; ++i) {
        const auto delay = runTime * (i + 1) * 11 / (10 * kKills);
        SCOPED_TRACE("killed after " + std::to_string(delay.count()) + " us of a " +
                     std::to_string(runTime.count()) + " us run");
        writeFile(map, before);
        pid_t child = startTool(map, work.path);
        ASSERT_GT(child, 0);
        std::this_thread::sleep_for(delay);
        kill(child, SIGKILL);
        ASSERT_EQ(waitpid(child, &status, 0), child);

        // A killed run may leave its copy behind; the map itself must be sound.
        const std::vector<std::string> names = folderNames(work.path);
        if (names.size() > 2) ++killedWithCopy;
        for (const std::string& name : names)
            if (name != "map.w3x" && name != "func.j") std::remove(work.file(name).c_str());

        if (readFile(map) == before) {
            ++oldMaps;
            continue;
        }
        ++newMaps;
        EXPECT_TRUE(readEntryBytes(map, "war3map.j", ok) == stored) << "the map is neither the old nor the new one";
        EXPECT_TRUE(ok);
        EXPECT_TRUE(readEntryBytes(map, "war3map.w3e", ok) == terrain);
        EXPECT_TRUE(ok);
    }
    // The kills must have landed while a copy was being worked on, or the
    // test proved nothing about storing.
    EXPECT_GT(killedWithCopy, 0) << oldMaps << " old maps, " << newMaps << " new maps";
}

}  // namespace
