// Times ostrel on map folders against the floor of what it does:
// 1. packing a map folder of 1,000 files and about 100 MB into a new map
//    archive (ostrel --output), against a program that only adds the same
//    files to a new archive with the same settings and flushes it;
// 2. processing the 4 MiB script of a map folder in place, against copying
//    that file once and flushing the copy.
// Each runs several times (the script file restored before each run of the
// second, untimed); the runner prints the medians, their ratio and ostrel's
// peak memory next to the targets.
//
//   compare_folders OSTREL BASELINE_PACK FUNC_J WORK_FOLDER [RUNS]
//
// Exits 0 whether or not the targets are met; 1 when a run fails.
#include <sys/stat.h>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>
#include "bench/bench_support.h"

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

// Bytes of which half compress well (text) and half do not (noise), as the
// imported files of a map: models, textures, sounds.
std::string mixedBytes(std::size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    uint32_t x = seed | 1;
    for (std::size_t i = 0; i < size; ++i) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        bytes[i] = i < size / 2 ? "Bone Vertex Group Normal 0123456789\n"[x % 36] : static_cast<char>(x);
    }
    return bytes;
}

bool writeBytes(const std::string& path, const std::string& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

// Runs ostrel (which 0) and the floor (which 1) in turns, runs times each; false on a failed run.
template <typename Run>
bool timeBoth(int runs, Run run, std::vector<double> seconds[2], std::vector<double>& peaks) {
    for (int i = 0; i < runs; ++i) {
        for (int turn = 0; turn < 2; ++turn) {
            const int which = (i + turn) % 2;  // neither always goes first
            Measure measure;
            if (!run(which, measure)) return false;
            seconds[which].push_back(measure.seconds);
            if (which == 0) peaks.push_back(measure.peakBytes);
        }
    }
    return true;
}

// Prints the medians, their ratio against target (none when 0) and ostrel's peak memory.
void report(const char* what, const std::vector<double> seconds[2], const std::vector<double>& peaks, double target) {
    const double tool = median(seconds[0]), floor = median(seconds[1]);
    std::printf("%s\n  ostrel   median %.3f s\n  baseline median %.3f s\n  ratio %.3f", what, tool, floor, tool / floor);
    if (target > 0) std::printf(" (target <= %.2f: %s)", target, tool / floor <= target ? "met" : "MISSED");
    std::printf("\n  ostrel peak memory %.1f MiB\n", *std::max_element(peaks.begin(), peaks.end()) / kMiB);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5 || argc > 6) {
        std::fprintf(stderr, "usage: compare_folders OSTREL BASELINE_PACK FUNC_J WORK_FOLDER [RUNS]\n");
        return 2;
    }
    const std::string tool = absolute(argv[1]), baseline = absolute(argv[2]), work = absolute(argv[4]);
    const int runs = argc == 6 ? std::atoi(argv[5]) : 7;
    if (tool.empty() || baseline.empty() || work.empty() || runs < 1 || !copyFile(argv[3], work + "/func.j", true)) {
        std::fprintf(stderr, "compare_folders: cannot find the programs, the library or the work folder\n");
        return 2;
    }
    const std::string log = work + "/run.log", script = shapedScript(4u << 20);

    // 1. A map folder of 1,000 files and about 100 MB, packed.
    const std::string folder = work + "/pack.w3x", imported = folder + "/war3mapImported";
    mkdir(folder.c_str(), 0755);
    mkdir(imported.c_str(), 0755);
    std::vector<std::string> pack = {work + "/baseline.w3x", folder + "/war3map.j", "war3map.j"};
    bool made = writeBytes(folder + "/war3map.j", script);
    for (int i = 1; made && i < 1000; ++i) {
        const std::string name = "model" + std::to_string(i) + ".mdx";
        made = writeBytes(imported + "/" + name, mixedBytes(96u << 10, static_cast<uint32_t>(i)));
        pack.push_back(imported + "/" + name);
        pack.push_back("war3mapImported\\" + name);
    }
    std::vector<double> seconds[2], peaks;
    const bool packed = made && timeBoth(runs, [&](int which, Measure& measure) {
        return which == 0 ? timedRun(tool, {"--output", work + "/packed.w3x", folder}, work, log, measure)
                          : timedRun(baseline, pack, work, log, measure);
    }, seconds, peaks);
    if (!packed) return 1;
    report("a map folder of 1,000 files and 100 MB packed", seconds, peaks, 1.15);

    // 2. The 4 MiB script of a map folder processed in place, against one flushed copy of it.
    const std::string place = work + "/place.w3x", file = place + "/war3map.j";
    mkdir(place.c_str(), 0755);
    for (std::vector<double>& s : seconds) s.clear();
    peaks.clear();
    const bool inPlace = timeBoth(runs, [&](int which, Measure& measure) {
        if (!writeBytes(file, script)) return false;
        if (which == 0) return timedRun(tool, {place}, work, log, measure);
        const auto start = std::chrono::steady_clock::now();
        const std::string copy = place + "/copy.j";
        const bool copied = copyFile(file, copy, true);
        const int handle = open(copy.c_str(), O_WRONLY);
        const bool flushed = handle >= 0 && fsync(handle) == 0;
        if (handle >= 0) close(handle);
        measure.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::remove(copy.c_str());
        return copied && flushed;
    }, seconds, peaks);
    if (!inPlace) return 1;
    report("a map folder's 4 MiB script processed in place, against one flushed copy of it", seconds, peaks, 0);
    return 0;
}
