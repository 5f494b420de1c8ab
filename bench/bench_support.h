#pragma once
// Shared by the benchmark programs: a generated map script, a file copy, and timed runs of a program.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <chrono>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// A map script of about bytes bytes shaped like a real one: a globals block,
// many short functions with indentation, comments, calls, function
// references, now and then a directive or a very long line, and main.
inline std::string shapedScript(std::size_t bytes) {
    static const char* const keys[] = {"Spell_Cast", "Spell_Effect", "Order_Point", "OnInit"};
    std::string script;
    script.reserve(bytes + 8192);
    script += "globals\n";
    for (int i = 0; i < 2000; ++i) script += "    integer udg_Counter" + std::to_string(i) + " = 0 // counter\n";
    script += "endglobals\n\n";
    for (unsigned n = 0; script.size() < bytes; ++n) {
        const std::string id = std::to_string(n);
        script += "//===========================================================================\n";
        script += "function Trig_Spell" + id + "_Actions takes nothing returns nothing\n";
        script += "    local unit u = GetTriggerUnit()\n";
        script += "    local integer i = 0\n";
        if (n % 8 == 0) script += std::string("    //! ") + keys[n % 32 / 8] + " A" + std::to_string(100 + n % 900) + "\n";
        script += "    // deal the damage around the caster\n";
        script += "    loop\n";
        script += "        exitwhen i > 10\n";
        script += "        call UnitDamageTarget(u, u, 10.0, true, false, null, null, null)\n";
        script += "        set i = i + 1\n";
        script += "    endloop\n";
        script += "    call TimerStart(CreateTimer(), 0.5, false, function Trig_Tick" + id + ")\n";
        if (n % 500 == 0) script += "    call BJDebugMsg(\"" + std::string(4000, 'x') + "\")\n";
        script += "    set u = null\n";
        script += "endfunction\n\n";
    }
    script += "function main takes nothing returns nothing\n    call InitGlobals()\nendfunction\n";
    return script;
}

// A map script with count directives, one in each short function, of every
// key in turn, the values repeating every 1,000 functions.
inline std::string directiveScript(std::size_t count) {
    static const char* const keys[] = {"Spell_Cast", "Spell_Effect", "Spell_Endcast", "Spell_Finish",
                                       "Order_Object", "Order_Point", "Order_Instant", "OnInit"};
    std::string script = "globals\n    integer udg_Count = 0\nendglobals\n";
    script.reserve(count * 120);
    for (std::size_t n = 0; n < count; ++n) {
        script += "function Marked" + std::to_string(n) + " takes nothing returns nothing\n";
        script += std::string("    //! ") + keys[n % 8] + " " + std::to_string(852000 + n % 1000) + "\n";
        script += "    set udg_Count = udg_Count + 1\nendfunction\n";
    }
    return script + "function main takes nothing returns nothing\nendfunction\n";
}

// True once to holds a byte-for-byte copy of from; to must be new unless replace.
inline bool copyFile(const std::string& from, const std::string& to, bool replace) {
    int in = open(from.c_str(), O_RDONLY);
    if (in < 0) return false;
    int out = open(to.c_str(), O_WRONLY | O_CREAT | (replace ? O_TRUNC : O_EXCL), 0644);
    bool copied = out >= 0;
    std::vector<char> buffer(1 << 20);
    while (copied) {
        ssize_t n = read(in, buffer.data(), buffer.size());
        if (n <= 0) {
            copied = n == 0;
            break;
        }
        copied = write(out, buffer.data(), static_cast<size_t>(n)) == n;
    }
    close(in);
    if (out >= 0 && close(out) != 0) copied = false;
    return copied;
}

// One timed run: wall seconds, processor seconds (user and system) and peak
// resident memory in bytes.
struct Measure {
    double seconds = 0;
    double cpuSeconds = 0;
    double peakBytes = 0;
};

// Runs program with args in folder as working folder, its output to logPath.
// Returns false, having said why, when the run does not exit 0.
inline bool timedRun(const std::string& program, const std::vector<std::string>& args, const std::string& folder,
                     const std::string& logPath, Measure& measure) {
    const auto start = std::chrono::steady_clock::now();
    pid_t child = fork();
    if (child == 0) {
        int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (log < 0 || dup2(log, 1) < 0 || dup2(log, 2) < 0 || chdir(folder.c_str()) != 0) _exit(126);
        std::vector<char*> line = {const_cast<char*>(program.c_str())};
        for (const std::string& arg : args) line.push_back(const_cast<char*>(arg.c_str()));
        line.push_back(nullptr);
        execv(program.c_str(), line.data());
        _exit(127);
    }
    if (child < 0) return false;
    int status = 0;
    struct rusage usage {};
    if (wait4(child, &status, 0, &usage) != child) return false;
    measure.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    measure.peakBytes = static_cast<double>(usage.ru_maxrss) * 1024.0;  // ru_maxrss is in KiB
    measure.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    std::fprintf(stderr, "%s %s failed (status %d)\n", program.c_str(), args.back().c_str(), status);
    if (FILE* log = std::fopen(logPath.c_str(), "r")) {
        char line[512];
        while (std::fgets(line, sizeof(line), log)) std::fprintf(stderr, "  %s", line);
        std::fclose(log);
    }
    return false;
}

// The absolute form of an existing path; empty when it does not exist.
inline std::string absolute(const char* path) {
    char resolved[PATH_MAX];
    return realpath(path, resolved) ? resolved : "";
}

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

