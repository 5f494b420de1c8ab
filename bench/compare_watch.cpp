// Times ostrel --watch on a map with a 4 MiB script: from the end of a save
// (a fresh map renamed over the map) to the line of the finished round, over
// several saves; then the processor time the watch uses in a spell of idle
// seconds (60 by default).
//
//   compare_watch OSTREL FUNC_J WORK_FOLDER [SAVES [IDLE_SECONDS]]
//
// Exits 0 whether or not the target is met; 1 when the watch fails.
#include <signal.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>
#include "bench/bench_support.h"
#include "tools/map_maker.h"

namespace {

// The processor seconds process pid has used, from /proc.
double processorSeconds(pid_t pid) {
    FILE* stat = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    if (!stat) return -1;
    char text[1024] = "";
    const std::size_t got = std::fread(text, 1, sizeof text - 1, stat);
    std::fclose(stat);
    text[got] = '\0';
    // The fields after the command's closing parenthesis; utime and stime are the 12th and 13th of them.
    const char* at = std::strrchr(text, ')');
    unsigned long user = 0, system = 0;
    if (!at || std::sscanf(at + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &user, &system) != 2) return -1;
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Reads one line from the watch's output; false at its end.
bool readLine(FILE* from, std::string* line) {
    char text[4096];
    if (!std::fgets(text, sizeof text, from)) return false;
    *line = text;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || argc > 6) {
        std::fprintf(stderr, "usage: compare_watch OSTREL FUNC_J WORK_FOLDER [SAVES [IDLE_SECONDS]]\n");
        return 2;
    }
    const std::string tool = absolute(argv[1]), work = absolute(argv[3]);
    const int saves = argc > 4 ? std::atoi(argv[4]) : 7, idleSeconds = argc > 5 ? std::atoi(argv[5]) : 60;
    const std::string map = work + "/watched.w3x", fresh = work + "/fresh.w3x";
    std::string error;
    if (tool.empty() || work.empty() || !copyFile(argv[2], work + "/func.j", true) ||
        !writeMap(fresh, {MapEntry{"war3map.j", shapedScript(4u << 20), true}}, error) || !copyFile(fresh, map, true)) {
        std::fprintf(stderr, "compare_watch: cannot make the map %s\n", error.c_str());
        return 2;
    }
    int lines[2];
    if (pipe(lines) != 0) return 1;
    const pid_t watch = fork();
    if (watch == 0) {
        dup2(lines[1], 1);
        close(lines[0]);
        const int quiet = open("/dev/null", O_WRONLY);  // the line the watch ends with
        if (quiet >= 0) dup2(quiet, 2);
        if (chdir(work.c_str()) != 0) _exit(126);
        execl(tool.c_str(), tool.c_str(), "--watch", map.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(lines[1]);
    FILE* output = fdopen(lines[0], "r");
    std::string line;
    bool failed = !readLine(output, &line) || !readLine(output, &line) || line.find("stored") == std::string::npos;
    std::vector<double> latencies;
    for (int i = 0; i < saves && !failed; ++i) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const std::string saved = work + "/saving.w3x";
        failed = !copyFile(fresh, saved, true) || std::rename(saved.c_str(), map.c_str()) != 0;
        const auto end = std::chrono::steady_clock::now();  // the save is complete
        failed = failed || !readLine(output, &line) || line.find("stored") == std::string::npos;
        latencies.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - end).count());
    }
    const double before = processorSeconds(watch);
    std::this_thread::sleep_for(std::chrono::seconds(failed ? 0 : idleSeconds));
    const double idle = processorSeconds(watch) - before;
    kill(watch, SIGINT);
    int status = 0;
    waitpid(watch, &status, 0);
    if (failed) {
        std::fprintf(stderr, "compare_watch: the watch did not process a save (last line: %s)\n", line.c_str());
        return 1;
    }
    const double latency = median(latencies);
    std::printf("ostrel --watch on a map with a 4 MiB script, %d saves\n", saves);
    std::printf("  from the end of a save to the round's line: median %.3f s, longest %.3f s (target < 0.5 s: %s)\n",
                latency, *std::max_element(latencies.begin(), latencies.end()), latency < 0.5 ? "met" : "MISSED");
    std::printf("  processor time in %d idle seconds: %.3f s\n", idleSeconds, idle);
    return 0;
}
