// The tool on real map archives, written and read back with the archive
// library and with a second archive client; faults from outside the tool:
// file-size and memory limits, odd files, metadata the new map must keep.
#include <StormLib.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>
#include "tests/test_support.h"
#include "tools/map_maker.h"

namespace {

void writeEntriesMap(const std::string& path, const std::vector<MapEntry>& entries, bool nameList = true) {
    std::string error;
    ASSERT_TRUE(writeMap(path, entries, error, nameList)) << error;
}

// A map holding script, stored compressed and encrypted, and a terrain entry.
void writeScriptMap(const std::string& path, const std::string& script) {
    writeEntriesMap(path, {MapEntry{"war3map.j", script, true}, MapEntry{"war3map.w3e", std::string("terrain\0data", 12), false}});
}

// The bytes of one entry, read with the archive library; "<none>" when absent.
std::string entryBytes(const std::string& mapPath, const std::string& name) {
    HANDLE archive = nullptr, file = nullptr;
    std::string bytes = "<none>";
    if (SFileOpenArchive(mapPath.c_str(), 0, MPQ_OPEN_READ_ONLY, &archive) && SFileOpenFileEx(archive, name.c_str(), 0, &file)) {
        bytes.assign(SFileGetFileSize(file, nullptr), '\0');
        DWORD got = 0;
        if (!bytes.empty() && !SFileReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr)) bytes = "<unreadable>";
        SFileCloseFile(file);
    }
    if (archive) SFileCloseArchive(archive);
    return bytes;
}

// Runs the built tool in cwd; with limit, under the shell's `ulimit LIMIT`.
ProcessResult runTool(const std::string& map, const std::string& cwd, const std::string& limit = "") {
    if (limit.empty()) return runProcess(OSTREL_BINARY, {map}, cwd);
    return runProcess("/bin/sh", {"-c", "ulimit " + limit + " && exec \"$0\" \"$1\"", OSTREL_BINARY, map}, cwd);
}

