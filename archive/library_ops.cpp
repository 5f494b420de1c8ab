// The archive operations over the map archive library.
#include <StormLib.h>
#include <cstdio>
#include <cstring>
#include "archive/archive_ops.h"
#include "base/platform.h"

namespace {

#if defined(_WIN32) && defined(_UNICODE)
// The UTF-8 path as a library built for wide file names takes it.
std::wstring libraryPath(const char* path) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, path, -1, nullptr, 0);
    std::wstring wide(length > 0 ? length : 1, L'\0');
    if (length > 0) MultiByteToWideChar(CP_UTF8, 0, path, -1, &wide[0], length);
    wide.resize(wide.size() - 1);
    return wide;
}
#else
// The path as the library takes it: UTF-8 (the tool runs with the UTF-8 code
// page on Windows).
const char* libraryPath(const char* path) {
    return path;
}
#endif

// True once the archive is open; read-only unless kOpenForChange is asked for.
bool openArchive(const char* path, unsigned priority, unsigned flags, ArchiveHandle* archive) {
    const LibraryCall call;
    DWORD libraryFlags = (flags & kOpenForChange) ? 0 : MPQ_OPEN_READ_ONLY;
    HANDLE handle = nullptr;
    if (!SFileOpenArchive(&libraryPath(path)[0], priority, libraryFlags, &handle)) return false;
    *archive = handle;
    return true;
}

// True once the named entry is found in the archive.
bool openEntry(ArchiveHandle archive, const char* name, unsigned scope, EntryHandle* entry) {
    const LibraryCall call;
    HANDLE handle = nullptr;
    if (!SFileOpenFileEx(archive, name, scope, &handle)) return false;
    *entry = handle;
    return true;
}

// The entry's size, or kInvalidEntrySize when it cannot be had or exceeds 32 bits.
uint32_t entrySize(EntryHandle entry, uint32_t* sizeHigh) {
    const LibraryCall call;
    DWORD high = 0;
    DWORD low = SFileGetFileSize(entry, &high);
    if (sizeHigh) *sizeHigh = high;
    if (low == SFILE_INVALID_SIZE || high != 0) return kInvalidEntrySize;
    return low;
}

// True when all count bytes were read; *bytesRead says how many arrived
// (the library reports fewer than asked as a failure).
bool readEntry(EntryHandle entry, void* buffer, uint32_t count, uint32_t* bytesRead, void* overlapped) {
    const LibraryCall call;
    DWORD got = 0;
    bool ok = SFileReadFile(entry, buffer, count, &got, static_cast<LPOVERLAPPED>(overlapped));
    if (bytesRead) *bytesRead = got;
    return ok;
}

// True once the entry is closed.
bool closeEntry(EntryHandle entry) {
    const LibraryCall call;
    return SFileCloseFile(entry);
}

// True once the named entry is gone.
bool deleteEntry(ArchiveHandle archive, const char* name) {
    const LibraryCall call;
    return SFileRemoveFile(archive, name, SFILE_OPEN_FROM_MPQ);
}

// True once the archive's tables, name list and attributes are written.
bool finishChange(ArchiveHandle archive) {
    const LibraryCall call;
    return SFileFlushArchive(archive);
}

// True once the archive holds the named entry with exactly these bytes,
// stored compressed.
bool addEntryFromMemory(ArchiveHandle archive, const void* data, uint32_t length, const char* name, unsigned flags) {
    const LibraryCall call;
    HANDLE file = nullptr;
    DWORD fileFlags = MPQ_FILE_COMPRESS | MPQ_FILE_REPLACEEXISTING | flags;
    if (!SFileCreateFile(archive, name, 0, length, 0, fileFlags, &file)) return false;
    bool written = SFileWriteFile(file, data, length, MPQ_COMPRESSION_ZLIB);
    bool finished = SFileFinishFile(file);
    return written && finished;
}

// True once the archive is closed and its changes are in the file.
bool closeArchive(ArchiveHandle archive) {
    const LibraryCall call;
    return SFileCloseArchive(archive);
}

// True once the archive is rewritten without dead space.
bool compactArchive(ArchiveHandle archive) {
    const LibraryCall call;
    return SFileCompactArchive(archive, nullptr, false);
}

