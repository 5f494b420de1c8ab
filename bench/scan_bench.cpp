// Scan throughput on a generated 64 MiB map script, next to the cost of the
// copy that hands the script over and a plain line count as the ceiling.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "scan/scanner.h"

namespace {

constexpr std::size_t kScriptBytes = 64u << 20;

// A map script of about kScriptBytes shaped like a real one: a globals block,
// then many short functions with indentation, comments, calls, function
// references, the odd directive and now and then a very long line.
ScriptText makeScript() {
    static const char* const keys[] = {"Spell_Cast", "Spell_Effect", "Order_Point", "OnInit"};
    ScriptText script;
    script.reserve(kScriptBytes + 4096);
    script += "globals\n";
    for (int i = 0; i < 2000; ++i)
        script += "    integer udg_Counter" + std::to_string(i) + " = 0 // counter\n";
    script += "endglobals\n\n";
    std::uint32_t n = 0;
    while (script.size() < kScriptBytes) {
        const std::string id = std::to_string(n);
        script += "//===========================================================================\n";
        script += "function Trig_Spell" + id + "_Actions takes nothing returns nothing\n";
        script += "    local unit u = GetTriggerUnit()\n";
        script += "    local integer i = 0\n";
        if (n % 8 == 0)
            script += std::string("    //! ") + keys[n % 32 / 8] + " A" + std::to_string(n % 1000) + "\n";
        script += "    // deal the damage around the caster\n";
        script += "    loop\n";
        script += "        exitwhen i > 10\n";
        script += "        call UnitDamageTarget(u, u, 10.0, true, false, null, null, null)\n";
        script += "        set i = i + 1\n";
        script += "    endloop\n";
        script += "    call TimerStart(CreateTimer(), 0.5, false, function Trig_Tick" + id + ")\n";
        if (n % 500 == 0)
            script += "    call BJDebugMsg(\"" + std::string(4000, 'x') + "\")\n";
        script += "    set u = null\n";
        script += "endfunction\n\n";
        ++n;
    }
    return script;
}

// The prepared script, built once for all benchmarks.
const ScriptText& preparedScript() {
    static const ScriptText script = makeScript();
    return script;
}

// scanScript on a fresh copy of the script; the copy is in the timed region
// and is measured on its own by BM_CopyScript.
void BM_ScanScript(benchmark::State& state) {
    const ScriptText& script = preparedScript();
    for (auto _ : state) {
        RegistrationLists lists;
        ScriptText working = scanScript(ScriptText(script), lists);
        benchmark::DoNotOptimize(working.data());
        benchmark::DoNotOptimize(lists);
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
BENCHMARK(BM_CopyScript)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CountLines)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
