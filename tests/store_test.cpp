// Reading and storing the map script, through the archive library and
// through tables in which one operation fails.
#include <StormLib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>
#include <cstdlib>
#include <sstream>
#include "archive/map_script_store.h"
#include "archive/replace_file.h"
#include "run/crash_guard.h"
#include "run/run.h"
#include "tests/test_support.h"

namespace {

const ArchiveOps& real = libraryArchiveOps();

// Reads the map's script in-process, with scriptLoaded reset first.
ScriptText readScript(const std::string& map, std::string& err, const ArchiveOps& ops = real) {
    scriptLoaded = true;
    std::ostringstream stream;
    ScriptText text = readMapScript(ops, map, stream);
    err = stream.str();
    return text;
}

// Stores script into map in-process through the library; err receives its messages.
bool storeScript(const std::string& map, const std::string& script, std::string& err) {
    std::ostringstream stream;
    bool stored = storeMapScript(real, map, script, stream);
    err = stream.str();
    return stored;
}

// Runs the tool in-process on map with ops; err receives its messages.
int runInProcess(const std::string& map, const std::string& libraryFolder, const ArchiveOps& ops, std::string& err) {
    scriptLoaded = true;
    const char* argv[] = {"ostrel", map.c_str()};
    std::ostringstream out, errStream;
    int code = runOstrel(2, argv, ops, libraryFolder, out, errStream);
    err = errStream.str();
    EXPECT_EQ(out.str(), "");
    return code;
}

TEST(ReadMapScript, ReadsUpToTheFirstNulWithoutChangingTheFile) {
    TempFolder folder;
    const std::pair<std::string, std::string> cases[] = {
        {"function main takes nothing returns nothing\r\nendfunction\r\n",
         "function main takes nothing returns nothing\r\nendfunction\r\n"},
        {"", ""},  // an empty entry is read without error
        {std::string("globals\n\0hidden\n", 16), "globals\n"},
    };
    for (const auto& [stored, script] : cases) {
        const std::string map = folder.file("map.w3x");
        writeScriptMap(map, stored);
        const std::string before = readFile(map);
        ASSERT_EQ(before.compare(0, 4, "HM3W"), 0);
        std::string err;
        EXPECT_EQ(readScript(map, err), script);
        EXPECT_TRUE(scriptLoaded);
        EXPECT_EQ(err, "");
        EXPECT_EQ(readFile(map), before);
    }
}

TEST(ReadMapScript, EachUnreadableMapGivesItsMessageAndStaysAsItWas) {
    TempFolder folder;
    writeEntriesMap(folder.file("noscript.w3x"), {MapEntry{"war3map.w3e", "terrain", false}});
    writeFile(folder.file("text.w3x"), std::string(4096, 'x'));
    const std::pair<std::string, std::string> cases[] = {
        {folder.file("noscript.w3x"), "Couldn't locate the file war3map.j in the map file.\n"},
        {folder.file("text.w3x"), "Couldn't open the map mpq file for reading.\n"},
        {folder.file("absent.w3x"), "Couldn't open the map mpq file for reading.\n"},
    };
    for (const auto& [map, message] : cases) {
        SCOPED_TRACE(map);
        const std::string before = readFile(map);
        std::string err;
        EXPECT_EQ(readScript(map, err), "");
        EXPECT_FALSE(scriptLoaded);
        EXPECT_EQ(err, message);
        EXPECT_EQ(readFile(map), before);
    }
    EXPECT_FALSE(fileExists(folder.file("absent.w3x")));
}

TEST(ReadMapScript, UsesOnlyTheBytesTheLibraryDelivered) {
    TempFolder folder;
    const std::string map = folder.file("map.w3x");
    writeScriptMap(map, "0123456789abcdef");
    ArchiveOps halfReads = real;
    halfReads.readEntry = [](EntryHandle entry, void* buffer, uint32_t count, uint32_t* got, void* overlapped) {
        return libraryArchiveOps().readEntry(entry, buffer, count / 2, got, overlapped);
    };
    std::string err;
    EXPECT_EQ(readScript(map, err, halfReads), "01234567");
    EXPECT_TRUE(scriptLoaded);
}

TEST(StoreMapScript, StoresTheScriptPlusNulCompressedForAnyReader) {
    TempFolder folder;
    const std::string map = folder.file("map.w3x");
    writeScriptMap(map, "old script\n");
    const std::string mapHeader = readFile(map).substr(0, 512);
    bool ok = false;
    const std::string terrain = readEntryBytes(map, "war3map.w3e", ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(chmod(map.c_str(), 0640), 0);

    std::string err;
    EXPECT_TRUE(storeScript(map, "new script\r\n", err));
    EXPECT_EQ(err, "");
    EXPECT_EQ(readEntryBytes(map, "war3map.j", ok), std::string("new script\r\n") + '\0');
    EXPECT_EQ(readEntryBytes(map, "war3map.w3e", ok), terrain);
    EXPECT_EQ(readFile(map).substr(0, 512), mapHeader);
    EXPECT_EQ(folderNames(folder.path), std::vector<std::string>{"map.w3x"});
    struct stat info;
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
    if (std::system("command -v smpq >/dev/null 2>&1") != 0) GTEST_SKIP() << "smpq is not installed";
    ASSERT_EQ(std::system(("cd '" + folder.path + "' && smpq -x -q map.w3x war3map.j").c_str()), 0);
    EXPECT_EQ(readFile(folder.file("war3map.j")), std::string("new script\r\n") + '\0');
}

TEST(StoreMapScript, ThroughASymbolicLinkTheTargetIsReplacedAndTheLinkStays) {
    TempFolder folder;
    ASSERT_EQ(mkdir(folder.file("maps").c_str(), 0755), 0);
    const std::string target = folder.file("maps/real.w3x");
    writeScriptMap(target, "x\n");
    ASSERT_EQ(symlink("maps/real.w3x", folder.file("link.w3x").c_str()), 0);

    std::string err;
    EXPECT_TRUE(storeScript(folder.file("link.w3x"), "y\n", err)) << err;
    char linked[256] = {};
    ASSERT_GT(readlink(folder.file("link.w3x").c_str(), linked, sizeof(linked) - 1), 0);
    EXPECT_STREQ(linked, "maps/real.w3x");
    bool ok = false;
    EXPECT_EQ(readEntryBytes(target, "war3map.j", ok), std::string("y\n") + '\0');
    EXPECT_EQ(folderNames(folder.file("maps")), std::vector<std::string>{"real.w3x"});
}

// Calls of openArchive and closeArchive so far: the first of each is the read's.
int archiveCalls = 0;

// A copy of the real table in which one operation fails: the cases 0..8 fail
// an operation on every call, 9 and 10 only when the map is opened for the change.
ArchiveOps opsFailingAt(int which) {
    archiveCalls = 0;
    ArchiveOps ops = real;
    switch (which) {
        case 0: ops.openArchive = [](const char*, unsigned, unsigned, ArchiveHandle*) { return false; }; break;
        case 1: ops.openEntry = [](ArchiveHandle, const char*, unsigned, EntryHandle*) { return false; }; break;
        case 2: ops.entrySize = [](EntryHandle, uint32_t*) { return kInvalidEntrySize; }; break;
        case 3: ops.readEntry = [](EntryHandle, void*, uint32_t, uint32_t*, void*) { return false; }; break;
        // A failing close still closes, so that nothing is left open.
        case 4: ops.closeEntry = [](EntryHandle e) { libraryArchiveOps().closeEntry(e); return false; }; break;
        case 5: ops.deleteEntry = [](ArchiveHandle, const char*) { return false; }; break;
        case 6: ops.finishChange = [](ArchiveHandle) { return false; }; break;
        case 7: ops.addEntryFromMemory = [](ArchiveHandle, const void*, uint32_t, const char*, unsigned) { return false; }; break;
        case 8: ops.closeArchive = [](ArchiveHandle a) { libraryArchiveOps().closeArchive(a); return false; }; break;
        case 9:
            ops.openArchive = [](const char* path, unsigned priority, unsigned flags, ArchiveHandle* a) {
                return ++archiveCalls == 1 && libraryArchiveOps().openArchive(path, priority, flags, a);
            };
            break;
        case 10:
            ops.closeArchive = [](ArchiveHandle a) {
                return libraryArchiveOps().closeArchive(a) && ++archiveCalls == 1;
            };
            break;
    }
    return ops;
}

TEST(StoreMapScript, AnyFailingArchiveOperationLeavesTheMapByteForByte) {
    const std::string unreadable = "Couldn't read the file war3map.j from the map file.\n";
    const std::string expected[] = {
        "Couldn't open the map mpq file for reading.\n",
        "Couldn't locate the file war3map.j in the map file.\n",
        unreadable, unreadable, unreadable,
        "Couldn't remove the old map script from the map file.\n",
        "Couldn't write the map file's tables after removing the old map script.\n",
        "Couldn't add the new map script to the map file.\n",
        unreadable,
        "Couldn't open the map mpq file for writing.\n",
        "Couldn't close the map file after writing it.\n",
    };
    for (int which = 0; which < 11; ++which) {
        SCOPED_TRACE("failing operation " + std::to_string(which));
        TempFolder folder;
        const std::string map = folder.file("map.w3x");
        writeScriptMap(map, kMinimalScript);
        writeLibrary(folder.path);
        const std::string before = readFile(map);
        std::string err;
        EXPECT_EQ(runInProcess(map, folder.path, opsFailingAt(which), err), 1);
        EXPECT_EQ(err, expected[which]);
        EXPECT_EQ(readFile(map), before);
        EXPECT_EQ(folderNames(folder.path), (std::vector<std::string>{"func.j", "map.w3x"}));
    }
}

TEST(StoreMapScript, AMapTheUserMayNotChangeIsRefused) {
    TempFolder folder;
    const bool root = geteuid() == 0;
    const int uid = root ? kUnprivilegedUid : -1;
    ASSERT_EQ(chmod(folder.path.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(folder.file("locked").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(folder.file("open").c_str(), 0777), 0);
    const std::string inLockedFolder = folder.file("locked/map.w3x");
    const std::string readOnlyMap = folder.file("open/map.w3x");
    writeScriptMap(inLockedFolder, kMinimalScript);
    writeScriptMap(readOnlyMap, kMinimalScript);
    writeLibrary(folder.path);
    ASSERT_EQ(chmod(inLockedFolder.c_str(), 0666), 0);
    ASSERT_EQ(chmod(readOnlyMap.c_str(), 0444), 0);
    if (!root) ASSERT_EQ(chmod(folder.file("locked").c_str(), 0555), 0);

    const std::pair<std::string, std::string> cases[] = {
        {inLockedFolder, "Couldn't create a temporary copy of the map in " + folder.file("locked")},
        {readOnlyMap, "Couldn't open the map file " + readOnlyMap + " for writing"},
    };
    for (const auto& [map, message] : cases) {
        SCOPED_TRACE(map);
        const std::string before = readFile(map);
        ToolResult result = runTool({map}, folder.path, uid);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_TRUE(isOneLine(result.err)) << result.err;
        EXPECT_EQ(result.err.rfind(message, 0), 0u) << result.err;
        EXPECT_EQ(readFile(map), before);
    }
    EXPECT_EQ(folderNames(folder.file("locked")), std::vector<std::string>{"map.w3x"});
    EXPECT_EQ(folderNames(folder.file("open")), std::vector<std::string>{"map.w3x"});
}

TEST(CommandLine, UsageHelpAndVersion) {
    // Every run opens the map first: this table fails the test if it is reached.
    ArchiveOps untouchable = real;
    untouchable.openArchive = [](const char*, unsigned, unsigned, ArchiveHandle*) {
        ADD_FAILURE() << "the archive library was called";
        return false;
    };
    std::ostringstream out, err;
    const char* bare[] = {"ostrel"};
    EXPECT_EQ(runOstrel(1, bare, untouchable, ".", out, err), 1);
    EXPECT_TRUE(isOneLine(err.str()));
    EXPECT_EQ(err.str().rfind("Usage: ostrel", 0), 0u);
    EXPECT_EQ(out.str(), "");

    std::ostringstream helpOut, helpErr;
    const char* help[] = {"ostrel", "--help"};
    EXPECT_EQ(runOstrel(2, help, untouchable, ".", helpOut, helpErr), 0);
    EXPECT_EQ(helpOut.str(), err.str());
    EXPECT_EQ(helpErr.str(), "");

    ToolResult version = runTool({"--version"}, "/");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("ostrel ", 0), 0u);
}

TEST(CrashGuard, AFaultWhileWorkingOnTheCopyRemovesItAndLeavesTheMap) {
    TempFolder folder;
    const std::string map = folder.file("map.w3x");
    writeScriptMap(map, kMinimalScript);
    const std::string before = readFile(map);
    for (int signal : {SIGABRT, SIGSEGV}) {
        EXPECT_EXIT(
            {
                guardAgainstCrashes(map);
                std::string copy;
                std::ostringstream err;
                if (makeWorkingCopy(map, copy, err)) std::raise(signal);
                std::exit(2);
            },
            ::testing::ExitedWithCode(1), "^ostrel stopped on a fault while reading or writing the map .*map.w3x");
        EXPECT_EQ(readFile(map), before);
        EXPECT_EQ(folderNames(folder.path), std::vector<std::string>{"map.w3x"});
    }
}

}  // namespace
