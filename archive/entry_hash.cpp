#include "archive/entry_hash.h"

#include <algorithm>
#include "base/content_hash.h"

namespace {

// What is read at a time: small enough to stay in the cache.
constexpr uint32_t kPiece = 256u << 10;

}  // namespace

bool entryHash(const ArchiveOps& ops, const ArchiveHolder& archive, const std::string& name, std::vector<char>& piece,
               uint64_t* hash) {
    EntryHolder entry(ops);
    if (!entry.open(archive, name.c_str())) return false;
    const uint32_t size = ops.entrySize(entry.handle(), nullptr);
    if (size == kInvalidEntrySize) return false;
    ContentHash content;
    for (uint32_t done = 0; done < size;) {
        const uint32_t ask = std::min<uint32_t>(kPiece, size - done);
        if (piece.size() < ask) piece.resize(ask);
        uint32_t got = 0;
        if (!ops.readEntry(entry.handle(), piece.data(), ask, &got, nullptr) || got != ask) return false;
        content.add(piece.data(), ask);
        done += ask;
    }
    *hash = content.value();
    return entry.close();
}

bool bookkeepingReads(const ArchiveOps& ops, const ArchiveHolder& archive, std::vector<char>& piece) {
    for (const char* name : {"(listfile)", "(attributes)"}) {
        EntryHolder entry(ops);
        uint64_t hash = 0;
        if (entry.open(archive, name) && (!entry.close() || !entryHash(ops, archive, name, piece, &hash))) return false;
    }
    return true;
}
