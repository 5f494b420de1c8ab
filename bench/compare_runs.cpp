// Times ostrel against the baseline program, which does only the archive work
// storing a map script cannot avoid, on maps with 4 MiB and 32 MiB scripts and
// on one with a 4 MiB script and about 50 MB of other entries; then times
// ostrel --check against a run of ostrel on maps with 8,000 and 200,000
// directives. Each program
// runs several times, each time on a fresh copy of the map (the copying is
// not timed); the runner prints the medians, their ratio and ostrel's peak
// memory next to the targets, and the size of the map after a run of ostrel
// against a fresh archive holding the same entries.
//
//   compare_runs OSTREL BASELINE FUNC_J WORK_FOLDER [RUNS]
//
// Exits 0 whether or not the targets are met; 1 when a run fails.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <climits>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <StormLib.h>
#include <functional>
#include "bench/bench_support.h"
#include "tools/map_maker.h"

namespace {

constexpr double kMiB = 1024.0 * 1024.0;
constexpr double kRatioTarget = 1.10;

// Runs work in a child process, so that this process stays small (a child
// forked for a timed run starts with this process's memory counted in its
// peak), and returns the number it reports, or 0 on failure.
std::size_t apart(const std::function<std::size_t()>& work) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return 0;
    pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        const std::size_t result = work();
        bool told = write(pipeEnds[1], &result, sizeof(result)) == static_cast<ssize_t>(sizeof(result));
        _exit(told && result ? 0 : 1);
    }
    close(pipeEnds[1]);
    std::size_t result = 0;
    if (child < 0 || read(pipeEnds[0], &result, sizeof(result)) != static_cast<ssize_t>(sizeof(result))) result = 0;
    close(pipeEnds[0]);
    int status = 0;
    if (child > 0) waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? result : 0;
}

// Bytes that do not compress.
std::string noise(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    uint32_t x = seed | 1;
    for (char& c : bytes) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        c = static_cast<char>(x);
    }
    return bytes;
}

// The entries of a bench map: the script, the terrain and otherBytes of other
// entries in 5 MB pieces.
std::vector<MapEntry> mapEntries(const std::string& script, std::size_t otherBytes) {
    std::vector<MapEntry> entries = {MapEntry{"war3map.j", script, true}, MapEntry{"war3map.w3e", noise(256 << 10, 1), false}};
    for (std::size_t i = 0; i * (5u << 20) < otherBytes; ++i)
        entries.push_back(MapEntry{"war3mapImported\\model" + std::to_string(i) + ".mdx", noise(5u << 20, 7 + i), false});
    return entries;
}

// Writes a map holding a script of about scriptBytes bytes and otherBytes of
// other entries at path. Returns the script's exact size, or 0 on failure.
std::size_t makeMapApart(const std::string& path, std::size_t scriptBytes, std::size_t otherBytes,
                         std::size_t directives = 0) {
    return apart([&] {
        const std::string script = directives ? directiveScript(directives) : shapedScript(scriptBytes);
        std::string error;
        if (writeMap(path, mapEntries(script, otherBytes), error)) return script.size();
        std::fprintf(stderr, "compare_runs: %s\n", error.c_str());
        return std::size_t(0);
    });
}