// True once a new archive for entries files is made at path, with its name
// list and attributes (CRC32), as the map editor that saves maps as folders
// writes its archives.
bool createArchive(const char* path, uint32_t entries, ArchiveHandle* archive) {
    const LibraryCall call;
    SFILE_CREATE_MPQ create = {};
    create.cbSize = sizeof create;
    create.dwMpqVersion = MPQ_FORMAT_VERSION_1;
    create.dwStreamFlags = STREAM_PROVIDER_FLAT | BASE_PROVIDER_FILE;
    create.dwFileFlags1 = MPQ_FILE_DEFAULT_INTERNAL;
    create.dwFileFlags2 = MPQ_FILE_DEFAULT_INTERNAL;
    create.dwAttrFlags = MPQ_ATTRIBUTE_CRC32;
    create.dwSectorSize = 0x1000;
    // The library makes room for the name list and the attributes itself, and
    // rounds the table up to a power of two: 62 give a table of 64.
    create.dwMaxFileCount = entries < 62 ? 62 : entries;
    HANDLE handle = nullptr;
    if (!SFileCreateArchive2(&libraryPath(path)[0], &create, &handle)) return false;
    *archive = handle;
    return true;
}

// Where the archive starts in its file.
uint64_t archiveOffset(ArchiveHandle archive) {
    const LibraryCall call;
    ULONGLONG offset = 0;
    return SFileGetFileInfo(archive, SFileMpqHeaderOffset, &offset, sizeof offset, nullptr) ? offset : 0;
}

// True when name is one the library makes up for an entry whose name it does
// not know: "File" and eight digits, a dot and an extension.
bool isMadeUpName(const char* name) {
    if (std::strncmp(name, "File", 4) != 0) return false;
    for (int i = 4; i < 12; ++i)
        if (name[i] < '0' || name[i] > '9') return false;
    return name[12] == '.';
}

// The names of the archive's entries; *complete false when one is not known.
bool entryNames(ArchiveHandle archive, std::vector<std::string>* names, bool* complete) {
    const LibraryCall call;
    names->clear();
    *complete = true;
    SFILE_FIND_DATA found;
    HANDLE search = SFileFindFirstFile(archive, "*", &found, nullptr);
    if (!search) return GetLastError() == ERROR_NO_MORE_FILES;
    do {
        if (isMadeUpName(found.cFileName))
            *complete = false;
        else
            names->push_back(found.cFileName);
    } while (SFileFindNextFile(search, &found));
    const bool ended = GetLastError() == ERROR_NO_MORE_FILES;
    SFileFindClose(search);
    return ended;
}

// True when the library's last failure was a lack of memory.
bool lastFailureWasMemory() {
    return GetLastError() == ERROR_NOT_ENOUGH_MEMORY;
}

// Why the library's last operation failed: its own reasons, else the system's.
std::string lastFailureReason() {
    const DWORD code = GetLastError();
    switch (code) {
        case ERROR_SUCCESS: return std::string();
        case ERROR_BAD_FORMAT: return "not a map archive";
        case ERROR_FILE_CORRUPT: return "the map archive is damaged";
        case ERROR_CAN_NOT_COMPLETE: return "the archive library could not complete the operation";
        case ERROR_HANDLE_EOF: return "the map archive ends too early";
        case ERROR_CHECKSUM_ERROR: return "an entry's checksum does not match";
        case ERROR_UNKNOWN_FILE_KEY: return "an entry's key cannot be found";
        case ERROR_FILE_INCOMPLETE: return "an entry is incomplete";
        default: return platform::describeError(static_cast<int>(code));
    }
}

}  // namespace

const ArchiveOps& libraryArchiveOps() {
    static const ArchiveOps ops = {
        openArchive,    openEntry,     entrySize,     readEntry,     closeEntry,
        deleteEntry,    finishChange,  addEntryFromMemory,  closeArchive,  compactArchive,
        entryNames,     createArchive, archiveOffset, lastFailureWasMemory, lastFailureReason,
        MAX_PATH - 1,
    };
    return ops;
}
