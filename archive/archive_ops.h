#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The map archive operations the tool uses, as one table of plain function
// pointers. The real table calls the archive library; a test hands the run a
// table in which any operation fails, or a stand-in archive.
using ArchiveHandle = void*;
using EntryHandle = void*;

// Open flags for openArchive.
constexpr unsigned kOpenForChange = 0x8000;  // the handle accepts deleteEntry and addEntryFromMemory
constexpr unsigned kOpenReadOnly = 0x0100;   // the file is never written through the handle

// entrySize's answer when the size cannot be had.
constexpr uint32_t kInvalidEntrySize = 0xFFFFFFFFu;

struct ArchiveOps {
    // True once the archive at path (UTF-8) is open; fills *archive.
    bool (*openArchive)(const char* path, unsigned priority, unsigned flags, ArchiveHandle* archive);
    // True once the named entry is found; fills *entry.
    bool (*openEntry)(ArchiveHandle archive, const char* name, unsigned scope, EntryHandle* entry);
    // The entry's size in bytes, or kInvalidEntrySize.
    uint32_t (*entrySize)(EntryHandle entry, uint32_t* sizeHigh);
    // True when the read succeeded; *bytesRead says how many bytes arrived.
    bool (*readEntry)(EntryHandle entry, void* buffer, uint32_t count, uint32_t* bytesRead, void* overlapped);
    // True once the entry is closed.
    bool (*closeEntry)(EntryHandle entry);
    // True once the named entry is gone from the archive.
    bool (*deleteEntry)(ArchiveHandle archive, const char* name);
    // True once the archive's tables are written after a change.
    bool (*finishChange)(ArchiveHandle archive);
    // True once the archive holds an entry of that name with exactly those bytes.
    bool (*addEntryFromMemory)(ArchiveHandle archive, const void* data, uint32_t length, const char* name, unsigned flags);
    // True once the archive is closed and every change is in the file.
    bool (*closeArchive)(ArchiveHandle archive);
    // True once the archive is rewritten without the space that removed
    // entries left behind; every remaining entry keeps its bytes and flags.
    bool (*compactArchive)(ArchiveHandle archive);
    // The names of the archive's entries; *complete is false when the name
    // of some entry is not known.
    bool (*entryNames)(ArchiveHandle archive, std::vector<std::string>* names, bool* complete);
    // True once a new archive is made at path, open for adding entries: for
    // entries files besides its (listfile) and (attributes), which it keeps
    // (the attributes with each entry's CRC32); archive format version 1,
    // sectors of 4096 bytes, a hash table of the smallest power of two of at
    // least 64 that holds every entry, entries compressed with zlib.
    bool (*createArchive)(const char* path, uint32_t entries, ArchiveHandle* archive);
    // Where the archive starts in its file: the bytes in front of it (a
    // map's header) are not the archive's.
    uint64_t (*archiveOffset)(ArchiveHandle archive);
    // True when the last failed operation failed for lack of memory.
    bool (*lastFailureWasMemory)();
    // Why the last failed operation failed, as the library or the system
    // says it; empty when it says nothing.
    std::string (*lastFailureReason)();
    // The longest path, in bytes, that the library takes whole for an archive
    // it writes, and for the temporary file it compacts one through.
    std::size_t pathLimit;
};

// The table backed by the archive library.
const ArchiveOps& libraryArchiveOps();

// Marks a call into the archive library while it lasts, so that a crash there
// is reported as the library's.
class LibraryCall {
public:
    LibraryCall();
    ~LibraryCall();
    LibraryCall(const LibraryCall&) = delete;
    LibraryCall& operator=(const LibraryCall&) = delete;
};
// Signal-safe: true while a call into the archive library is under way.
bool insideArchiveLibrary();
