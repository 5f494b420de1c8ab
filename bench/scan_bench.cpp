// Scan throughput on a generated 64 MiB map script, next to the cost of the
// copy that hands the script over and a plain line count as the ceiling.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "scan/scanner.h"

namespace {

constexpr std::size_t kScriptBytes = 64u << 20;

// The prepared script, built once for all benchmarks.
const ScriptText& preparedScript() {
    static const ScriptText script = shapedScript(kScriptBytes);
    return script;
}

// scanScript on a fresh copy of the script; the copy is in the timed region
// and is measured on its own by BM_CopyScript.
void BM_ScanScript(benchmark::State& state) {
    const ScriptText& script = preparedScript();
    for (auto _ : state) {
        ScriptScan scan;
        ScriptText working = scanScript(ScriptText(script), scan);
        benchmark::DoNotOptimize(working.data());
        benchmark::DoNotOptimize(scan);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(script.size()));
}

// The scan as --check makes it, collecting notes on directives a run would
// not register as their author may think.
void BM_ScanScriptWithNotes(benchmark::State& state) {
    const ScriptText& script = preparedScript();
    for (auto _ : state) {
        ScriptScan scan;
        ScriptText working = scanScript(ScriptText(script), scan, true);
        benchmark::DoNotOptimize(working.data());
        benchmark::DoNotOptimize(scan);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(script.size()));
}

// The copy alone, the share of BM_ScanScript that is not the scan.
void BM_CopyScript(benchmark::State& state) {
    const ScriptText& script = preparedScript();
    for (auto _ : state) {
        ScriptText copy(script);
        benchmark::DoNotOptimize(copy.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(script.size()));
}

// Finding every line feed with memchr, as the scan does, and nothing else:
// the ceiling for any line-by-line pass.
void BM_CountLines(benchmark::State& state) {
    const ScriptText& script = preparedScript();
    for (auto _ : state) {
        const char* cursor = script.data();
        const char* const end = cursor + script.size();
        std::size_t lines = 0;
        while (const void* feed = std::memchr(cursor, '\n', static_cast<std::size_t>(end - cursor))) {
            cursor = static_cast<const char*>(feed) + 1;
            ++lines;
        }
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(script.size()));
}

}  // namespace

BENCHMARK(BM_ScanScript)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanScriptWithNotes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyScript)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CountLines)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
