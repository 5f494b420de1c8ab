// The floor ostrel is measured against: only the work no tool storing a map
// script can avoid, done with the map archive library directly. It reads
// "war3map.j" read-only, then on a copy of the map in the map's folder
// replaces the entry with the same bytes plus a NUL, stored compressed,
// compacts the archive so that the old entry leaves no dead space, and
// renames the copy over the map once it is flushed to disk.
//
//   baseline_store MAP        exit 0 once the map is replaced, 1 otherwise
#include <StormLib.h>
#include "bench/bench_support.h"
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const char* const kScriptEntry = "war3map.j";

// The script entry's bytes followed by one NUL, read through a read-only handle.
bool readScript(const std::string& map, std::vector<char>& bytes) {
    HANDLE archive = nullptr;
    if (!SFileOpenArchive(map.c_str(), 0, MPQ_OPEN_READ_ONLY, &archive)) return false;
    HANDLE entry = nullptr;
    bool read = false;
    if (SFileOpenFileEx(archive, kScriptEntry, 0, &entry)) {
        DWORD size = SFileGetFileSize(entry, nullptr);
        DWORD got = 0;
        if (size != SFILE_INVALID_SIZE) {
            bytes.resize(size + 1);
            read = (size == 0 || SFileReadFile(entry, bytes.data(), size, &got, nullptr)) && got == size;
            bytes[size] = '\0';
        }
        SFileCloseFile(entry);
    }
    return SFileCloseArchive(archive) && read;
}

// The archive at path with its script entry replaced by bytes, stored compressed.
bool replaceScript(const std::string& path, const std::vector<char>& bytes) {
    HANDLE archive = nullptr;
    if (!SFileOpenArchive(path.c_str(), 0, 0, &archive)) return false;
    bool done = SFileRemoveFile(archive, kScriptEntry, SFILE_OPEN_FROM_MPQ) && SFileFlushArchive(archive);
    HANDLE entry = nullptr;
    const DWORD size = static_cast<DWORD>(bytes.size());
    done = done && SFileCreateFile(archive, kScriptEntry, 0, size, 0, MPQ_FILE_COMPRESS | MPQ_FILE_REPLACEEXISTING, &entry);
    if (done) {
        bool written = SFileWriteFile(entry, bytes.data(), size, MPQ_COMPRESSION_ZLIB);
        done = SFileFinishFile(entry) && written;
    }
    done = done && SFileFlushArchive(archive) && SFileCompactArchive(archive, nullptr, false);
    return SFileCloseArchive(archive) && done;
}

// True once path's contents are on disk.
bool syncPath(const std::string& path, int flags) {
    int fd = open(path.c_str(), flags);
    if (fd < 0) return false;
    bool synced = fsync(fd) == 0;
    return close(fd) == 0 && synced;
}

std::string folderOf(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: baseline_store MAP\n");
        return 1;
    }
    const std::string map = argv[1];
    const std::string copy = map + ".baseline-" + std::to_string(getpid());
    std::vector<char> script;
    if (!readScript(map, script)) {
        std::fprintf(stderr, "baseline_store: cannot read %s from %s\n", kScriptEntry, map.c_str());
        return 1;
    }
    if (!copyFile(map, copy, false) || !replaceScript(copy, script) || !syncPath(copy, O_WRONLY) ||
        std::rename(copy.c_str(), map.c_str()) != 0) {
        std::fprintf(stderr, "baseline_store: cannot store the script into %s\n", map.c_str());
        std::remove(copy.c_str());
        return 1;
    }
    // The rename itself is durable only once the folder is flushed, as ostrel does.
    syncPath(folderOf(map), O_RDONLY | O_DIRECTORY);
    return 0;
}
