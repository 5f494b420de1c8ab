#include "tests/standin_archive.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

const char kMagic[] = "STANDIN ARCHIVE\n";

struct Archive {
    std::string path;
    StandinEntries entries;
    bool forChange = false;
};

struct Entry {
    std::string bytes;
    std::size_t at = 0;
};

StandinEntries::iterator find(Archive* archive, const char* name) {
    return std::find_if(archive->entries.begin(), archive->entries.end(),
                        [name](const auto& entry) { return entry.first == name; });
}

bool openArchive(const char* path, unsigned, unsigned flags, ArchiveHandle* handle) {
    auto* archive = new Archive{path, {}, (flags & kOpenForChange) != 0};
    if (!readStandinArchive(path, &archive->entries)) {
        delete archive;
        return false;
    }
    *handle = archive;
    return true;
}

bool openEntry(ArchiveHandle handle, const char* name, unsigned, EntryHandle* entry) {
    auto* archive = static_cast<Archive*>(handle);
    auto found = find(archive, name);
    if (found == archive->entries.end()) return false;
    *entry = new Entry{found->second, 0};
    return true;
}

uint32_t entrySize(EntryHandle handle, uint32_t*) {
    return static_cast<uint32_t>(static_cast<Entry*>(handle)->bytes.size());
}

bool readEntry(EntryHandle handle, void* buffer, uint32_t count, uint32_t* bytesRead, void*) {
    auto* entry = static_cast<Entry*>(handle);
    const std::size_t got = std::min<std::size_t>(count, entry->bytes.size() - entry->at);
    std::memcpy(buffer, entry->bytes.data() + entry->at, got);
    entry->at += got;
    if (bytesRead) *bytesRead = static_cast<uint32_t>(got);
    return got == count;
}

bool closeEntry(EntryHandle handle) {
    delete static_cast<Entry*>(handle);
    return true;
}

bool deleteEntry(ArchiveHandle handle, const char* name) {
    auto* archive = static_cast<Archive*>(handle);
    auto found = find(archive, name);
    if (!archive->forChange || found == archive->entries.end()) return false;
    archive->entries.erase(found);
    return true;
}

bool finishChange(ArchiveHandle handle) {
    auto* archive = static_cast<Archive*>(handle);
    return archive->forChange && writeStandinArchive(archive->path, archive->entries);
}

bool addEntryFromMemory(ArchiveHandle handle, const void* data, uint32_t length, const char* name, unsigned) {
    auto* archive = static_cast<Archive*>(handle);
    if (!archive->forChange) return false;
    auto found = find(archive, name);
    if (found != archive->entries.end()) archive->entries.erase(found);
    archive->entries.emplace_back(name, std::string(static_cast<const char*>(data), length));
    return true;
}

bool closeArchive(ArchiveHandle handle) {
    auto* archive = static_cast<Archive*>(handle);
    const bool written = !archive->forChange || writeStandinArchive(archive->path, archive->entries);
    delete archive;
    return written;
}

bool compactArchive(ArchiveHandle handle) {
    return finishChange(handle);
}

bool entryNames(ArchiveHandle handle, std::vector<std::string>* names, bool* complete) {
    names->clear();
    *complete = true;
    for (const auto& entry : static_cast<Archive*>(handle)->entries) {
        if (entry.first[0] == '?')
            *complete = false;
        else
            names->push_back(entry.first);
    }
    return true;
}

bool lastFailureWasMemory() {
    return false;
}

}  // namespace

const ArchiveOps& standinArchiveOps() {
    static const ArchiveOps ops = {
        openArchive,  openEntry,          entrySize,    readEntry,      closeEntry, deleteEntry,
        finishChange, addEntryFromMemory, closeArchive, compactArchive, entryNames, lastFailureWasMemory,
    };
    return ops;
}

bool writeStandinArchive(const std::string& path, const StandinEntries& entries) {
    std::ofstream out(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
    out << kMagic;
    for (const auto& [name, bytes] : entries) out << name << '\n' << bytes.size() << '\n' << bytes;
    out.close();
    return static_cast<bool>(out);
}

bool readStandinArchive(const std::string& path, StandinEntries* entries) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (all.compare(0, std::strlen(kMagic), kMagic) != 0) return false;
    entries->clear();
    for (std::size_t at = std::strlen(kMagic); at < all.size();) {
        const std::size_t nameEnd = all.find('\n', at);
        const std::size_t sizeEnd = nameEnd == std::string::npos ? nameEnd : all.find('\n', nameEnd + 1);
        if (sizeEnd == std::string::npos) return false;
        const std::size_t size = std::strtoul(all.c_str() + nameEnd + 1, nullptr, 10);
        if (size > all.size() - sizeEnd - 1) return false;
        entries->emplace_back(all.substr(at, nameEnd - at), all.substr(sizeEnd + 1, size));
        at = sizeEnd + 1 + size;
    }
    return true;
}
