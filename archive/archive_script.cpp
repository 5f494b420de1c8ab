#include "archive/archive_script.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>
#include "archive/archive_handles.h"
#include "archive/entry_hash.h"
#include "archive/map_script_store.h"

namespace {

constexpr uint32_t kPiece = 4u << 20;
// What the read-back reads at a time: small enough to stay in the cache.
constexpr uint32_t kReadBackPiece = 256u << 10;

// The line for a script entry that cannot be read.
std::string unreadable(const ScriptEntry& entry) {
    return std::string("Couldn't read the file ") + entry.name + " from the map file.";
}

// The line for a failed operation: message with the library's reason, or
// the memory line when the library ran out of memory.
std::string failure(const ArchiveOps& ops, const std::string& message, const char* task) {
    if (ops.lastFailureWasMemory()) return std::string("Not enough memory to ") + task + ".";
    const std::string reason = ops.lastFailureReason();
    return reason.empty() ? message : message + " " + reason + ".";
}

// The missing-entry line, naming the entry looked for first, with the other
// place a script may stand in a map.
std::string missingEntry(const ArchiveOps& ops, const ArchiveHolder& archive, const ScriptEntry& first) {
    std::string message = std::string("Couldn't locate the file ") + first.name + " in the map file.";
    EntryHolder other(ops);
    if (other.open(archive, "Scripts\\war3map.j"))
        message += " The map holds Scripts\\war3map.j; ostrel processes only war3map.j.";
    return message;
}

// Reads up to size bytes of the entry into text, a piece at a time, so that
// memory grows with the bytes actually delivered, not with a size a damaged
// map may claim. Room is kept for what the rewrite adds, so the script need
// not be copied to grow. Only delivered bytes count.
bool readEntryBytes(const ArchiveOps& ops, EntryHandle entry, uint32_t size, const ScriptEntry& name, ScriptText* text,
                    std::string* err) {
    const uint64_t kTrustedSize = 256u << 20;
    try {
        text->reserve(static_cast<std::size_t>(std::min<uint64_t>(size, kTrustedSize) * 9 / 8 + (1u << 20)));
        uint32_t total = 0;
        while (total < size) {
            const uint32_t piece = std::min(kPiece, size - total);
            text->resize(static_cast<std::size_t>(total) + piece);
            uint32_t got = 0;
            if (!ops.readEntry(entry, &(*text)[total], piece, &got, nullptr)) {
                *err = failure(ops, unreadable(name), "read the map script");
                return false;
            }
            total += std::min(got, piece);
            if (got < piece) break;
        }
        text->resize(total);
        return true;
    } catch (const std::bad_alloc&) {
        *err = "Not enough memory to read the map script.";
        return false;
    }
}

// True when the entry holds exactly expected, compared a piece at a time.
bool entryHolds(const ArchiveOps& ops, EntryHandle entry, const char* expected, std::size_t size) {
    if (ops.entrySize(entry, nullptr) != size) return false;
    std::vector<char> piece(std::min<std::size_t>(size, kReadBackPiece));
    for (std::size_t done = 0; done < size;) {
        const uint32_t ask = static_cast<uint32_t>(std::min<std::size_t>(piece.size(), size - done));
        uint32_t got = 0;
        if (!ops.readEntry(entry, piece.data(), ask, &got, nullptr) || got != ask) return false;
        if (std::memcmp(piece.data(), expected + done, ask) != 0) return false;
        done += ask;
    }
    return true;
}

// Reads the whole named entry of archive into bytes; false when it does not
// read whole.
bool readWholeEntry(const ArchiveOps& ops, const ArchiveHolder& archive, const std::string& name,
                    std::vector<char>& bytes) {
    EntryHolder entry(ops);
    if (!entry.open(archive, name.c_str())) return false;
    const uint32_t size = ops.entrySize(entry.handle(), nullptr);
    if (size == kInvalidEntrySize) return false;
    bytes.resize(size);
    uint32_t got = 0;
    return (size == 0 || (ops.readEntry(entry.handle(), bytes.data(), size, &got, nullptr) && got == size)) &&
           entry.close();
}

// True for the entries the archive library keeps itself and writes anew on
// every change: the name list, the attributes, the signature.
bool isBookkeeping(const std::string& name) {
    return name == "(listfile)" || name == "(attributes)" || name == "(signature)";
}

// An entry of the archive other than the script and the bookkeeping, with the
// hash of its content.
struct HeldEntry {
    std::string name;
    uint64_t hash;
};

// What an archive holds besides its script.
struct Contents {
    std::vector<HeldEntry> entries;  // those whose names are known
    bool complete = false;           // every entry's name is known
    bool isSigned = false;
};

// Lists what the archive at path holds besides the script entry, each entry
// with the hash of its content; false, with one line in *err, when it cannot.
bool surveyArchive(const ArchiveOps& ops, const std::string& path, const ScriptEntry& entry, Contents* contents,
                   std::string* err) {
    ArchiveHolder archive(ops);
    std::vector<std::string> names;
    if (!archive.open(path, kOpenReadOnly) || !ops.entryNames(archive.handle(), &names, &contents->complete)) {
        *err = failure(ops, "Couldn't list the entries of the map file.", "list the map's entries");
        return false;
    }
    std::vector<char> piece;
    for (std::string& name : names) {
        contents->isSigned = contents->isSigned || name == "(signature)";
        if (name == entry.name || isBookkeeping(name)) continue;
        uint64_t hash = 0;
        if (!entryHash(ops, archive, name, piece, &hash)) {
            *err = failure(ops, "Couldn't read the file " + name + " from the map file.", "read the map's entries");
            return false;
        }
        contents->entries.push_back({std::move(name), hash});
    }
    return true;
}

// Replaces the script entry of the archive at path with text as entry stores
// it, in place, then compacts the archive where compact.
bool replaceScriptEntry(const ArchiveOps& ops, const std::string& path, const ScriptEntry& entry,
                        const ScriptText& text, bool compact, std::string* err) {
    ArchiveHolder archive(ops);
    if (!archive.open(path, kOpenForChange)) {
        *err = failure(ops, "Couldn't open the map mpq file for writing.", "open the map for writing");
        return false;
    }
    const char* message = nullptr;
    if (!ops.deleteEntry(archive.handle(), entry.name))
        message = "Couldn't remove the old map script from the map file.";
    else if (!ops.finishChange(archive.handle()))
        message = "Couldn't write the map file's tables after removing the old map script.";
    else if (!ops.addEntryFromMemory(archive.handle(), text.c_str(), static_cast<uint32_t>(text.size() + entry.nulTerminated),
                                     entry.name, 0))
        message = "Couldn't add the new map script to the map file.";
    else if (!ops.finishChange(archive.handle()))
        message = "Couldn't write the map file's tables after adding the new map script.";
    else if (compact && !ops.compactArchive(archive.handle()))
        message = "Couldn't compact the map file after adding the new map script.";
    if (message) {
        *err = failure(ops, message, "store the map script");
        return false;
    }
    if (!archive.close()) {
        *err = failure(ops, "Couldn't close the map file after writing it.", "store the map script");
        return false;
    }
    return true;
}

// Writes the signed archive in copy anew beside it, with text in place of the
// script entry, every other entry as it is and no signature (which the
// archive library cannot make here, and a changed archive cannot keep), then
// puts that archive behind the bytes in front of the old one.
bool rebuildArchive(const ArchiveOps& ops, WorkingCopy& copy, const ScriptEntry& entry, const ScriptText& text,
                    const Contents& contents, std::string* err) {
    if (!contents.complete || !copy.compacts()) {
        *err = !contents.complete
                   ? "The map is signed, and holds entries whose names it does not list: ostrel cannot write it anew "
                     "without its signature."
                   : "The map is signed, and the path of its folder leaves no room for the name of the new map beside "
                     "it.";
        return false;
    }
    const char* message = "Couldn't write the signed map anew without its signature.";
    ArchiveHolder old(ops), made(ops);
    if (!old.open(copy.path(), kOpenReadOnly) ||
        !made.create(copy.compactionPath(), static_cast<uint32_t>(contents.entries.size() + 1)) ||
        !ops.addEntryFromMemory(made.handle(), text.c_str(), static_cast<uint32_t>(text.size() + entry.nulTerminated),
                                entry.name, 0)) {
        *err = failure(ops, message, "write the map anew");
        return false;
    }
    std::vector<char> bytes;
    for (const HeldEntry& held : contents.entries) {
        if (!readWholeEntry(ops, old, held.name, bytes) ||
            !ops.addEntryFromMemory(made.handle(), bytes.data(), static_cast<uint32_t>(bytes.size()), held.name.c_str(), 0)) {
            *err = failure(ops, message, "write the map anew");
            return false;
        }
    }
    const uint64_t offset = ops.archiveOffset(old.handle());
    if (!made.close() || !old.close()) {
        *err = failure(ops, message, "write the map anew");
        return false;
    }
    std::string why;
    if (!copy.takeArchive(offset, &why)) {
        *err = std::string(message) + " " + why;
        return false;
    }
    return true;
}

// True when the archive at path opens, its script entry holds text as entry
// stores it, every entry of contents holds what it held, and the library's
// bookkeeping entries read whole.
bool storedAsMeant(const ArchiveOps& ops, const std::string& path, const ScriptEntry& entry, const ScriptText& text,
                   const Contents& contents, std::string* err) {
    const auto fail = [&] {
        *err = failure(ops, "The map file did not read back as written; it was left as it was.", "read the new map back");
        return false;
    };
    ArchiveHolder archive(ops);
    if (!archive.open(path, kOpenReadOnly)) return fail();
    EntryHolder script(ops);
    if (!script.open(archive, entry.name) ||
        !entryHolds(ops, script.handle(), text.c_str(), text.size() + entry.nulTerminated) || !script.close())
        return fail();
    std::vector<char> piece;
    for (const HeldEntry& held : contents.entries) {
        uint64_t hash = 0;
        if (!entryHash(ops, archive, held.name, piece, &hash)) return fail();
        if (hash != held.hash) {
            *err = "The archive library changed the file " + held.name + " of the map while it stored the new "
                   "script; the map was left as it was.";
            return false;
        }
    }
    if (!bookkeepingReads(ops, archive, piece)) return fail();
    return archive.close() || fail();
}

}  // namespace

