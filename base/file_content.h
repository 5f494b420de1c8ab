#pragma once
// A file's content read whole from its first byte, through the table of
// system operations: into another file, into memory, or only into a hash.
#include <cstdint>
#include <string>
#include <vector>
#include "base/system_ops.h"

// The size of the buffer the functions below read through.
constexpr std::size_t kFileBuffer = 1 << 20;

// True when every byte of from reached to (when to is given) and *hash
// holds their hash; otherwise *err (when given) says why not. Reads through
// buffer, which must not be empty, and allocates nothing.
bool copyBytes(const SystemOps& system, platform::File& from, platform::File* to, std::vector<char>& buffer,
               uint64_t* hash, std::string* err);
// Reads the whole file through buffer into *hash; false when a read fails.
// Allocates nothing.
bool hashFile(const SystemOps& system, platform::File& file, std::vector<char>& buffer, uint64_t* hash);
// Reads the whole file into *text and its hash into *hash; false, with the
// system's reason in *err, when a read fails.
bool readWhole(const SystemOps& system, platform::File& file, std::string* text, uint64_t* hash, std::string* err);
// True when the file at path holds exactly bytes.
bool fileHolds(const SystemOps& system, const std::string& path, const std::string& bytes);
