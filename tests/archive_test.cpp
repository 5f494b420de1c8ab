// The tool on real map archives, read back with the archive library and a second client; faults from outside the
// tool (file-size and memory limits, odd files, a closed or full output); metadata the new map must keep.
#define LTM_DESC
#include <tomcrypt.h>
#include <StormLib.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <random>
#include "tests/test_support.h"
#include "tools/map_maker.h"

namespace {

void writeEntriesMap(const std::string& path, const std::vector<MapEntry>& entries, bool nameList = true) {
    std::string error;
    ASSERT_TRUE(writeMap(path, entries, error, nameList)) << error;
}

// Signs the map archive at path with a weak signature. The archive library sets up the number library of its
// signature code from a description of an older, shorter size, and leaves the rest of it empty: signing through it
// needs the description whole.
void signMap(const std::string& path) {
    ltc_mp = ltm_desc;
    HANDLE archive = nullptr;
    ASSERT_TRUE(SFileOpenArchive(path.c_str(), 0, 0, &archive));
    ASSERT_TRUE(SFileSignArchive(archive, SIGNATURE_TYPE_WEAK));
    ASSERT_TRUE(SFileCloseArchive(archive));
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

// What stat says of the file at path; all zero when it fails.
struct stat statOf(const std::string& path) {
    struct stat info = {};
    return stat(path.c_str(), &info), info;
}

// A script of about bytes bytes that compresses to about half.
std::string noisyScript(std::size_t bytes) {
    std::mt19937 random(7);
    std::string script = "globals\nendglobals\nfunction F takes nothing returns nothing\n    //! Spell_Cast A000\nendfunction\n";
    while (script.size() < bytes) script += "// " + std::to_string(random()) + std::to_string(random()) + "\n";
    return script + kMain + "\nendfunction\n";
}

// A folder with the shipped library and a map of the smallest script, stored compressed and encrypted, and a terrain.
struct RealMap : ::testing::Test {
    TempFolder folder;
    const std::string map = folder.file("map.w3x");
    RealMap() {
        writeShippedLibrary(folder.path);
        writeEntriesMap(map, {MapEntry{"war3map.j", kMinimalScript, true}, MapEntry{"war3map.w3e", "terrain", false}});
    }
};

TEST_F(RealMap, TheNewScriptReadsBackEverywhereAndTheRestStays) {
    // A signed map, reached through a link, with a mode, attributes and a group to keep.
    signMap(map);
    ASSERT_NE(entryBytes(map, "(signature)"), "<none>");
    ASSERT_EQ(mkdir(folder.file("links").c_str(), 0755), 0);
    ASSERT_EQ(symlink("../map.w3x", folder.file("links/link.w3x").c_str()), 0);
    if (setxattr(map.c_str(), "user.origin", "editor", 6, 0) != 0) GTEST_SKIP() << "no extended attributes here";
    const bool regroup = chown(map.c_str(), geteuid(), kUnprivilegedUid) == 0;
    ASSERT_EQ(chmod(map.c_str(), 07640), 0);  // after the owner, whose change drops the set-user-id bit
    const std::string header = readFile(map).substr(0, 512);
    const ProcessResult check = runProcess(OSTREL_BINARY, {"--check", "links/link.w3x"}, folder.path);
    EXPECT_EQ(check.exitCode, 0) << check.err;
    EXPECT_NE(check.err.find("carries a signature"), std::string::npos);
    const ProcessResult result = runProcess(OSTREL_BINARY, {"links/link.w3x"}, folder.path);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    // Written anew behind its header, without the signature it cannot keep, every other entry as it was.
    EXPECT_EQ(entryBytes(map, "(signature)"), "<none>");
    EXPECT_EQ(entryBytes(map, "war3map.w3e"), "terrain");
    const std::string stored = entryBytes(map, "war3map.j");
    EXPECT_NE(stored.find("call Add_Commands()\nendfunction\n"), std::string::npos);
    EXPECT_EQ(readFile(map).substr(0, 512), header);
    EXPECT_EQ(sortedNames(folder.path), (std::vector<std::string>{"func.j", "links", "map.w3x"}));
    // The link stays a link; the map keeps its mode, attributes and group.
    EXPECT_TRUE(std::filesystem::is_symlink(folder.file("links/link.w3x")));
    const struct stat info = statOf(map);
    EXPECT_EQ(info.st_mode & 07777, 07640u);
    EXPECT_TRUE(!regroup || info.st_gid == static_cast<gid_t>(kUnprivilegedUid));
    EXPECT_EQ(getxattr(map.c_str(), "user.origin", nullptr, 0), 6);
    // A second, independent archive client reads the same bytes.
    ASSERT_EQ(std::system(("cd '" + folder.path + "' && smpq -x -q map.w3x war3map.j").c_str()), 0);
    EXPECT_EQ(readFile(folder.file("war3map.j")), stored);
}

TEST_F(RealMap, ARunLeavesNoDeadSpaceWhereEveryNameIsKnown) {
    const std::string terrain = noisyScript(1 << 20), fresh = folder.file("fresh.w3x");
    writeEntriesMap(map, {MapEntry{"war3map.j", noisyScript(4 << 20), true}, MapEntry{"war3map.w3e", terrain, false}});
    ASSERT_EQ(runProcess(OSTREL_BINARY, {"map.w3x"}, folder.path).exitCode, 0);
    writeEntriesMap(fresh, {MapEntry{"war3map.j", entryBytes(map, "war3map.j"), true}, MapEntry{"war3map.w3e", terrain, false}});
    EXPECT_LE(readFile(map).size(), readFile(fresh).size() * 101 / 100);
    EXPECT_EQ(entryBytes(map, "war3map.w3e"), terrain);
    // Without a name list an encrypted entry's name is unknown: no compaction, and the run succeeds as before.
    writeEntriesMap(map, {MapEntry{"war3map.j", kMinimalScript, true}, MapEntry{"secret.txt", "hidden", true}}, false);
    const ProcessResult result = runProcess(OSTREL_BINARY, {"map.w3x"}, folder.path);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(entryBytes(map, "secret.txt"), "hidden");
    EXPECT_EQ(sortedNames(folder.path), (std::vector<std::string>{"fresh.w3x", "func.j", "map.w3x"}));
}

// What the archive library says of a map archive: a number of the archive, or, with name, of one entry.
DWORD archiveFact(const std::string& path, SFileInfoClass fact, const std::string& name = "") {
    HANDLE archive = nullptr, file = nullptr;
    DWORD value = ~0u;
    if (!SFileOpenArchive(path.c_str(), 0, MPQ_OPEN_READ_ONLY, &archive)) return value;
    if (fact == SFileMpqHeader) {
        TMPQHeader header;
        if (SFileGetFileInfo(archive, fact, &header, sizeof header, nullptr)) value = header.wFormatVersion;
    } else if (name.empty()) {
        SFileGetFileInfo(archive, fact, &value, sizeof value, nullptr);
    } else if (SFileOpenFileEx(archive, name.c_str(), 0, &file)) {
        SFileGetFileInfo(file, fact, &value, sizeof value, nullptr);
        SFileCloseFile(file);
    }
    SFileCloseArchive(archive);
    return value;
}

TEST_F(RealMap, AMapFolderIsPackedAsTheMapEditorWritesItsArchives) {
    // A map folder of a few files; with as many as a hash table of 64 takes besides the name list and the attributes;
    // with one more, which needs a table of 128.
    const std::string map = folder.file("My Map.w3x");
    std::map<std::string, std::string> files = {{"war3map.j", kMinimalScript}, {"war3map.w3e", noisyScript(200 << 10)},
                                                {u8"war3mapImported/Модель Hero.MDX", "model"}};
    for (const std::size_t count : {3u, 62u, 63u}) {
        for (int i = 0; files.size() < count; ++i) files["war3mapImported/Sub Dir/icon" + std::to_string(i) + ".blp"] = "icon";
        const DWORD tableSize = count == 63 ? 128 : 64;
        for (const auto& [name, bytes] : files) {
            std::filesystem::create_directories(std::filesystem::u8path(map + "/" + name).parent_path());
            writeFile(map + "/" + name, bytes);
        }
        const ProcessResult result = runProcess(OSTREL_BINARY, {"--output", "packed.w3x", "My Map.w3x"}, folder.path);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const std::string packed = folder.file("packed.w3x");
        EXPECT_EQ(archiveFact(packed, SFileMpqHeader), 0u);  // format version 1
        EXPECT_EQ(readFile(packed).compare(0, 4, "MPQ\x1a"), 0);  // no header in front
        EXPECT_EQ(archiveFact(packed, SFileMpqSectorSize), 4096u);
        EXPECT_EQ(archiveFact(packed, SFileMpqHashTableSize), tableSize);
        HANDLE archive = nullptr;
        ASSERT_TRUE(SFileOpenArchive(packed.c_str(), 0, MPQ_OPEN_READ_ONLY, &archive));
        EXPECT_NE(SFileGetAttributes(archive) & MPQ_ATTRIBUTE_CRC32, 0u);
        SFileCloseArchive(archive);
        // Every file, compressed, read back through the archive library and through a second client.
        ASSERT_EQ(std::system(("cd '" + folder.path + "' && mkdir -p out && cd out && smpq -x -q ../packed.w3x").c_str()), 0);
        const std::string listed = entryBytes(packed, "(listfile)");
        for (const auto& [name, bytes] : files) {
            std::string inside = name;
            std::replace(inside.begin(), inside.end(), '/', '\\');
            const std::string expected = name == "war3map.j" ? entryBytes(packed, name) : bytes;
            EXPECT_EQ(entryBytes(packed, inside), expected) << name;
            EXPECT_NE(archiveFact(packed, SFileInfoFlags, inside) & MPQ_FILE_COMPRESS, 0u) << name;
            EXPECT_NE(listed.find(inside), std::string::npos) << name;
            EXPECT_EQ(readFile(folder.file("out/" + name)), expected) << name;
        }
        EXPECT_NE(entryBytes(packed, "war3map.j").find(std::string("call Add_Commands()\nendfunction\n") + '\0'), std::string::npos);
    }
}

TEST_F(RealMap, OutputIsARegularFileThatKeepsItsOwnMetadataOrGetsTheMaps) {
    const std::string out = folder.file("out.w3x");
    ASSERT_EQ(chmod(map.c_str(), 0644), 0);
    writeFile(out, "an older release");
    ASSERT_EQ(chmod(out.c_str(), 0640), 0);
    const bool attributes = setxattr(out.c_str(), "user.release", "1", 1, 0) == 0;
    const bool owner = chown(out.c_str(), 1, 1) == 0;
    ASSERT_EQ(runProcess(OSTREL_BINARY, {"--output", "out.w3x", "map.w3x"}, folder.path).exitCode, 0);
    EXPECT_NE(entryBytes(out, "war3map.j").find("call Add_Commands()"), std::string::npos);
    const struct stat info = statOf(out);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_TRUE(!owner || (info.st_uid == 1 && info.st_gid == 1));
    EXPECT_TRUE(!attributes || getxattr(out.c_str(), "user.release", nullptr, 0) == 1);
    // A link (in another folder, relative to its own) to a file not there yet: the file is made where it points,
    // with the map's mode, and the link stays.
    ASSERT_EQ(mkdir(folder.file("made").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(folder.file("links").c_str(), 0755), 0);
    ASSERT_EQ(symlink("../made/new.w3x", folder.file("links/release.w3x").c_str()), 0);
    ASSERT_EQ(runProcess(OSTREL_BINARY, {"map.w3x", "--output", "links/release.w3x"}, folder.path).exitCode, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(folder.file("links/release.w3x")));
    EXPECT_EQ(statOf(folder.file("made/new.w3x")).st_mode & 07777, 0644u);
    // Into a folder, under the map's name as given, also where that is a link's.
    ASSERT_EQ(symlink("../map.w3x", folder.file("links/link.w3x").c_str()), 0);
    ASSERT_EQ(runProcess(OSTREL_BINARY, {"links/link.w3x", "--output", "made"}, folder.path).exitCode, 0);
    EXPECT_EQ(sortedNames(folder.file("made")), (std::vector<std::string>{"link.w3x", "new.w3x"}));
    EXPECT_EQ(sortedNames(folder.path), (std::vector<std::string>{"func.j", "links", "made", "map.w3x", "out.w3x"}));
}

TEST_F(RealMap, AGroupMemberWhoIsNotRootKeepsTheMapsGroup) {
    if (geteuid() != 0) GTEST_SKIP() << "Not run as root: cannot run the tool as a member of another group.";
    const std::string tool = folder.file("ostrel");
    ASSERT_TRUE(std::filesystem::copy_file(OSTREL_BINARY, tool));
    ASSERT_EQ(chmod(folder.path.c_str(), 0777), 0);
    ASSERT_EQ(chown(map.c_str(), 1, 100), 0);
    ASSERT_EQ(chmod(map.c_str(), 0664), 0);
    const ProcessResult result = runProcess(tool, {"map.w3x"}, folder.path, kUnprivilegedUid, 100);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const struct stat info = statOf(map);
    EXPECT_EQ(info.st_gid, 100u);
    EXPECT_EQ(info.st_mode & 07777, 0664u);
}

TEST_F(RealMap, CheckNeverOpensTheMapForWriting) {
    const int watch = inotify_init1(IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, map.c_str(), IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB), 0);
    EXPECT_EQ(runProcess(OSTREL_BINARY, {"--check", "map.w3x"}, folder.path).exitCode, 0);
    char events[4096];
    EXPECT_LT(read(watch, events, sizeof events), 0) << "the map was opened for writing";
    close(watch);
}

TEST_F(RealMap, TheProcessedLuaExampleRunsEachRegisteredFunctionOnceOnItsOwnEventAndId) {
    const std::string example = readFile(OSTREL_SOURCE_DIR "/examples/war3map.lua");
    std::string crlf;
    for (char c : example) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    writeShippedLibrary(folder.path, "func.lua");
    for (const std::string& script : {example, crlf}) {
        writeEntriesMap(map, {MapEntry{"war3map.lua", script, true}, MapEntry{"war3map.w3e", "terrain", false}});
        const ProcessResult result = runProcess(OSTREL_BINARY, {"map.w3x"}, folder.path);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        writeFile(folder.file("processed.lua"), entryBytes(map, "war3map.lua"));
        writeFile(folder.file("original.lua"), script);
        const ProcessResult ran =
            runProcess("lua5.3", {OSTREL_SOURCE_DIR "/tests/run_map.lua", "processed.lua", "original.lua"}, folder.path);
        EXPECT_EQ(ran.out, "ok 12 directives\n") << ran.err;
    }
}

TEST_F(RealMap, LimitsAndOddFilesAreOneLineAndLeaveTheMap) {
    writeEntriesMap(map, {MapEntry{"war3map.j", noisyScript(8 << 20), true}, {"war3map.w3e", "terrain", false}});
    const std::string before = readFile(map);
    ASSERT_EQ(mkfifo(folder.file("pipe.w3x").c_str(), 0644), 0);
    // Shell lines that run the tool ($0): file-size limits (in 512-byte blocks) for half the copy and for the copy
    // but not the new script; a check whose output is closed or full; a map, an output and a library that are no
    // regular file, which stay what they were.
    const std::string run = " && exec \"$0\" map.w3x";
    const std::string output = " is not a regular file; give the name of a file to write the processed map to.";
    const std::string unwritten = "Couldn't write the registrations to the standard output: ";
    std::vector<std::pair<std::string, std::string>> cases = {
        {"ulimit -f " + std::to_string(before.size() / 1024) + run, "Couldn't "},
        {"ulimit -f " + std::to_string(before.size() / 512 + 8) + run, "Couldn't "},
        {"exec \"$0\" --check map.w3x >&-", unwritten},
        {"exec \"$0\" --check map.w3x >/dev/full", unwritten},
        {"exec \"$0\" pipe.w3x", "The map pipe.w3x is not a regular file."},
        {"exec \"$0\" --output pipe.w3x map.w3x", "The output pipe.w3x" + output},
        {"exec \"$0\" --output /dev/null map.w3x", "The output /dev/null" + output},
        {"rm func.j && mkfifo func.j" + run, "Could not open the script library " + folder.file("func.j") + ": not a regular file"},
        {"rm func.j && ln -s /dev/zero func.j" + run, "Could not open the script library " + folder.file("func.j") + ": not a regular file"},
    };
    // About 10 MB of memory start the tool; the 8 MiB script needs about 26 MB more.
#ifndef __SANITIZE_ADDRESS__  // which does not start under a memory limit
    cases.insert(cases.begin(), {"ulimit -v 16000" + run, "Not enough memory to "});
#endif
    for (const auto& [line, start] : cases) {
        SCOPED_TRACE(line);
        const ProcessResult result = runProcess("/bin/sh", {"-c", line, OSTREL_BINARY}, folder.path);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_TRUE(isOneLine(result.err)) << result.err;
        EXPECT_EQ(result.err.rfind(start, 0), 0u) << result.err;
        EXPECT_TRUE(readFile(map) == before) << "the map changed";
        EXPECT_EQ(sortedNames(folder.path), (std::vector<std::string>{"func.j", "map.w3x", "pipe.w3x"}));
        EXPECT_TRUE(S_ISFIFO(statOf(folder.file("pipe.w3x")).st_mode));
    }
}

}  // namespace
