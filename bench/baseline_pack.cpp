// The floor the packing of a map folder is measured against: the same files
// added to a new archive with the same settings, and the archive flushed to
// disk; nothing else.
//
//   baseline_pack OUT FILE NAME [FILE NAME ...]   exit 0 once OUT is written
#include <StormLib.h>
#include <fcntl.h>
#include <unistd.h>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
    if (argc < 4 || argc % 2 != 0) {
        std::fprintf(stderr, "usage: baseline_pack OUT FILE NAME [FILE NAME ...]\n");
        return 1;
    }
    const DWORD files = static_cast<DWORD>(argc - 2) / 2;
    SFILE_CREATE_MPQ create = {};
    create.cbSize = sizeof create;
    create.dwMpqVersion = MPQ_FORMAT_VERSION_1;
    create.dwStreamFlags = STREAM_PROVIDER_FLAT | BASE_PROVIDER_FILE;
    create.dwFileFlags1 = MPQ_FILE_DEFAULT_INTERNAL;
    create.dwFileFlags2 = MPQ_FILE_DEFAULT_INTERNAL;
    create.dwAttrFlags = MPQ_ATTRIBUTE_CRC32;
    create.dwSectorSize = 0x1000;
    create.dwMaxFileCount = files < 62 ? 62 : files;
    HANDLE archive = nullptr;
    std::remove(argv[1]);
    if (!SFileCreateArchive2(argv[1], &create, &archive)) return 1;
    bool done = true;
    for (int i = 2; done && i < argc; i += 2) {
        std::ifstream in(argv[i], std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        HANDLE entry = nullptr;
        const DWORD size = static_cast<DWORD>(bytes.size());
        done = SFileCreateFile(archive, argv[i + 1], 0, size, 0, MPQ_FILE_COMPRESS | MPQ_FILE_REPLACEEXISTING, &entry);
        if (done) {
            const bool written = size == 0 || SFileWriteFile(entry, bytes.data(), size, MPQ_COMPRESSION_ZLIB);
            done = SFileFinishFile(entry) && written;
        }
    }
    done = SFileCloseArchive(archive) && done;
    const int out = open(argv[1], O_WRONLY);
    done = done && out >= 0 && fsync(out) == 0;
    if (out >= 0) close(out);
    return done ? 0 : 1;
}
