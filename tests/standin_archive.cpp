#include <algorithm>
#include <memory>
#include <cstdlib>
#include <sstream>
#include "tests/test_support.h"

namespace {

const char kMagic[] = "STANDIN ARCHIVE\n";
const char kEnd[] = "END\n";  // after the last entry: a stand-in map cut short does not read

// The entries of the stand-in archive at path; false when it is none.
bool readStandinArchive(const std::string& path, StandinEntries* entries) {
    std::istringstream in(readFile(path));
    std::string line;
    if (!std::getline(in, line) || line + '\n' != kMagic) return false;
    entries->clear();
    for (std::string name, size;;) {
        if (!std::getline(in, name)) return false;
        if (name + '\n' == kEnd) return in.peek() == std::char_traits<char>::eof();
        if (!std::getline(in, size)) return false;
        std::string content(std::strtoul(size.c_str(), nullptr, 10), '\0');
        if (!in.read(&content[0], static_cast<std::streamsize>(content.size()))) return false;
        entries->emplace_back(name, content);
    }
}

struct Archive {
    std::string path;
    StandinEntries entries;
    bool forChange;
    StandinEntries::iterator find(const char* name) {
        return std::find_if(entries.begin(), entries.end(), [name](const auto& e) { return e.first == name; });
    }
    bool write() const { return !forChange || writeStandinArchive(path, entries); }
};

// An open entry: its bytes and how many have been read.
using Entry = std::pair<std::string, std::size_t>;

Archive* archiveOf(ArchiveHandle handle) { return static_cast<Archive*>(handle); }

}  // namespace

const ArchiveOps& standinArchiveOps() {
    static const ArchiveOps ops = {
        [](const char* path, unsigned, unsigned flags, ArchiveHandle* handle) {
            auto archive = std::make_unique<Archive>(Archive{path, {}, (flags & kOpenForChange) != 0});
            if (!readStandinArchive(path, &archive->entries)) return false;
            return *handle = archive.release(), true;
        },
        [](ArchiveHandle handle, const char* name, unsigned, EntryHandle* entry) {
            const auto found = archiveOf(handle)->find(name);
            if (found == archiveOf(handle)->entries.end()) return false;
            return *entry = new Entry(found->second, 0), true;
        },
        [](EntryHandle entry, uint32_t*) { return static_cast<uint32_t>(static_cast<Entry*>(entry)->first.size()); },
        [](EntryHandle handle, void* buffer, uint32_t count, uint32_t* bytesRead, void*) {
            auto& [bytes, at] = *static_cast<Entry*>(handle);
            const std::size_t got = bytes.copy(static_cast<char*>(buffer), count, at);
            at += got;
            if (bytesRead) *bytesRead = static_cast<uint32_t>(got);
            return got == count;
        },
        [](EntryHandle entry) { return delete static_cast<Entry*>(entry), true; },
        [](ArchiveHandle handle, const char* name) {
            Archive* archive = archiveOf(handle);
            const auto found = archive->find(name);
            if (!archive->forChange || found == archive->entries.end()) return false;
            return archive->entries.erase(found), true;
        },
        [](ArchiveHandle handle) { return archiveOf(handle)->forChange && archiveOf(handle)->write(); },
        [](ArchiveHandle handle, const void* data, uint32_t length, const char* name, unsigned) {
            Archive* archive = archiveOf(handle);
            if (!archive->forChange) return false;
            if (archive->find(name) != archive->entries.end()) archive->entries.erase(archive->find(name));
            return archive->entries.emplace_back(name, std::string(static_cast<const char*>(data), length)), true;
        },
        [](ArchiveHandle handle) { return std::unique_ptr<Archive>(archiveOf(handle))->write(); },
        [](ArchiveHandle handle) { return archiveOf(handle)->forChange && archiveOf(handle)->write(); },
        [](ArchiveHandle handle, std::vector<std::string>* names, bool* complete) {
            names->clear();
            *complete = true;
            for (const auto& entry : archiveOf(handle)->entries)
                if (entry.first[0] == '?') *complete = false;
                else names->push_back(entry.first);
            return true;
        },
        [](const char* path, uint32_t, ArchiveHandle* handle) {
            auto archive = std::make_unique<Archive>(Archive{path, {}, true});
            if (!archive->write()) return false;
            return *handle = archive.release(), true;
        },
        [](ArchiveHandle) { return uint64_t{0}; },
        [] { return false; },
        [] { return std::string(); },
        1023,
    };
    return ops;
}

bool writeStandinArchive(const std::string& path, const StandinEntries& entries) {
    std::string bytes = kMagic;
    for (const auto& [name, content] : entries) bytes += name + '\n' + std::to_string(content.size()) + '\n' + content;
    bytes += kEnd;
    writeFile(path, bytes);
    return readFile(path) == bytes;
}

std::map<std::string, std::string> standinEntries(const std::string& path) {
    StandinEntries entries;
    readStandinArchive(path, &entries);
    return std::map<std::string, std::string>(entries.begin(), entries.end());
}

std::string standinEntry(const std::string& path, const std::string& name) {
    Archive archive{path, {}, false};
    if (!readStandinArchive(path, &archive.entries)) return "<none>";
    const auto found = archive.find(name.c_str());
    return found == archive.entries.end() ? "<none>" : found->second;
}
