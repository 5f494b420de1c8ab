#include "base/file_content.h"

#include <algorithm>
#include <cstring>
#include "base/content_hash.h"

bool copyBytes(const SystemOps& system, platform::File& from, platform::File* to, std::vector<char>& buffer,
               uint64_t* hash, std::string* err) {
    ContentHash content;
    bool done = system.rewind(from);
    while (done) {
        const long long got = system.readSome(from, buffer.data(), buffer.size());
        if (got == 0) break;
        done = got > 0 && (!to || system.writeAll(*to, buffer.data(), static_cast<std::size_t>(got)));
        if (done) content.add(buffer.data(), static_cast<std::size_t>(got));
    }
    if (!done && err) *err = platform::lastError();
    *hash = content.value();
    return done;
}

bool hashFile(const SystemOps& system, platform::File& file, std::vector<char>& buffer, uint64_t* hash) {
    return copyBytes(system, file, nullptr, buffer, hash, nullptr);
}

bool readWhole(const SystemOps& system, platform::File& file, std::string* text, uint64_t* hash, std::string* err) {
    ContentHash content;
    std::string read;
    platform::FileState state;
    const std::size_t expected = system.fileState(file, &state) && state.size > 0 ? static_cast<std::size_t>(state.size) : 0;
    // Room for what a rewrite adds; the bytes are made ready only as far as
    // the file is expected to reach, and one more, which shows its end.
    read.reserve(expected + kFileBuffer);
    read.resize(expected + 1);
    std::size_t at = 0;
    bool done = system.rewind(file);
    while (done) {
        if (at == read.size()) read.resize(at + kFileBuffer);
        const long long got = system.readSome(file, &read[at], read.size() - at);
        done = got >= 0;
        if (got <= 0) break;
        content.add(&read[at], static_cast<std::size_t>(got));
        at += static_cast<std::size_t>(got);
    }
    if (!done) {
        *err = platform::lastError();
        return false;
    }
    read.resize(at);
    *hash = content.value();
    *text = std::move(read);
    return true;
}

bool fileHolds(const SystemOps& system, const std::string& path, const std::string& bytes) {
    platform::File file;
    if (system.openRegularFile(path, &file, nullptr) != platform::OpenResult::kOpened) return false;
    std::vector<char> piece(std::min<std::size_t>(kFileBuffer, bytes.size() + 1));
    std::size_t at = 0;
    for (;;) {
        const long long got = system.readSome(file, piece.data(), piece.size());
        if (got < 0) return false;
        if (got == 0) return at == bytes.size();
        const std::size_t n = static_cast<std::size_t>(got);
        if (n > bytes.size() - at || std::memcmp(piece.data(), bytes.data() + at, n) != 0) return false;
        at += n;
    }
}
