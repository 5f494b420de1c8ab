// ostrel --watch, driven by a clock and saves of the test's own: each save another program makes, at a time of the
// clock, is one notice; the watch ends once no save is left.
#include <gtest/gtest.h>
#include <deque>
#include <functional>
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;

int64_t clockNow = 0, lastSave = 0;
std::deque<std::pair<int64_t, std::function<void()>>> saves;
bool noticesGiven = true;
bool noticesOfTree = false;  // the watch asked for notices from the folders under the one it watches
std::vector<int64_t> waits;  // how long the watch waited each time it did

WatchOps drivenWatch() {
    WatchOps ops;
    ops.now = [] { return clockNow; };
    ops.startNotices = [](const std::string&, bool tree, platform::ChangeNotices*) {
        return noticesOfTree = tree, noticesGiven;
    };
    ops.waitForNotice = [](platform::ChangeNotices&, int64_t timeout) {
        waits.push_back(timeout);
        // Once every save is made, the watch ends ten seconds on.
        if (saves.empty() && clockNow > lastSave + 10000) return Wait::kEnd;
        if (saves.empty() || saves.front().first > clockNow + timeout) {
            clockNow += timeout;
            return Wait::kTimeout;
        }
        clockNow = lastSave = std::max(clockNow, saves.front().first);
        const std::function<void()> save = std::move(saves.front().second);
        saves.pop_front();
        save();
        return Wait::kNotice;
    };
    ops.timeOfDay = [] { return std::string("T"); };
    return ops;
}

// The bytes of a stand-in map holding script and a terrain.
std::string mapBytes(const std::string& script) {
    TempFolder folder;
    writeStandinArchive(folder.file("m"), {{"war3map.j", script}, {"war3map.w3e", "terrain"}});
    return readFile(folder.file("m"));
}

// Another program's save of path: bytes written anew and renamed over it, or written into it in place.
void save(const std::string& path, const std::string& bytes, bool inPlace = false) {
    if (inPlace) return writeFile(path, bytes);
    writeFile(path + ".new", bytes);
    platform::replaceFile(path + ".new", path, nullptr);
}

const std::string kMarked = "globals\nendglobals\nfunction F takes nothing returns nothing\n    //! OnInit\nendfunction\n" +
                            kMain + "\nendfunction\n";

