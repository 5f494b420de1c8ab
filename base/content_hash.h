#pragma once
#include <cstddef>
#include <cstdint>

// A fast hash of a stream of bytes, fed in pieces of any size: the same
// bytes give the same value however they are split. Not cryptographic: it
// tells whether a file's content changed, not whether someone forged it.
class ContentHash {
public:
    // Adds size bytes to the stream.
    void add(const char* bytes, std::size_t size);
    // The hash of every byte added so far.
    uint64_t value() const;

private:
    void addStripe(const unsigned char* stripe);
    uint64_t lanes_[4] = {0x9E3779B185EBCA87u, 0xC2B2AE3D27D4EB4Fu, 0x165667B19E3779F9u, 0x85EBCA77C2B2AE63u};
    unsigned char pending_[32] = {};
    std::size_t pendingSize_ = 0;
    uint64_t total_ = 0;
};
