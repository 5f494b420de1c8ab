#include "archive/folder_script.h"

#include <algorithm>
#include "archive/map_script_store.h"
#include "archive/pack_folder.h"
#include "base/file_content.h"

bool locateInFolder(const std::string& map, const std::vector<ScriptEntry>& entries, MapPlace* place, std::string* err) {
    place->given = map;
    for (place->entry = 0; place->entry < entries.size(); ++place->entry) {
        const std::string name = platform::nameInFolder(map, entries[place->entry].name);
        if (name.empty()) continue;
        place->watched = platform::joinPath(map, name);
        if (platform::pathKind(place->watched) == platform::PathKind::kRegular) return true;
    }
    std::string names;
    for (std::size_t i = 0; i < entries.size(); ++i)
        names += std::string(i == 0 ? "" : i + 1 == entries.size() ? " or " : ", ") + entries[i].name;
    *err = "The map folder " + map + " holds no " + names + ".";
    return false;
}

bool takeFromFolder(StoreContext& context, const std::vector<ScriptEntry>& entries, ArchiveFacts* facts,
                    ScriptText* text, std::string* err) {
    facts->which = context.place.entry;
    if (!readMap(context.system, context.map, text, err)) return false;
    if (entries[facts->which].nulTerminated) text->resize(std::min(text->size(), text->find('\0')));
    return true;
}

bool putIntoFolder(StoreContext& context, const ScriptEntry& entry, const ScriptText& text, std::string* err) {
    if (!context.destination.isMap) return packFolder(context, entry, text, err);
    // As the map editor writes it in a folder: the text alone.
    const SystemOps& system = context.system;
    platform::File file;
    std::string why;
    bool written = context.copy.create(context.destination.copyFolder, kNoPathLimit, false, &file, &why) &&
                   system.writeAll(file, text.data(), text.size());
    if (!written && why.empty()) why = platform::lastError();
    if (file.isOpen() && !file.close() && written) {
        why = platform::lastError();
        written = false;
    }
    if (!written) {
        *err = "Couldn't write the new map script beside " + context.map.path + ": " + why;
        return false;
    }
    system.atStep(StoreStep::kEntryStored);
    if (!fileHolds(system, context.copy.path(), text)) {
        *err = "The new map script did not read back as written; the map was left as it was.";
        return false;
    }
    system.atStep(StoreStep::kReadBack);
    return true;
}
