#include "tools/map_maker.h"

#include <StormLib.h>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace {

// True once entry is in the open archive.
bool addEntry(HANDLE archive, const MapEntry& entry) {
    DWORD flags = MPQ_FILE_COMPRESS | MPQ_FILE_REPLACEEXISTING;
    if (entry.encrypted) flags |= MPQ_FILE_ENCRYPTED | MPQ_FILE_FIX_KEY;
    HANDLE file = nullptr;
    DWORD size = static_cast<DWORD>(entry.bytes.size());
    if (!SFileCreateFile(archive, entry.name.c_str(), 0, size, 0, flags, &file)) return false;
    bool written = size == 0 || SFileWriteFile(file, entry.bytes.data(), size, MPQ_COMPRESSION_ZLIB);
    return SFileFinishFile(file) && written;
}

// The 512-byte header in front of a map's archive: magic, name, flags, players.
std::string mapHeader() {
    std::string header(512, '\0');
    const std::string magic = "HM3W";
    const std::string name = "Example map";
    header.replace(0, magic.size(), magic);
    header.replace(8, name.size(), name);
    return header;
}

}  // namespace

bool writeMap(const std::string& path, const std::vector<MapEntry>& entries, std::string& error, bool nameList) {
    const std::string archivePath = path + ".archive";
    std::remove(archivePath.c_str());
    HANDLE archive = nullptr;
    // Without a name list the archive keeps no entry's name, as in maps
    // whose names were left out on purpose.
    SFILE_CREATE_MPQ create = {};
    create.cbSize = sizeof create;
    create.dwMpqVersion = MPQ_FORMAT_VERSION_1;
    create.dwStreamFlags = STREAM_PROVIDER_FLAT | BASE_PROVIDER_FILE;
    create.dwFileFlags1 = nameList ? MPQ_FILE_DEFAULT_INTERNAL : 0;
    create.dwFileFlags2 = MPQ_FILE_DEFAULT_INTERNAL;
    create.dwAttrFlags = MPQ_ATTRIBUTE_CRC32 | MPQ_ATTRIBUTE_FILETIME | MPQ_ATTRIBUTE_MD5;
    create.dwSectorSize = 0x1000;
    create.dwMaxFileCount = 64 + static_cast<DWORD>(entries.size());
    if (!SFileCreateArchive2(archivePath.c_str(), &create, &archive)) {
        error = "cannot create " + archivePath;
        return false;
    }
    bool added = true;
    for (const MapEntry& entry : entries) {
        if (!addEntry(archive, entry)) {
            error = "cannot add " + entry.name;
            added = false;
            break;
        }
    }
    bool closed = SFileCloseArchive(archive);
    std::ifstream in(archivePath, std::ios::binary);
    std::string archiveBytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    std::remove(archivePath.c_str());
    if (!added) return false;
    if (!closed || archiveBytes.empty()) {
        error = "cannot write " + archivePath;
        return false;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << mapHeader() << archiveBytes;
    out.close();
    if (!out) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}
