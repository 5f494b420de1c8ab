#pragma once
#include "archive/archive_ops.h"

// An open archive, closed when the holder goes; close() reports the result.
class ArchiveHolder {
public:
    explicit ArchiveHolder(const ArchiveOps& ops) : ops_(ops) {}
    ~ArchiveHolder() { close(); }
    ArchiveHolder(const ArchiveHolder&) = delete;
    ArchiveHolder& operator=(const ArchiveHolder&) = delete;

    // True once the archive at path is open with flags.
    bool open(const std::string& path, unsigned flags) { open_ = ops_.openArchive(path.c_str(), 0, flags, &handle_); return open_; }
    // True once a new archive for entries files is made at path, and open.
    bool create(const std::string& path, uint32_t entries) { open_ = ops_.createArchive(path.c_str(), entries, &handle_); return open_; }
    // True once the archive is closed with every change in the file.
    bool close() {
        if (!open_) return true;
        open_ = false;
        return ops_.closeArchive(handle_);
    }
    ArchiveHandle handle() const { return handle_; }

private:
    const ArchiveOps& ops_;
    ArchiveHandle handle_ = nullptr;
    bool open_ = false;
};

// An open entry of an archive, closed when the holder goes; close() reports
// the result.
class EntryHolder {
public:
    explicit EntryHolder(const ArchiveOps& ops) : ops_(ops) {}
    ~EntryHolder() { close(); }
    EntryHolder(const EntryHolder&) = delete;
    EntryHolder& operator=(const EntryHolder&) = delete;

    // True once the named entry of archive is open.
    bool open(const ArchiveHolder& archive, const char* name) { open_ = ops_.openEntry(archive.handle(), name, 0, &handle_); return open_; }
    // True once the entry is closed.
    bool close() {
        if (!open_) return true;
        open_ = false;
        return ops_.closeEntry(handle_);
    }
    EntryHandle handle() const { return handle_; }

private:
    const ArchiveOps& ops_;
    EntryHandle handle_ = nullptr;
    bool open_ = false;
};
