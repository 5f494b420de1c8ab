#include "archive/pack_folder.h"

#include <algorithm>
#include <cctype>
#include <new>
#include <set>
#include "archive/entry_hash.h"
#include "base/content_hash.h"
#include "base/file_content.h"

namespace {

// A file of the folder, as it goes into the archive.
struct PackedFile : MapFile {
    platform::FileState state;  // when it was read
    uint64_t hash = 0;          // of what went into the archive
    bool script = false;        // the script file, whose new text goes in instead
};

// Folders nested deeper than any map's, as a link to a folder above makes them.
constexpr int kDeepest = 32;

// Appends every regular file under folder, named in the archive behind
// prefix, to files; names that start with "." are left out. A folder that
// cannot be listed whole is passed over, the first such one named in
// *unlisted. False, with one line in *err, where the folders nest deeper than
// any map's.
bool listFiles(const SystemOps& system, const std::string& folder, const std::string& prefix, int depth,
               std::vector<MapFile>* files, std::string* unlisted, std::string* err) {
    if (depth > kDeepest) {
        *err = "The map folder nests deeper than " + std::to_string(kDeepest) + " folders at " + folder + ".";
        return false;
    }
    std::vector<std::string> names;
    std::string why;
    if (!system.folderNames(folder, &names, &why) && unlisted->empty())
        *unlisted = "Couldn't list the folder " + folder + " of the map folder: " + why;
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        if (name[0] == '.') continue;
        const std::string path = platform::joinPath(folder, name);
        const std::string inArchive = prefix.empty() ? name : prefix + "\\" + name;
        const platform::PathKind kind = platform::pathKind(path);
        if (kind == platform::PathKind::kFolder && !listFiles(system, path, inArchive, depth + 1, files, unlisted, err))
            return false;
        if (kind == platform::PathKind::kRegular) files->push_back({path, inArchive});
    }
    return true;
}

// Why name cannot be the name of an entry of a map archive whose library
// takes names of at most limit bytes; empty when it can.
std::string nameProblem(const std::string& name, std::size_t limit, std::set<std::string>& taken) {
    if (name.size() > limit) return "its name is longer than a map archive takes";
    for (const char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == ';')
            return "its name holds a character that a map archive's name list cannot hold";
    // The archive finds its entries by name in any letter case.
    std::string key = name;
    for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!taken.insert(key).second) return "another file's name differs from its name only in letter case";
    return std::string();
}

// The bytes of a folder's total size, for the room the archive needs.
uint64_t totalSize(const SystemOps& system, const std::vector<PackedFile>& files) {
    uint64_t total = 0;
    for (const PackedFile& file : files) {
        platform::FileState state;
        if (system.pathState(file.path, &state)) total += static_cast<uint64_t>(state.size) + 4096;
    }
    return total;
}

// Reads the file whole into bytes, with its state and hash; false, with the
// system's reason in *why, when it cannot.
bool readFile(const SystemOps& system, PackedFile& packed, std::string* bytes, std::string* why) {
    platform::File file;
    return system.openRegularFile(packed.path, &file, why) == platform::OpenResult::kOpened &&
           system.fileState(file, &packed.state) && readWhole(system, file, bytes, &packed.hash, why);
}

// Writes the archive: every file, the script's text in its place.
bool writeArchive(StoreContext& c, std::vector<PackedFile>& files, const ScriptEntry& entry, const ScriptText& text,
                  std::string* err) {
    const ArchiveOps& ops = c.archive;
    ArchiveHolder archive(ops);
    if (!archive.create(c.copy.path(), static_cast<uint32_t>(files.size()))) {
        *err = "Couldn't create the map archive " + c.destination.shown + ".";
        return false;
    }
    std::string bytes, why;
    for (PackedFile& file : files) {
        const char* data = text.c_str();
        std::size_t size = text.size() + entry.nulTerminated;
        if (file.script) {
            ContentHash content;
            content.add(data, size);
            file.hash = content.value();
        } else if (!readFile(c.system, file, &bytes, &why)) {
            *err = "Couldn't read the file " + file.path + " of the map folder: " + why;
            return false;
        } else {
            data = bytes.data();
            size = bytes.size();
        }
        if (size >= UINT32_MAX || !ops.addEntryFromMemory(archive.handle(), data, static_cast<uint32_t>(size),
                                                          file.name.c_str(), 0)) {
            *err = "Couldn't add the file " + file.path + " to the map archive " + c.destination.shown + ".";
            return false;
        }
    }
    if (!archive.close()) {
        *err = "Couldn't close the map archive " + c.destination.shown + " after writing it.";
        return false;
    }
    return true;
}

