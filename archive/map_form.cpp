#include "archive/map_form.h"

#include "archive/archive_script.h"
#include "archive/folder_script.h"

namespace {

// A map archive: the copy and the archive library's compacted copy beside
// it, each with the new script.
uint64_t archiveRoom(int64_t mapSize, std::size_t scriptSize) {
    return 2 * static_cast<uint64_t>(mapSize) + 2 * static_cast<uint64_t>(scriptSize) + (1u << 20);
}

// A map folder: the new script beside the old.
uint64_t folderRoom(int64_t scriptFileSize, std::size_t scriptSize) {
    return static_cast<uint64_t>(scriptFileSize) + scriptSize + (1u << 20);
}

}  // namespace

const MapForm kArchiveForm = {
    locateArchive, takeFromArchive, putIntoArchive, archiveRoom, "Couldn't open the map mpq file for reading. ", false,
};

const MapForm kFolderForm = {
    locateInFolder, takeFromFolder, putIntoFolder, folderRoom, "Couldn't open the map script for reading. ", true,
};

const MapForm& formOf(const std::string& path) {
    return platform::pathKind(path) == platform::PathKind::kFolder ? kFolderForm : kArchiveForm;
}
