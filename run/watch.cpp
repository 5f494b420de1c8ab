#include "run/watch.h"

#include <algorithm>
#include <csignal>
#include <utility>
#include <vector>
#include "archive/archive_handles.h"
#include "archive/map_form.h"
#include "archive/pack_folder.h"

namespace {

constexpr int64_t kQuietMs = 300;  // a save is complete once the map stays unchanged this long
constexpr int64_t kLookMs = 250;   // where no notices come, the map is looked at this often
// Where notices come, the map is still looked at this often, for a change the system gives no notice of (a
// subfolder made just before a save into it; Windows emulations that give none from subfolders).
constexpr int64_t kSlowLookMs = 5000;
constexpr int kOpenTries = 10;     // quiet times an archive that does not open yet is waited for

volatile std::sig_atomic_t idle = 0;

// What a watch compares between looks at the map: each file that makes it
// (the archive; every file of a map folder that is the map's) with its
// state; empty while the map is not there.
using Look = std::vector<std::pair<std::string, platform::FileState>>;

Look lookAt(const SystemOps& system, const std::string& map, bool folder) {
    Look look;
    std::vector<MapFile> files;
    std::string err;
    if (!folder) files.push_back({map, std::string()});
    else if (platform::pathKind(map) != platform::PathKind::kFolder) return look;
    // What cannot be listed is not looked at; the rest still is.
    else listMapFiles(system, map, &files, &err);
    for (MapFile& file : files) {
        platform::FileState state;
        if (system.pathState(file.path, &state)) look.emplace_back(std::move(file.path), state);
    }
    return look;
}

// True when the map, as it looks now, is whole: an archive opens as one.
bool whole(const Outside& outside, const std::string& map, bool folder) {
    ArchiveHolder archive(outside.archive);
    return folder || (archive.open(map, kOpenReadOnly) && archive.close());
}

// The line of a round that did what it was asked.
std::string doneLine(const Request& request, std::size_t registrations) {
    const std::string what = request.mode == Request::Mode::kCheck    ? "checked"
                             : request.mode == Request::Mode::kOutput ? "written to " + request.output
                                                                      : "stored";
    return shownOnOneLine(request.map + ": " + what + ", " + std::to_string(registrations) +
                          (registrations == 1 ? " registration" : " registrations"));
}

// One round: the map processed once, and its line written. Returns how the
// map looks as the round left it, from how it looked before: the file the run
// replaced, if it did, is the one it put in its place.
Look round(const Request& request, const Outside& outside, Look before, std::ostream& out, std::ostream& err) {
    idle = 0;
    const RunResult result = runOnce(request, outside, out, err);
    const std::string time = outside.watch.timeOfDay();
    if (result.done)
        out << time << ' ' << doneLine(request, result.registrations) << std::endl;
    else
        err << time << ' ' << shownOnOneLine(result.message) << std::endl;
    for (auto& [path, state] : before)
        if (result.replaced && state == result.replacedWas) state = result.replacedBy;
    idle = 1;
    return before;
}

}  // namespace

bool watchIsIdle() {
    return idle != 0;
}

int watchMap(const Request& request, const Outside& outside, std::ostream& out, std::ostream& err) {
    const WatchOps& ops = outside.watch;
    const bool folder = formOf(request.map).folder;
    const std::string& map = request.map;
    // Saves land in the map's folder (by rename, too), or anywhere in a map folder.
    std::string where;
    if (folder || !platform::resolvePath(map, &where, nullptr)) where = map;
    platform::ChangeNotices notices;
    const bool noticed = ops.startNotices(folder ? where : platform::folderOf(where), folder, &notices);
    out << ops.timeOfDay() << " Watching " << shownOnOneLine(map)
        << (noticed ? "" : ", looking at it 4 times a second (this file system gives no notice of changes)")
        << "; Ctrl+C ends the watch." << std::endl;
    Look known = round(request, outside, lookAt(outside.system, map, folder), out, err);
    for (;;) {
        // Waits for a change; then for the quiet time after the last one, and
        // for an archive to open as one.
        Look seen = lookAt(outside.system, map, folder);
        while (seen == known) {
            if (ops.waitForNotice(notices, noticed ? kSlowLookMs : kLookMs) == Wait::kEnd) return 0;
            seen = lookAt(outside.system, map, folder);
        }
        int tries = 0;
        for (int64_t since = ops.now();;) {
            const int64_t left = since + kQuietMs - ops.now();
            if (left <= 0) {
                if (whole(outside, map, folder) || ++tries == kOpenTries) break;
                since = ops.now();
                continue;
            }
            if (ops.waitForNotice(notices, noticed ? left : std::min(left, kLookMs)) == Wait::kEnd) return 0;
            Look now = lookAt(outside.system, map, folder);
            if (now != seen) {
                seen = std::move(now);
                since = ops.now();
                tries = 0;
            }
        }
        if (folder && platform::pathKind(map) != platform::PathKind::kFolder) {
            err << ops.timeOfDay() << ' ' << shownOnOneLine("The map folder " + map + " is gone; ostrel stopped watching it.")
                << std::endl;
            return 1;
        }
        // A map deleted before it is written anew is waited for.
        known = seen.empty() ? seen : round(request, outside, std::move(seen), out, err);
    }
}
