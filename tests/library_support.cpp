#include "tests/library_support.h"

#include <StormLib.h>
#include <gtest/gtest.h>

void writeEntriesMap(const std::string& path, const std::vector<MapEntry>& entries, bool nameList) {
    std::string error;
    ASSERT_TRUE(writeMap(path, entries, error, nameList)) << error;
}

void writeScriptMap(const std::string& path, const std::string& script) {
    writeEntriesMap(path, {MapEntry{"war3map.j", script, true}, MapEntry{"war3map.w3e", std::string("terrain\0data", 12), false}});
}

std::string entryBytes(const std::string& mapPath, const std::string& name) {
    HANDLE archive = nullptr, file = nullptr;
    if (!SFileOpenArchive(mapPath.c_str(), 0, MPQ_OPEN_READ_ONLY, &archive)) return "<none>";
    std::string bytes = "<none>";
    if (SFileOpenFileEx(archive, name.c_str(), 0, &file)) {
        bytes.assign(SFileGetFileSize(file, nullptr), '\0');
        DWORD got = 0;
        if (!bytes.empty() && !SFileReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr))
            bytes = "<unreadable>";
        SFileCloseFile(file);
    }
    SFileCloseArchive(archive);
    return bytes;
}

ProcessResult runTool(const std::vector<std::string>& args, const std::string& cwd, int uid) {
    return runProcess(OSTREL_BINARY, args, cwd, uid);
}

ProcessResult runToolLimited(const std::string& limit, const std::string& map, const std::string& cwd) {
    return runProcess("/bin/sh", {"-c", "ulimit " + limit + " && exec \"$0\" \"$1\"", OSTREL_BINARY, map}, cwd);
}