bool readMapScript(const ArchiveOps& ops, const std::string& path, const std::string& shown,
                   const std::vector<ScriptEntry>& entries, ArchiveFacts* facts, ScriptText* text, std::string* err) {
    ArchiveHolder archive(ops);
    if (!archive.open(path, kOpenReadOnly)) {
        const std::string reason = ops.lastFailureReason();
        *err = ops.lastFailureWasMemory()
                   ? "Not enough memory to open the map."
                   : "Couldn't open the map mpq file for reading. " + shown + ": the archive library cannot open it" +
                         (reason.empty() ? "" : " (" + reason + ")");
        return false;
    }
    EntryHolder entry(ops);
    std::size_t& which = facts->which;
    for (which = 0; which < entries.size() && !entry.open(archive, entries[which].name); ++which) {
    }
    if (which == entries.size()) {
        *err = missingEntry(ops, archive, entries.front());
        return false;
    }
    const ScriptEntry& found = entries[which];
    ScriptText read;
    const uint32_t size = ops.entrySize(entry.handle(), nullptr);
    if (size == kInvalidEntrySize) *err = unreadable(found);
    const bool wasRead = size != kInvalidEntrySize && readEntryBytes(ops, entry.handle(), size, found, &read, err);
    EntryHolder signature(ops);
    facts->isSigned = signature.open(archive, "(signature)") && signature.close();
    // A library that cannot close what it read is not trusted with the map.
    const bool entryClosed = entry.close();
    const bool archiveClosed = archive.close();
    if (!wasRead) return false;
    if (!entryClosed || !archiveClosed) {
        *err = unreadable(found);
        return false;
    }
    if (found.nulTerminated) read.resize(std::min(read.size(), read.find('\0')));
    *text = std::move(read);
    return true;
}