mode_t modeOf(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// A script of about bytes bytes that compresses to about half.
std::string noisyScript(std::size_t bytes) {
    std::mt19937 random(7);
    std::string script = "globals\nendglobals\nfunction F takes nothing returns nothing\n    //! Spell_Cast A000\nendfunction\n";
    while (script.size() < bytes) script += "// " + std::to_string(random()) + std::to_string(random()) + "\n";
    return script + kMain + "\nendfunction\n";
}

TEST(Store, TheNewScriptReadsBackEverywhereAndTheRestStays) {
    TempFolder folder;
    ASSERT_EQ(mkdir(folder.file("maps").c_str(), 0755), 0);
    const std::string map = folder.file("maps/real.w3x");
    writeScriptMap(map, kMinimalScript);
    ASSERT_EQ(chmod(map.c_str(), 0640), 0);
    ASSERT_EQ(symlink("maps/real.w3x", folder.file("link.w3x").c_str()), 0);
    if (setxattr(map.c_str(), "user.origin", "editor", 6, 0) != 0) GTEST_SKIP() << "no extended attributes here";
    const bool regroup = chown(map.c_str(), geteuid(), kUnprivilegedUid) == 0;
    writeShippedLibrary(folder.path);
    const std::string header = readFile(map).substr(0, 512);
    const ProcessResult result = runTool("link.w3x", folder.path);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string stored = entryBytes(map, "war3map.j");
    EXPECT_NE(stored.find("call Add_Commands()\nendfunction\n"), std::string::npos);
    EXPECT_EQ(stored.back(), '\0');
    EXPECT_EQ(entryBytes(map, "war3map.w3e"), std::string("terrain\0data", 12));
    EXPECT_EQ(readFile(map).substr(0, 512), header);
    EXPECT_EQ(sortedNames(folder.file("maps")), std::vector<std::string>{"real.w3x"});
    // The link stays a link; the map keeps its mode, attributes and group.
    EXPECT_TRUE(std::filesystem::is_symlink(folder.file("link.w3x")));
    struct stat info;
    ASSERT_EQ(stat(map.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_TRUE(!regroup || info.st_gid == static_cast<gid_t>(kUnprivilegedUid));
    char value[8] = {};
    EXPECT_EQ(getxattr(map.c_str(), "user.origin", value, sizeof value), 6);
    // A second, independent archive client reads the same bytes.
    ASSERT_EQ(std::system(("cd '" + folder.path + "/maps' && smpq -x -q real.w3x war3map.j").c_str()), 0);
    EXPECT_EQ(readFile(folder.file("maps/war3map.j")), stored);
}

TEST(Store, ARunLeavesNoDeadSpaceWhereEveryNameIsKnown) {
    TempFolder folder;
    writeShippedLibrary(folder.path);
    std::string terrain(1 << 20, '\0');
    std::mt19937 random(3);
    for (char& c : terrain) c = static_cast<char>(random());
    const std::string map = folder.file("map.w3x"), fresh = folder.file("fresh.w3x");
    writeEntriesMap(map, {MapEntry{"war3map.j", noisyScript(4 << 20), true}, MapEntry{"war3map.w3e", terrain, false}});
    ASSERT_EQ(runTool("map.w3x", folder.path).exitCode, 0);
    writeEntriesMap(fresh, {MapEntry{"war3map.j", entryBytes(map, "war3map.j"), true}, MapEntry{"war3map.w3e", terrain, false}});
    EXPECT_LE(readFile(map).size(), readFile(fresh).size() * 101 / 100);
    EXPECT_EQ(entryBytes(map, "war3map.w3e"), terrain);
    // Without a name list an encrypted entry's name is unknown: no
    // compaction, and the run succeeds as before.
    writeEntriesMap(map, {MapEntry{"war3map.j", kMinimalScript, true}, MapEntry{"secret.txt", "hidden", true}}, false);
    const ProcessResult result = runTool("map.w3x", folder.path);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(entryBytes(map, "secret.txt"), "hidden");
    EXPECT_EQ(sortedNames(folder.path), (std::vector<std::string>{"fresh.w3x", "func.j", "map.w3x"}));
}

TEST(Output, IsARegularFileThatKeepsItsOwnMetadataOrGetsTheMaps) {
    TempFolder folder;
    writeShippedLibrary(folder.path);
    const std::string map = folder.file("map.w3x"), out = folder.file("out.w3x");
    writeScriptMap(map, kMinimalScript);
    ASSERT_EQ(chmod(map.c_str(), 0644), 0);
    writeFile(out, "an older release");
    ASSERT_EQ(chmod(out.c_str(), 0640), 0);
    const bool attributes = setxattr(out.c_str(), "user.release", "1", 1, 0) == 0;
    const bool owner = chown(out.c_str(), 1, 1) == 0;
    ASSERT_EQ(runProcess(OSTREL_BINARY, {"--output", "out.w3x", "map.w3x"}, folder.path).exitCode, 0);
    EXPECT_NE(entryBytes(out, "war3map.j").find("call Add_Commands()"), std::string::npos);
    struct stat info;
    ASSERT_EQ(stat(out.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_TRUE(!owner || (info.st_uid == 1 && info.st_gid == 1));
    char value[2] = {};
    EXPECT_TRUE(!attributes || getxattr(out.c_str(), "user.release", value, sizeof value) == 1);
    // A link to a file not there yet: the file is made where it points, with
    // the map's mode, and the link stays.
    ASSERT_EQ(mkdir(folder.file("made").c_str(), 0755), 0);
    ASSERT_EQ(symlink("made/new.w3x", folder.file("link.w3x").c_str()), 0);
    ASSERT_EQ(runProcess(OSTREL_BINARY, {"map.w3x", "--output", "link.w3x"}, folder.path).exitCode, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(folder.file("link.w3x")));
    EXPECT_EQ(modeOf(folder.file("made/new.w3x")), 0644u);
    // What is not a regular file is refused and stays what it was.
    ASSERT_EQ(mkfifo(folder.file("pipe").c_str(), 0644), 0);
    for (const std::string& other : {std::string("pipe"), std::string("/dev/null")}) {
        const ProcessResult result = runProcess(OSTREL_BINARY, {"--output", other, "map.w3x"}, folder.path);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, "The output " + other + " is not a regular file; give the name of a file to write the "
                                                      "processed map to.\n");
    }
    struct stat pipe;
    EXPECT_TRUE(stat(folder.file("pipe").c_str(), &pipe) == 0 && S_ISFIFO(pipe.st_mode));
    EXPECT_EQ(sortedNames(folder.path), (std::vector<std::string>{"func.j", "link.w3x", "made", "map.w3x", "out.w3x", "pipe"}));
}

TEST(Store, AGroupMemberWhoIsNotRootKeepsTheMapsGroup) {
    if (geteuid() != 0) {
        std::cout << "Not run as root: cannot run the tool as a member of another group.\n";
        return;
    }
    TempFolder folder;
    writeShippedLibrary(folder.path);
    const std::string map = folder.file("map.w3x"), tool = folder.file("ostrel");
    writeScriptMap(map, kMinimalScript);
    ASSERT_TRUE(std::filesystem::copy_file(OSTREL_BINARY, tool));
    ASSERT_EQ(chmod(folder.path.c_str(), 0777), 0);
    ASSERT_EQ(chown(map.c_str(), 1, 100), 0);
    ASSERT_EQ(chmod(map.c_str(), 0664), 0);
    const ProcessResult result = runProcess(tool, {"map.w3x"}, folder.path, kUnprivilegedUid, 100);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    struct stat info;
    ASSERT_EQ(stat(map.c_str(), &info), 0);
    EXPECT_EQ(info.st_gid, 100u);
    EXPECT_EQ(info.st_mode & 07777, 0664u);
}

TEST(Check, NeverOpensTheMapForWriting) {
    TempFolder folder;
    writeShippedLibrary(folder.path);
    const std::string map = folder.file("map.w3x");
    writeScriptMap(map, kMinimalScript);
    const int watch = inotify_init1(IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, map.c_str(), IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB), 0);
    EXPECT_EQ(runProcess(OSTREL_BINARY, {"--check", "map.w3x"}, folder.path).exitCode, 0);
    char events[4096];
    EXPECT_LT(read(watch, events, sizeof events), 0) << "the map was opened for writing";
    close(watch);
}

TEST(Lua, TheProcessedExampleRunsEachRegisteredFunctionOnceOnItsOwnEventAndId) {
    const std::string example = readFile(OSTREL_SOURCE_DIR "/examples/war3map.lua");
    std::string crlf;
    for (char c : example) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    for (const std::string& script : {example, crlf}) {
        TempFolder folder;
        writeShippedLibrary(folder.path, "func.lua");
        const std::string map = folder.file("map.w3x");
        writeEntriesMap(map, {MapEntry{"war3map.lua", script, true}, MapEntry{"war3map.w3e", "terrain", false}});
        const ProcessResult result = runTool("map.w3x", folder.path);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const std::string stored = entryBytes(map, "war3map.lua");
        EXPECT_EQ(stored.find('\0'), std::string::npos);
        EXPECT_EQ(luaProblems(stored), "");
        writeFile(folder.file("processed.lua"), stored);
        writeFile(folder.file("original.lua"), script);
        const ProcessResult ran =
            runProcess("lua5.3", {OSTREL_SOURCE_DIR "/tests/run_map.lua", "processed.lua", "original.lua"}, folder.path);
        EXPECT_EQ(ran.exitCode, 0) << ran.out << ran.err;
        EXPECT_EQ(ran.out, "ok 12 directives\n");
    }
}

TEST(Faults, LimitsAndOddFilesAreOneLineAndLeaveTheMap) {
    TempFolder folder;
    writeShippedLibrary(folder.path);
    const std::string map = folder.file("map.w3x");
    writeScriptMap(map, noisyScript(8 << 20));
    const std::string before = readFile(map);
    ASSERT_EQ(mkfifo(folder.file("pipe.w3x").c_str(), 0644), 0);
    // File-size limits (in the shell's 512-byte blocks) for half the copy and
    // for the copy but not the new script; about 10 MB of memory start the
    // tool, the 8 MiB script needs about 26 MB more.
    std::vector<std::pair<std::string, std::string>> cases = {
        {"-f " + std::to_string(before.size() / 1024), "Couldn't "},
        {"-f " + std::to_string(before.size() / 512 + 8), "Couldn't "},
        {"pipe", "The map pipe.w3x is not a regular file."},
        {"fifo", "Could not open the script library ./func.j: not a regular file"},
        {"/dev/zero", "Could not open the script library ./func.j: not a regular file"},
    };
#ifndef __SANITIZE_ADDRESS__  // which does not start under a memory limit
    cases.insert(cases.begin(), {"-v 16000", "Not enough memory to "});
#endif
    for (const auto& [fault, start] : cases) {
        SCOPED_TRACE(fault);
        if (fault == "fifo" || fault == "/dev/zero") std::remove(folder.file("func.j").c_str());
        const bool made = (fault != "fifo" || mkfifo(folder.file("func.j").c_str(), 0644) == 0) &&
                          (fault != "/dev/zero" || symlink("/dev/zero", folder.file("func.j").c_str()) == 0);
        ASSERT_TRUE(made);
        const ProcessResult result =
            fault == "pipe" ? runTool("pipe.w3x", folder.path) : runTool("map.w3x", folder.path, fault[0] == '-' ? fault : "");
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_TRUE(isOneLine(result.err)) << result.err;
        EXPECT_EQ(result.err.rfind(start, 0), 0u) << result.err;
        EXPECT_TRUE(readFile(map) == before) << "the map changed";
        EXPECT_EQ(sortedNames(folder.path), (std::vector<std::string>{"func.j", "map.w3x", "pipe.w3x"}));
    }
}

}  // namespace