// True when the archive in the working copy holds every file as it went in.
bool packedAsMeant(StoreContext& c, const std::vector<PackedFile>& files, std::string* err) {
    const ArchiveOps& ops = c.archive;
    ArchiveHolder archive(ops);
    std::vector<char> piece;
    bool meant = archive.open(c.copy.path(), kOpenReadOnly);
    for (std::size_t i = 0; meant && i < files.size(); ++i) {
        uint64_t hash = 0;
        meant = entryHash(ops, archive, files[i].name, piece, &hash) && hash == files[i].hash;
    }
    if (meant && bookkeepingReads(ops, archive, piece) && archive.close()) return true;
    *err = "The map archive " + c.destination.shown + " did not read back as written; it was left as it was.";
    return false;
}

}  // namespace

bool listMapFiles(const SystemOps& system, const std::string& folder, std::vector<MapFile>* files, std::string* err) {
    std::string unlisted;
    if (!listFiles(system, folder, std::string(), 0, files, &unlisted, err)) return false;
    *err = unlisted;
    return unlisted.empty();
}

bool packFolder(StoreContext& c, const ScriptEntry& entry, const ScriptText& text, std::string* err) {
    std::vector<MapFile> listed;
    if (!listMapFiles(c.system, c.place.given, &listed, err)) return false;
    std::vector<PackedFile> files(listed.size());
    for (std::size_t i = 0; i < listed.size(); ++i) static_cast<MapFile&>(files[i]) = std::move(listed[i]);
    // The script file is the file watched, whatever letter case or link names it.
    std::set<std::string> taken;
    for (PackedFile& file : files) {
        platform::FileState state;
        file.script = c.system.pathState(file.path, &state) && state.device == c.map.state.device &&
                      state.file == c.map.state.file;
        if (file.script) file.name = entry.name;
        const std::string problem = nameProblem(file.name, c.archive.pathLimit, taken);
        if (!problem.empty()) {
            *err = "The file " + file.path + " cannot go into a map archive: " + problem + ".";
            return false;
        }
    }
    const uint64_t room = totalSize(c.system, files) + text.size() + (1u << 20);
    if (!hasRoom(c.system, c.destination.folder, room, 0, err)) return false;
    platform::File made;
    std::string why;
    if (!c.copy.create(c.destination.copyFolder, c.archive.pathLimit, false, &made, &why) || !made.close()) {
        *err = "Couldn't create a temporary copy of the map in " + c.destination.copyFolder + ": " +
               (why.empty() ? platform::lastError() : why);
        return false;
    }
    try {
        if (!writeArchive(c, files, entry, text, err)) return false;
        c.system.atStep(StoreStep::kEntryStored);
        if (!packedAsMeant(c, files, err)) return false;
    } catch (const std::bad_alloc&) {
        *err = "Not enough memory to pack the map folder " + c.place.given + ".";
        return false;
    }
    c.system.atStep(StoreStep::kReadBack);
    // The files went in as they were when read: a save meanwhile stops the run.
    for (const PackedFile& file : files) {
        platform::FileState now;
        if (!file.script && (!c.system.pathState(file.path, &now) || now != file.state)) {
            *err = "The map folder " + c.place.given + " was changed by another program while ostrel packed it (" +
                   file.path + "); " + c.destination.shown + " was left as it was.";
            return false;
        }
    }
    return true;
}