bool locateArchive(const std::string& map, const std::vector<ScriptEntry>&, MapPlace* place, std::string*) {
    place->given = map;
    place->watched = map;
    return true;
}

bool takeFromArchive(StoreContext& context, const std::vector<ScriptEntry>& entries, ArchiveFacts* facts,
                     ScriptText* text, std::string* err) {
    return copyMap(context.system, context.map, context.destination.copyFolder, context.archive.pathLimit, context.copy,
                   err) &&
           readMapScript(context.archive, context.copy.path(), context.place.given, entries, facts, text, err);
}

bool putIntoArchive(StoreContext& context, const ScriptEntry& entry, const ScriptText& text, std::string* err) {
    return storeScriptInCopy(context.archive, context.system, context.copy, entry, text, context.map.state.size, err);
}

bool storeScriptInCopy(const ArchiveOps& ops, const SystemOps& system, WorkingCopy& copy, const ScriptEntry& entry,
                       const ScriptText& text, int64_t mapSize, std::string* err) {
    if (text.size() >= UINT32_MAX) {
        *err = "The new map script is too large for the map file.";
        return false;
    }
    const std::string& path = copy.path();
    Contents contents;
    try {
        if (!surveyArchive(ops, path, entry, &contents, err)) return false;
    } catch (const std::bad_alloc&) {
        *err = "Not enough memory to read the map's entries; the map was left as it was.";
        return false;
    }
    try {
        if (contents.isSigned ? !rebuildArchive(ops, copy, entry, text, contents, err)
                              : !replaceScriptEntry(ops, path, entry, text, contents.complete && copy.compacts(), err))
            return false;
    } catch (const std::bad_alloc&) {
        *err = "Not enough memory to write the map anew; the map was left as it was.";
        return false;
    }
    system.atStep(StoreStep::kEntryStored);
    // What the new script and the tables it changes can add, with room to spare.
    const int64_t bound = mapSize + static_cast<int64_t>(text.size()) + 1 + (1 << 20) +
                          1024 * static_cast<int64_t>(contents.entries.size() + 4);
    platform::FileState stored;
    if (!system.pathState(path, &stored) || stored.size > bound) {
        *err = "The archive library wrote a new map of " + std::to_string(stored.size) + " bytes, more than the map (" +
               std::to_string(mapSize) + " bytes) and its new script can take; the map was left as it was.";
        return false;
    }
    try {
        if (!storedAsMeant(ops, path, entry, text, contents, err)) return false;
    } catch (const std::bad_alloc&) {
        *err = "Not enough memory to read the new map back; the map was left as it was.";
        return false;
    }
    system.atStep(StoreStep::kReadBack);
    return true;
}
