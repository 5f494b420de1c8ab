// The floor the packing of a map folder is measured against: the same files
// added to a new archive made as ostrel makes it (through its own table of
// archive operations), and the archive flushed to disk; nothing else.
//
//   baseline_pack OUT FILE NAME [FILE NAME ...]   exit 0 once OUT is written
#include <fcntl.h>
#include <unistd.h>
#include <cstdio>
#include <fstream>
#include <string>
#include "archive/archive_ops.h"

int main(int argc, char** argv) {
    if (argc < 4 || argc % 2 != 0) {
        std::fprintf(stderr, "usage: baseline_pack OUT FILE NAME [FILE NAME ...]\n");
        return 1;
    }
    const ArchiveOps& ops = libraryArchiveOps();
    ArchiveHandle archive = nullptr;
    std::remove(argv[1]);
    if (!ops.createArchive(argv[1], static_cast<uint32_t>(argc - 2) / 2, &archive)) return 1;
    bool done = true;
    for (int i = 2; done && i < argc; i += 2) {
        // Read in one piece, the fastest the floor can.
        std::ifstream in(argv[i], std::ios::binary | std::ios::ate);
        const std::streamoff size = in.tellg();
        std::string bytes(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
        done = size >= 0 && (bytes.empty() || in.seekg(0).read(&bytes[0], size).good());
        done = done && ops.addEntryFromMemory(archive, bytes.data(), static_cast<uint32_t>(bytes.size()), argv[i + 1], 0);
    }
    done = ops.closeArchive(archive) && done;
    const int out = open(argv[1], O_WRONLY);
    done = done && out >= 0 && fsync(out) == 0;
    if (out >= 0) close(out);
    return done ? 0 : 1;
}
