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
    DWORD createFlags = MPQ_CREATE_ARCHIVE_V1 | MPQ_CREATE_ATTRIBUTES | (nameList ? MPQ_CREATE_LISTFILE : 0);
    if (!SFileCreateArchive(archivePath.c_str(), createFlags, 64, &archive)) {
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
