#include "archive/map_script_store.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include "archive/replace_file.h"

const char* const kScriptEntry = "war3map.j";
bool scriptLoaded = true;

namespace {

// Records a failed read: one line on err, scriptLoaded cleared, empty text.
ScriptText failRead(std::ostream& err, const std::string& message) {
    err << message << std::endl;
    scriptLoaded = false;
    return ScriptText();
}

// The unreadable-entry message.
std::string unreadableEntry() {
    return std::string("Couldn't read the file ") + kScriptEntry + " from the map file.";
}

// Reads up to size bytes of the entry into text, a piece at a time, so that
// memory grows with the bytes actually delivered, not with a size a damaged
// map may claim. Room is kept for what the rewrite adds, so the script need
// not be copied to grow. Returns false when a read fails or memory runs out.
bool readEntryBytes(const ArchiveOps& ops, EntryHandle entry, uint32_t size, ScriptText& text) {
    const uint32_t kPiece = 4u << 20;
    const uint64_t kTrustedSize = 256u << 20;
    try {
        text.reserve(static_cast<std::size_t>(std::min<uint64_t>(size, kTrustedSize) * 9 / 8 + (1u << 20)));
        uint32_t total = 0;
        while (total < size) {
            const uint32_t piece = std::min(kPiece, size - total);
            text.resize(static_cast<std::size_t>(total) + piece);
            uint32_t got = 0;
            if (!ops.readEntry(entry, &text[total], piece, &got, nullptr)) return false;
            total += std::min(got, piece);
            if (got < piece) break;  // only what was delivered counts
        }
        text.resize(total);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

// True once the archive at path holds text plus NUL as its script entry and
// is closed; otherwise writes one line to err. The archive is closed either way.
bool replaceEntry(const ArchiveOps& ops, const std::string& path, const ScriptText& text, std::ostream& err) {
    if (text.size() >= UINT32_MAX) {
        err << "The new map script is too large for the map file." << std::endl;
        return false;
    }
    ArchiveHandle archive = nullptr;
    if (!ops.openArchive(path.c_str(), 0, kOpenForChange, &archive)) {
        err << "Couldn't open the map mpq file for writing." << std::endl;
        return false;
    }
    const char* failure = nullptr;
    if (!ops.deleteEntry(archive, kScriptEntry))
        failure = "Couldn't remove the old map script from the map file.";
    else if (!ops.finishChange(archive))
        failure = "Couldn't write the map file's tables after removing the old map script.";
    else if (!ops.addEntryFromMemory(archive, text.c_str(), static_cast<uint32_t>(text.size() + 1), kScriptEntry, 0))
        failure = "Couldn't add the new map script to the map file.";
    else if (!ops.finishChange(archive))
        failure = "Couldn't write the map file's tables after adding the new map script.";
    bool closed = ops.closeArchive(archive);
    if (!failure && !closed) failure = "Couldn't close the map file after writing it.";
    if (failure) {
        err << failure << std::endl;
        return false;
    }
    return true;
}

}  // namespace

ScriptText readMapScript(const ArchiveOps& ops, const std::string& mapPath, std::ostream& err) {
    ArchiveHandle archive = nullptr;
    if (!ops.openArchive(mapPath.c_str(), 0, kOpenReadOnly, &archive))
        return failRead(err, "Couldn't open the map mpq file for reading.");
    EntryHandle entry = nullptr;
    if (!ops.openEntry(archive, kScriptEntry, 0, &entry)) {
        ops.closeArchive(archive);
        return failRead(err, std::string("Couldn't locate the file ") + kScriptEntry + " in the map file.");
    }
    ScriptText text;
    uint32_t size = ops.entrySize(entry, nullptr);
    bool read = size != kInvalidEntrySize && readEntryBytes(ops, entry, size, text);
    // A library that cannot close what it read is not trusted with the map.
    bool entryClosed = ops.closeEntry(entry);
    bool archiveClosed = ops.closeArchive(archive);
    if (!read || !entryClosed || !archiveClosed) return failRead(err, unreadableEntry());
    // The script ends at its first NUL.
    std::string::size_type nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    return text;
}

bool storeMapScript(const ArchiveOps& ops, const std::string& mapPath, const ScriptText& text, std::ostream& err) {
    std::string target;
    std::string copy;
    if (!resolveWritableMap(mapPath, target, err) || !makeWorkingCopy(target, copy, err))
        return false;
    if (!replaceEntry(ops, copy, text, err) || !replaceWithCopy(copy, target, err)) {
        removeWorkingCopy(copy);
        return false;
    }
    return true;
}
