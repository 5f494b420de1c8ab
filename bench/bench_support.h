#pragma once
// Shared by the benchmark programs: a generated map script and a file copy.
#include <fcntl.h>
#include <unistd.h>
#include <cstddef>
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