TEST(Watch, EveryCompleteSaveIsProcessedOnceAndNothingElse) {
    const std::string fresh = mapBytes(kMinimalScript), marked = mapBytes(kMarked);
    const std::string broken = mapBytes("globals\n" + kMain + "\nendfunction\n");
    enum Form { kArchive, kFolder };
    const std::string s0 = "T MAP: stored, 0 registrations\n", s1 = "T MAP: stored, 1 registration\n";
    using Save = std::pair<int64_t, std::function<void(const std::string& map)>>;
    const auto partly = [&](int64_t at, std::size_t bytes) { return Save{at, [&, bytes](auto& m) { writeFile(m, fresh.substr(0, bytes)); }}; };
    const struct {
        const char* what;
        Form form;
        std::vector<std::string> options;
        std::vector<Save> saves;
        std::string out, err;  // after the watch's first line; T for the time of day, MAP for the map as given
        int exitCode = 0;
        bool saveAfterSecondStore = false;  // another save right after the watch's own store in its second round
    } cases[] = {
        {"a save by rename, then one in place", kArchive, {},
         {{1000, [&](auto& m) { save(m, fresh); }}, {3000, [&](auto& m) { save(m, marked, true); }}}, s0 + s0 + s1, ""},
        {"a save in small writes, with pauses longer than the quiet time, for longer than ten of them", kArchive, {},
         {partly(1000, 10), partly(1100, 20), partly(2000, 30), partly(3000, 40), partly(4000, 50), partly(5000, fresh.size())},
         s0 + s0, ""},
        {"two saves in quick succession", kArchive, {},
         {{1000, [&](auto& m) { save(m, fresh); }}, {1200, [&](auto& m) { save(m, marked); }}}, s0 + s1, ""},
        {"the watch's own store", kArchive, {}, {{1000, [](auto&) {}}}, s0, ""},
        {"an already processed map, then no change", kArchive, {},
         {{1000, [&](auto& m) { save(m, readFile(m)); }}, {5000, [](auto&) {}}}, s0,
         "T The map MAP has already been processed by ostrel; it was left as it is (line 2).\n"},
        {"a stop, then a good save", kArchive, {},
         {{1000, [&](auto& m) { save(m, broken); }}, {5000, [&](auto& m) { save(m, marked); }}}, s0 + s1,
         "T The map script has no \"endglobals\".\n"},
        {"the map removed, and written anew a while later", kArchive, {},
         {{1000, [](auto& m) { std::remove(m.c_str()); }}, {6000, [&](auto& m) { writeFile(m, marked); }}}, s0 + s1, ""},
        {"written to NEW, the map left as it is", kArchive, {"--output", "NEW"}, {{1000, [&](auto& m) { save(m, marked); }}},
         "T MAP: written to NEW, 0 registrations\nT MAP: written to NEW, 1 registration\n", ""},
        {"checked", kArchive, {"--check"}, {{1000, [&](auto& m) { save(m, marked); }}},
         "T MAP: checked, 0 registrations\nline 4: F OnInit\nT MAP: checked, 1 registration\n", ""},
        {"a folder save touching several files, then a file that is not the map's", kFolder, {},
         {{1000, [&](auto& m) { save(platform::joinPath(m, "war3map.j"), kMarked); }},
          {1200, [](auto& m) { writeFile(platform::joinPath(m, "war3map.w3e"), "saved"); }},
          {1400, [](auto& m) { writeFile(platform::joinPath(m, "imported.txt"), "new"); }},
          {3000, [](auto& m) { writeFile(platform::joinPath(m, ".imported.txt.swp"), "not the map's"); }}}, s0 + s1, ""},
        {"a save right after the watch's own store", kArchive, {}, {{1000, [&](auto& m) { save(m, fresh); }}}, s0 + s0 + s1,
         "", 0, true},
        {"a map folder removed", kFolder, {}, {{1000, [](auto& m) { fs::remove_all(fs::u8path(m)); }}}, s0,
         "T The map folder MAP is gone; ostrel stopped watching it.\n", 1},
    };
    for (const bool noticed : {true, false})
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (noticed ? "" : ", without notices"));
            const MapFolder archive(kMinimalScript);
            const MapFolder folder({{"war3map.j", kMinimalScript}, {"war3map.w3e", "terrain"}}, kLibraryFile, "func.j");
            static std::string map;
            map = c.form == kFolder ? folder.map : archive.map;
            const std::string root = c.form == kFolder ? folder.folder.path : archive.folder.path;
            const std::string output = platform::joinPath(root, "new.w3x");
            std::vector<std::string> args = {"ostrel", "--watch"};
            for (const std::string& option : c.options) args.push_back(option == "NEW" ? output : option);
            args.push_back(map);
            clockNow = 0;
            noticesGiven = noticed;
            waits.clear();
            for (const auto& [at, action] : c.saves) saves.emplace_back(at, [&, action] { action(map); });
            static std::string again;
            static int stores;
            again = c.saveAfterSecondStore ? marked : "";
            stores = 0;
            SystemOps system = platformSystemOps();
            system.atStep = [](StoreStep step) {
                if (step == StoreStep::kReplaced && ++stores == 2 && !again.empty()) save(map, again);
            };
            std::ostringstream out, err;
            const int code = runOstrel(args, Outside{standinArchiveOps(), system, {root}, drivenWatch()}, out, err);
            saves.clear();
            EXPECT_EQ(code, c.exitCode);
            EXPECT_EQ(noticesOfTree, c.form == kFolder);
            const std::string start = "T Watching MAP" + std::string(noticed ? "" : ", looking at it 4 times a second "
                                      "(this file system gives no notice of changes)") + "; Ctrl+C ends the watch.\n";
            EXPECT_EQ(out.str(), named(start + c.out, {{"MAP", map}, {"NEW", output}}));
            EXPECT_EQ(err.str(), named(c.err, {{"MAP", map}}));
            // Between saves the watch waits for a notice, looking for itself every 5 seconds, or looks 4 times a second
            // where no notices come; never more often.
            ASSERT_FALSE(waits.empty());
            EXPECT_TRUE(code != 0 || waits.back() == (noticed ? 5000 : 250)) << waits.back();
            for (const int64_t wait : waits) EXPECT_TRUE(wait > 0 && wait <= (noticed ? 5000 : 250)) << wait;
        }
}

}  // namespace
