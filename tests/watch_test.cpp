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
        // Once every save is made, the watch ends when it would wait for ever, or ten seconds on.
        if (saves.empty() && (timeout < 0 || clockNow > lastSave + 10000)) return Wait::kEnd;
        if (timeout >= 0 && (saves.empty() || saves.front().first > clockNow + timeout)) {
            clockNow += timeout;
            return Wait::kTimeout;
        }
        clockNow = lastSave = std::max(clockNow, saves.front().first);
        const std::function<void()> save = std::move(saves.front().second);
        saves.pop_front();
        save();
        return Wait::kNotice;
    };
    ops.timeOfDay = [] { return std::string("12:00:00"); };
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
    const struct {
        const char* what;
        Form form;
        std::vector<std::string> options;
        std::vector<std::pair<int64_t, std::function<void(const std::string& map)>>> saves;
        std::string out, err;  // after the watch's first line; MAP for the map as given
        int exitCode = 0;
        std::function<void(const std::string& map)> afterSecondStore = nullptr;
    } cases[] = {
        {"a save by rename", kArchive, {}, {{1000, [&](auto& m) { save(m, fresh); }}},
         "MAP: stored, 0 registrations\nMAP: stored, 0 registrations\n", ""},
        {"a save in place", kArchive, {}, {{1000, [&](auto& m) { save(m, marked, true); }}},
         "MAP: stored, 0 registrations\nMAP: stored, 1 registration\n", ""},
        {"a save in small writes, with pauses longer than the quiet time, for longer than ten of them", kArchive, {},
         {{1000, [&](auto& m) { writeFile(m, fresh.substr(0, 10)); }},
          {1100, [&](auto& m) { writeFile(m, fresh.substr(0, 20)); }},
          {2000, [&](auto& m) { writeFile(m, fresh.substr(0, 30)); }},
          {3000, [&](auto& m) { writeFile(m, fresh.substr(0, 40)); }},
          {4000, [&](auto& m) { writeFile(m, fresh.substr(0, 50)); }},
          {5000, [&](auto& m) { writeFile(m, fresh); }}},
         "MAP: stored, 0 registrations\nMAP: stored, 0 registrations\n", ""},
        {"two saves in quick succession", kArchive, {},
         {{1000, [&](auto& m) { save(m, fresh); }}, {1200, [&](auto& m) { save(m, marked); }}},
         "MAP: stored, 0 registrations\nMAP: stored, 1 registration\n", ""},
        {"the watch's own store", kArchive, {}, {{1000, [](auto&) {}}}, "MAP: stored, 0 registrations\n", ""},
        {"an already processed map, then no change", kArchive, {},
         {{1000, [&](auto& m) { save(m, readFile(m)); }}, {5000, [](auto&) {}}}, "MAP: stored, 0 registrations\n",
         "12:00:00 The map MAP has already been processed by ostrel; it was left as it is (line 2).\n"},
        {"a stop, then a good save", kArchive, {},
         {{1000, [&](auto& m) { save(m, broken); }}, {5000, [&](auto& m) { save(m, marked); }}},
         "MAP: stored, 0 registrations\nMAP: stored, 1 registration\n", "12:00:00 The map script has no \"endglobals\".\n"},
        {"the map removed, and written anew a while later", kArchive, {},
         {{1000, [](auto& m) { std::remove(m.c_str()); }}, {6000, [&](auto& m) { writeFile(m, marked); }}},
         "MAP: stored, 0 registrations\nMAP: stored, 1 registration\n", ""},
        {"written to NEW, the map left as it is", kArchive, {"--output", "NEW"}, {{1000, [&](auto& m) { save(m, marked); }}},
         "MAP: written to NEW, 0 registrations\nMAP: written to NEW, 1 registration\n", ""},
        {"checked", kArchive, {"--check"}, {{1000, [&](auto& m) { save(m, marked); }}},
         "MAP: checked, 0 registrations\nline 4: F OnInit\nMAP: checked, 1 registration\n", ""},
        {"a folder save touching several files", kFolder, {},
         {{1000, [&](auto& m) { save(platform::joinPath(m, "war3map.j"), kMarked); }},
          {1200, [](auto& m) { writeFile(platform::joinPath(m, "war3map.w3e"), "saved"); }},
          {1400, [](auto& m) { writeFile(platform::joinPath(m, "imported.txt"), "new"); }},
          {3000, [](auto& m) { writeFile(platform::joinPath(m, ".imported.txt.swp"), "not the map's"); }}},
         "MAP: stored, 0 registrations\nMAP: stored, 1 registration\n", ""},
        {"a save right after the watch's own store in a round", kArchive, {}, {{1000, [&](auto& m) { save(m, fresh); }}},
         "MAP: stored, 0 registrations\nMAP: stored, 0 registrations\nMAP: stored, 1 registration\n", "", 0,
         [&](const std::string& m) { save(m, marked); }},
        {"a map folder removed", kFolder, {}, {{1000, [](auto& m) { fs::remove_all(fs::u8path(m)); }}},
         "MAP: stored, 0 registrations\n", "12:00:00 The map folder MAP is gone; ostrel stopped watching it.\n", 1},
    };
    for (const bool noticed : {true, false})
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (noticed ? "" : ", without notices"));
            const MapFolder archive(kMinimalScript);
            const FolderMap folder({{"war3map.j", kMinimalScript}, {"war3map.w3e", "terrain"}}, kLibraryFile, "func.j");
            const std::string map = c.form == kFolder ? folder.map : archive.map;
            const std::string root = c.form == kFolder ? folder.root.path : archive.folder.path;
            std::vector<std::string> args = {"ostrel", "--watch"};
            for (const std::string& option : c.options) args.push_back(option == "NEW" ? platform::joinPath(root, "new.w3x") : option);
            args.push_back(map);
            clockNow = 0;
            noticesGiven = noticed;
            waits.clear();
            for (const auto& [at, action] : c.saves) saves.emplace_back(at, [&, action] { action(map); });
            static std::function<void()> afterStore;
            static int stores;
            afterStore = c.afterSecondStore ? std::function<void()>([&] { c.afterSecondStore(map); }) : nullptr;
            stores = 0;
            SystemOps system = platformSystemOps();
            system.atStep = [](StoreStep step) {
                if (step == StoreStep::kReplaced && ++stores == 2 && afterStore) afterStore();
            };
            std::ostringstream out, err;
            const int code = runOstrel(args, Outside{standinArchiveOps(), system, {root}, drivenWatch()}, out, err);
            saves.clear();
            EXPECT_EQ(code, c.exitCode);
            EXPECT_EQ(noticesOfTree, c.form == kFolder);
            std::string expected = "12:00:00 Watching MAP" +
                                   std::string(noticed ? "" : ", looking at it 4 times a second (this file system gives no "
                                                              "notice of changes)") + "; Ctrl+C ends the watch.\n";
            for (std::size_t at = 0; at < c.out.size();) {
                const std::size_t end = c.out.find('\n', at) + 1;
                expected += (c.out.compare(at, 5, "line ") == 0 ? "" : "12:00:00 ") + c.out.substr(at, end - at);
                at = end;
            }
            const std::string output = platform::joinPath(root, "new.w3x");
            const auto named = [&](std::string text) {
                for (const auto& [word, path] : {std::pair<std::string, std::string>("MAP", map), {"NEW", output}})
                    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at))
                        text.replace(at, word.size(), path);
                return text;
            };
            EXPECT_EQ(err.str(), named(c.err));
            EXPECT_EQ(out.str(), named(expected));
            // Between saves the watch waits for a notice, or looks 4 times a second where none come; never more often.
            ASSERT_FALSE(waits.empty());
            if (code == 0) EXPECT_EQ(waits.back(), noticed ? -1 : 250);
            for (const int64_t wait : waits) EXPECT_TRUE(wait == -1 ? noticed : wait > 0 && wait <= (noticed ? 300 : 250)) << wait;
        }
}

}  // namespace
