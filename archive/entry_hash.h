#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "archive/archive_handles.h"

// The hash of the whole content of the named entry of an open archive, read
// through piece; false when the entry does not open or read whole.
bool entryHash(const ArchiveOps& ops, const ArchiveHolder& archive, const std::string& name, std::vector<char>& piece,
               uint64_t* hash);

// True when the archive library's own entries, the name list and the
// attributes, read whole where the archive holds them.
bool bookkeepingReads(const ArchiveOps& ops, const ArchiveHolder& archive, std::vector<char>& piece);