// The size of a fresh archive holding the entries of the map at path, with
// its script as stored; 0 on failure.
std::size_t freshSizeApart(const std::string& path, const std::string& freshPath, std::size_t otherBytes) {
    return apart([&] {
        HANDLE archive = nullptr, entry = nullptr;
        std::string script;
        if (SFileOpenArchive(path.c_str(), 0, MPQ_OPEN_READ_ONLY, &archive) &&
            SFileOpenFileEx(archive, "war3map.j", 0, &entry)) {
            script.resize(SFileGetFileSize(entry, nullptr));
            DWORD got = 0;
            if (!SFileReadFile(entry, &script[0], static_cast<DWORD>(script.size()), &got, nullptr)) script.clear();
            SFileCloseFile(entry);
        }
        if (archive) SFileCloseArchive(archive);
        std::string error;
        if (script.empty() || !writeMap(freshPath, mapEntries(script, otherBytes), error)) return std::size_t(0);
        FILE* fresh = std::fopen(freshPath.c_str(), "rb");
        if (!fresh) return std::size_t(0);
        std::fseek(fresh, 0, SEEK_END);
        const long size = std::ftell(fresh);
        std::fclose(fresh);
        return static_cast<std::size_t>(size);
    });
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5 || argc > 6) {
        std::fprintf(stderr, "usage: compare_runs OSTREL BASELINE FUNC_J WORK_FOLDER [RUNS]\n");
        return 2;
    }
    // Absolute paths, since each run starts in the work folder.
    const std::string programs[2] = {absolute(argv[1]), absolute(argv[2])};
    const std::string folder = absolute(argv[4]);
    if (programs[0].empty() || programs[1].empty() || folder.empty()) {
        std::fprintf(stderr, "compare_runs: cannot find the programs or the work folder\n");
        return 2;
    }
    const int runs = argc == 6 ? std::atoi(argv[5]) : 7;
    if (runs < 1) {
        std::fprintf(stderr, "compare_runs: RUNS must be at least 1\n");
        return 2;
    }
    const std::string library = folder + "/func.j", source = folder + "/source.w3x";
    const std::string map = folder + "/map.w3x", log = folder + "/run.log", fresh = folder + "/fresh.w3x";
    if (!copyFile(argv[3], library, true)) {
        std::fprintf(stderr, "compare_runs: cannot copy %s into %s\n", argv[3], folder.c_str());
        return 1;
    }

    bool failed = false;
    const std::pair<std::size_t, std::size_t> cases[] = {{4, 0}, {32, 0}, {4, 50}};
    for (const auto& [mib, otherMb] : cases) {
        const std::size_t scriptBytes = makeMapApart(source, mib << 20, otherMb * 1000000);
        if (scriptBytes == 0) {
            std::fprintf(stderr, "compare_runs: cannot write a map with a %zu MiB script\n", mib);
            failed = true;
            break;
        }
        std::vector<double> seconds[2], cpu[2], peaks[2];
        for (int run = 0; run < runs && !failed; ++run) {
            // Alternate which program goes first, so neither always follows the other.
            for (int turn = 0; turn < 2 && !failed; ++turn) {
                const int which = (run + turn) % 2;
                Measure measure;
                if (!copyFile(source, map, true) || !timedRun(programs[which], {map}, folder, log, measure)) {
                    failed = true;
                    break;
                }
                seconds[which].push_back(measure.seconds);
                cpu[which].push_back(measure.cpuSeconds);
                peaks[which].push_back(measure.peakBytes);
            }
        }
        if (failed) break;
        const double tool = median(seconds[0]), floor = median(seconds[1]);
        const double ratio = tool / floor;
        const double peak = *std::max_element(peaks[0].begin(), peaks[0].end());
        const double memoryTarget = 3.0 * static_cast<double>(scriptBytes) + 16 * kMiB;
        // The map as one more run of ostrel leaves it, against a fresh archive.
        Measure once;
        const bool sized = copyFile(source, map, true) && timedRun(programs[0], {map}, folder, log, once);
        const std::size_t freshBytes = sized ? freshSizeApart(map, fresh, otherMb * 1000000) : 0;
        struct stat info;
        const double after = freshBytes && stat(map.c_str(), &info) == 0 ? static_cast<double>(info.st_size) : 0;
        std::printf("script %zu MiB (%zu bytes), other entries %zu MB, %d runs each\n", mib, scriptBytes, otherMb, runs);
        std::printf("  ostrel   median %.3f s (processor %.3f s)\n", tool, median(cpu[0]));
        std::printf("  baseline median %.3f s (processor %.3f s)\n", floor, median(cpu[1]));
        std::printf("  ratio %.3f (target <= %.2f: %s)\n", ratio, kRatioTarget, ratio <= kRatioTarget ? "met" : "MISSED");
        std::printf("  ostrel peak memory %.1f MiB (target <= %.1f MiB: %s); baseline %.1f MiB\n", peak / kMiB,
                    memoryTarget / kMiB, peak <= memoryTarget ? "met" : "MISSED",
                    *std::max_element(peaks[1].begin(), peaks[1].end()) / kMiB);
        std::printf("  map after a run %.0f bytes, fresh archive %zu bytes: %.4f (target <= 1.01: %s)\n", after,
                    freshBytes, after / static_cast<double>(freshBytes),
                    freshBytes && after <= 1.01 * static_cast<double>(freshBytes) ? "met" : "MISSED");
        std::fflush(stdout);
    }
    // The check against a run, each on a fresh copy of the same map.
    for (const std::size_t directives : {std::size_t(8000), std::size_t(200000)}) {
        if (failed || makeMapApart(source, 0, 0, directives) == 0) {
            failed = true;
            break;
        }
        std::vector<double> seconds[2];
        for (int run = 0; run < runs && !failed; ++run) {
            for (int turn = 0; turn < 2 && !failed; ++turn) {
                const int which = (run + turn) % 2;  // as above, neither always goes first
                Measure measure;
                failed = !copyFile(source, map, true) ||
                         !timedRun(programs[0], which == 0 ? std::vector<std::string>{"--check", map} : std::vector<std::string>{map},
                                  folder, log, measure);
                seconds[which].push_back(measure.seconds);
            }
        }
        if (failed) break;
        const double check = median(seconds[0]), run = median(seconds[1]);
        std::printf("%zu directives, %d runs each\n  ostrel --check median %.3f s, ostrel median %.3f s: %.3f (target <= "
                    "1.00: %s)\n", directives, runs, check, run, check / run, check <= run ? "met" : "MISSED");
        std::fflush(stdout);
    }
    for (const std::string& path : {library, source, map, log, fresh}) std::remove(path.c_str());
    return failed ? 1 : 0;
}
