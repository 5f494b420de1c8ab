#include "archive/map_script_store.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>
#include "archive/archive_handles.h"

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

// True when the whole entry reads, through piece.
bool entryReads(const ArchiveOps& ops, EntryHandle entry, std::vector<char>& piece) {
    const uint32_t size = ops.entrySize(entry, nullptr);
    if (size == kInvalidEntrySize) return false;
    for (uint32_t done = 0; done < size;) {
        const uint32_t ask = std::min<uint32_t>(kReadBackPiece, size - done);
        if (piece.size() < ask) piece.resize(ask);
        uint32_t got = 0;
        if (!ops.readEntry(entry, piece.data(), ask, &got, nullptr) || got != ask) return false;
        done += ask;
    }
    return true;
}

// Replaces the script entry of the archive at path with text and its NUL,
// then compacts it when every entry's name is known, if it may. *names
// receives the names of the other entries.
bool writeScriptEntry(const ArchiveOps& ops, const std::string& path, const ScriptEntry& entry, const ScriptText& text,
                      bool compact, std::vector<std::string>* names, std::string* err) {
    if (text.size() >= UINT32_MAX) {
        *err = "The new map script is too large for the map file.";
        return false;
    }
    ArchiveHolder archive(ops);
    if (!archive.open(path, kOpenForChange)) {
        *err = failure(ops, "Couldn't open the map mpq file for writing.", "open the map for writing");
        return false;
    }
    bool complete = false;
    if (!ops.entryNames(archive.handle(), names, &complete)) {
        *err = failure(ops, "Couldn't list the entries of the map file.", "list the map's entries");
        return false;
    }
    names->erase(std::remove(names->begin(), names->end(), entry.name), names->end());
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
    else if (complete && compact && !ops.compactArchive(archive.handle()))
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

// True when the archive at path opens, its script entry holds text and its
// NUL byte exactly, and every entry in names reads whole.
bool storedAsMeant(const ArchiveOps& ops, const std::string& path, const ScriptEntry& entry, const ScriptText& text,
                   const std::vector<std::string>& names, std::string* err) {
    const auto fail = [&] {
        *err = failure(ops, "The map file did not read back as written; it was left as it was.", "read the new map back");
        return false;
    };
    ArchiveHolder archive(ops);
    if (!archive.open(path, kOpenReadOnly)) return fail();
    EntryHolder script(ops);
    if (!script.open(archive, entry.name) ||
        !entryHolds(ops, script.handle(), text.c_str(), text.size() + entry.nulTerminated) ||
        !script.close())
        return fail();
    std::vector<char> piece;
    for (const std::string& name : names) {
        EntryHolder entry(ops);
        if (!entry.open(archive, name.c_str()) || !entryReads(ops, entry.handle(), piece) || !entry.close())
            return fail();
    }
    return archive.close() || fail();
}

}  // namespace

