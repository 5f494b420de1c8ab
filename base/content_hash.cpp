#include "base/content_hash.h"

#include <cstring>

namespace {

constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87u;
constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Fu;

uint64_t rotateLeft(uint64_t x, int bits) {
    return (x << bits) | (x >> (64 - bits));
}

uint64_t word(const unsigned char* bytes) {
    uint64_t w;
    std::memcpy(&w, bytes, sizeof w);
    return w;
}

uint64_t mix(uint64_t lane, uint64_t input) {
    return rotateLeft(lane + input * kPrime2, 31) * kPrime1;
}

}  // namespace

void ContentHash::addStripe(const unsigned char* stripe) {
    for (int i = 0; i < 4; ++i) lanes_[i] = mix(lanes_[i], word(stripe + 8 * i));
}

void ContentHash::add(const char* bytes, std::size_t size) {
    const unsigned char* in = reinterpret_cast<const unsigned char*>(bytes);
    total_ += size;
    if (pendingSize_ > 0) {
        const std::size_t take = size < 32 - pendingSize_ ? size : 32 - pendingSize_;
        std::memcpy(pending_ + pendingSize_, in, take);
        pendingSize_ += take;
        in += take;
        size -= take;
        if (pendingSize_ < 32) return;
        addStripe(pending_);
        pendingSize_ = 0;
    }
    for (; size >= 32; in += 32, size -= 32) addStripe(in);
    std::memcpy(pending_, in, size);
    pendingSize_ = size;
}

uint64_t ContentHash::value() const {
    uint64_t h = rotateLeft(lanes_[0], 1) + rotateLeft(lanes_[1], 7) + rotateLeft(lanes_[2], 12) +
                 rotateLeft(lanes_[3], 18) + total_;
    for (std::size_t i = 0; i < pendingSize_; ++i) h = rotateLeft(h ^ (pending_[i] * kPrime1), 11) * kPrime2;
    h ^= h >> 33;
    h *= kPrime2;
    h ^= h >> 29;
    return h;
}