bool readMapScript(const ArchiveOps& ops, const std::string& path, const std::string& shown,
                   const std::vector<ScriptEntry>& entries, std::size_t* which, ScriptText* text, std::string* err) {
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
    for (*which = 0; *which < entries.size() && !entry.open(archive, entries[*which].name); ++*which) {
    }
    if (*which == entries.size()) {
        *err = missingEntry(ops, archive, entries.front());
        return false;
    }
    const ScriptEntry& found = entries[*which];
    ScriptText read;
    const uint32_t size = ops.entrySize(entry.handle(), nullptr);
    if (size == kInvalidEntrySize) *err = unreadable(found);
    const bool wasRead = size != kInvalidEntrySize && readEntryBytes(ops, entry.handle(), size, found, &read, err);
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

namespace {

// True when the map is still the file opened, unchanged, held open where
// hold; otherwise *err says that another program changed it.
bool stillTheMap(const SystemOps& system, OpenMap& map, bool hold, std::string* err) {
    if ((!hold || holdMap(system, map)) && mapUnchanged(system, map)) return true;
    *err = mapChangedMessage(map);
    return false;
}

// True when the map is still the file opened and holds the bytes copied.
bool sameContent(const SystemOps& system, OpenMap& map, std::vector<char>& buffer) {
    uint64_t now = 0;
    return holdMap(system, map) && hashFile(system, map.file, buffer, &now) && now == map.contentHash &&
           mapUnchanged(system, map);
}

// After an exchange: true when the file now under path is the map opened,
// unchanged by state and by content. Allocates nothing.
bool exchangedOutIsMap(const SystemOps& system, OpenMap& map, const std::string& path, std::vector<char>& buffer) {
    platform::FileState there, held;
    uint64_t now = 0;
    return system.pathState(path, &there) && there == map.state && map.file.isOpen() &&
           system.fileState(map.file, &held) && held == map.state && hashFile(system, map.file, buffer, &now) &&
           now == map.contentHash;
}

// After an exchange that took out another program's save of the map: puts
// that save back under the map's name while the name holds the copy, and
// removes the copy once it is back under its own name. A file of the other
// program is never removed: one that is not where it belongs stays under the
// copy's name, and *err says so.
bool undoExchange(OpenMap& map, WorkingCopy& copy, const Destination& destination, std::vector<char>& buffer,
                  std::string* err) {
    std::string why;
    if (copy.holdsOurCopy(destination.target, buffer) && copy.exchangeBack(destination.target, &why) &&
        copy.holdsOurCopy(copy.path(), buffer)) {
        *err = mapChangedMessage(map);
        return false;
    }
    *err = why.empty() ? "The map " + map.path + " was saved more than once by another program while ostrel worked "
                             "on it; ostrel left the map as that program wrote it, and kept its other save as " +
                             copy.path() + "."
                       : "The map " + map.path + " was changed by another program while ostrel worked on it, and " +
                             "ostrel could not put that program's file back (" + why + "); it is " + copy.path() + ".";
    copy.abandon();
    return false;
}

// The line for a copy that could not take the destination's place.
std::string notReplaced(const Destination& destination, const std::string& why) {
    return "Couldn't replace the map file " + destination.shown + " with its updated copy: " + why;
}

}  // namespace

bool copyMap(const SystemOps& system, OpenMap& map, const std::string& folder, std::size_t pathLimit, WorkingCopy& copy,
             std::string* err) {
    if (!stillTheMap(system, map, true, err)) return false;
    std::string why;
    const bool copied = copy.create(folder, map.file, pathLimit, &map.contentHash, &why);
    releaseMap(map);
    if (!copied) {
        *err = "Couldn't create a temporary copy of the map in " + folder + ": " + why;
        return false;
    }
    system.atStep(StoreStep::kCopied);
    return stillTheMap(system, map, false, err);
}

bool storeScriptInCopy(const ArchiveOps& ops, const SystemOps& system, const WorkingCopy& copy, const ScriptEntry& entry,
                       const ScriptText& text, int64_t mapSize, std::string* err) {
    const std::string& path = copy.path();
    std::vector<std::string> names;
    if (!writeScriptEntry(ops, path, entry, text, copy.compacts(), &names, err)) return false;
    system.atStep(StoreStep::kEntryStored);
    // What the new script and the tables it changes can add, with room to spare.
    const int64_t bound = mapSize + static_cast<int64_t>(text.size()) + 1 + (1 << 20) +
                          1024 * static_cast<int64_t>(names.size() + 1);
    platform::FileState stored;
    if (!system.pathState(path, &stored) || stored.size > bound) {
        *err = "The archive library wrote a new map of " + std::to_string(stored.size) + " bytes, more than the map (" +
               std::to_string(mapSize) + " bytes) and its new script can take; the map was left as it was.";
        return false;
    }
    try {
        if (!storedAsMeant(ops, path, entry, text, names, err)) return false;
    } catch (const std::bad_alloc&) {
        *err = "Not enough memory to read the new map back; the map was left as it was.";
        return false;
    }
    system.atStep(StoreStep::kReadBack);
    return true;
}

bool finishStore(const SystemOps& system, OpenMap& map, WorkingCopy& copy, const Destination& destination,
                 bool replace, std::string* err) {
    std::string why;
    if (!copy.finish(destination.metadataFrom, replace, &why)) {
        *err = "Couldn't finish the updated copy of the map: " + why;
        return false;
    }
    system.atStep(StoreStep::kFlushed);
    if (!stillTheMap(system, map, true, err)) return false;
    std::vector<char> buffer(1 << 20);
    if (replace && destination.isMap) {
        // No signal between the exchange and its confirmation or undoing, and
        // nothing that can run out of memory.
        platform::SignalsHeld held;
        system.atStep(StoreStep::kLastCheck);
        switch (copy.exchange(destination.target, &why)) {
            case platform::Exchange::kDone:
                system.atStep(StoreStep::kReplaced);
                if (exchangedOutIsMap(system, map, copy.path(), buffer)) {
                    copy.confirmExchange();
                    return true;
                }
                return undoExchange(map, copy, destination, buffer, err);
            case platform::Exchange::kFailed:
                *err = notReplaced(destination, why);
                return false;
            case platform::Exchange::kUnsupported:
                break;
        }
    }
    if (!sameContent(system, map, buffer)) {
        *err = mapChangedMessage(map);
        return false;
    }
    if (!replace) return true;
    system.atStep(StoreStep::kLastCheck);
    // Nothing holds the map open when it is replaced: some systems refuse
    // to replace an open file.
    map.file.close();
    if (!copy.rename(destination.target, &why)) {
        *err = notReplaced(destination, why);
        return false;
    }
    system.atStep(StoreStep::kReplaced);
    return true;
}
