#include "scan/scanner.h"

#include <cctype>
#include <cstring>
#include <string_view>

namespace {

using Line = std::string_view;
constexpr std::size_t npos = Line::npos;

const char kMainHeader[] = "function main takes nothing returns nothing";

// The line as the searches see it: a carriage return that stands directly
// before the line end is left out.
Line withoutLineEndCr(Line line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// The word that starts at start and runs to the next space or the line end;
// empty when start lies at or past the line end.
Line wordAt(Line line, std::size_t start) {
    if (start >= line.size()) return Line();
    const std::size_t space = line.find(' ', start);
    return line.substr(start, space == npos ? npos : space - start);
}

// Whether the line holds "endfunction", given f, the position of the line's
// first "function" (every "endfunction" holds a "function" three bytes in).
bool holdsEndfunction(Line line, std::size_t f) {
    return f != npos && line.find("endfunction", f >= 3 ? f - 3 : 0) != npos;
}

// Whether a header, whose name starts at nameStart, takes arguments: the
// word after "takes" is not "nothing".
bool takesArguments(Line header, std::size_t nameStart) {
    const std::size_t takes = header.find(" takes ", nameStart);
    if (takes == npos) return false;
    std::size_t word = takes + 7;
    while (word < header.size() && header[word] == ' ') ++word;
    const Line argument = wordAt(header, word);
    return !argument.empty() && argument != "nothing";
}

// True when a and b differ at most in letter case, or by one letter added,
// missing or changed.
bool closeTo(Line a, Line b) {
    if (a.size() == b.size()) {
        std::size_t changed = 0, otherCase = 0;
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (a[i] == b[i]) continue;
            if (std::tolower(static_cast<unsigned char>(a[i])) == std::tolower(static_cast<unsigned char>(b[i])))
                ++otherCase;
            else
                ++changed;
        }
        return changed == 0 || (changed == 1 && otherCase == 0);
    }
    if (a.size() + 1 == b.size()) std::swap(a, b);
    if (b.size() + 1 != a.size()) return false;
    std::size_t i = 0;
    while (i < b.size() && a[i] == b[i]) ++i;
    return a.substr(i + 1) == b.substr(i);
}

// The key that word is close to but not, or null.
const char* nearKey(Line word) {
    for (const DirectiveDefinition& directive : kDirectives)
        if (word != directive.key && closeTo(word, directive.key)) return directive.key;
    return nullptr;
}

// The scan's state between lines.
struct State {
    bool insideFunction = false;
    bool mainSeen = false;
    Line function;
    bool functionTakesArguments = false;
    bool functionAfterMain = false;
    std::size_t lineNumber = 0;
};

void note(std::vector<ScanNote>* notes, std::size_t line, std::string text) {
    if (notes) notes->push_back(ScanNote{line, std::move(text)});
}

// Registers the directive at marker in a function body line, if any.
void registerDirective(Line line, std::size_t marker, const State& state, RegistrationLists& lists,
                       std::vector<ScanNote>* notes) {
    // The key starts past "//!" and one separator byte of any kind.
    const std::size_t keyStart = marker + 4;
    const Line key = wordAt(line, keyStart);
    DirectiveKind kind;
    if (!classifyDirective(key, &kind)) {
        if (const char* near = notes ? nearKey(key) : nullptr)
            note(notes, state.lineNumber, "\"" + std::string(key) + "\" is no directive key; did you mean " + near + "?");
        return;
    }
    // A key that ends the line has an empty value.
    const Line value = wordAt(line, keyStart + key.size() + 1);
    if (notes && key.compare(0, 6, "Order_") == 0 && value.size() == 4 &&
        std::islower(static_cast<unsigned char>(value[0])))
        note(notes, state.lineNumber, "The " + std::string(key) + " value " + std::string(value) +
                                          " becomes the character code '" + std::string(value) +
                                          "', which is no order id; orders are numbers such as 851986.");
    Registration registration;
    registration.function = std::string(state.function);
    registration.value = normaliseDirectiveValue(value);
    registration.line = state.lineNumber;
    registration.takesArguments = state.functionTakesArguments;
    registration.afterMain = state.functionAfterMain;
    lists.append(kind, std::move(registration));
}

// Notes a directive that stands where the scan does not register it.
void noteIgnoredDirective(Line line, std::size_t marker, const char* where, const State& state,
                          std::vector<ScanNote>* notes) {
    const Line key = wordAt(line, marker + 4);
    DirectiveKind kind;
    if (classifyDirective(key, &kind) || nearKey(key))
        note(notes, state.lineNumber, "The " + std::string(key) + " directive " + where + " is not registered.");
}

}  // namespace

ScriptText scanScript(ScriptText script, RegistrationLists& lists, std::vector<ScanNote>* notes) {
    // The scan only reads the buffer; the working copy is the same string,
    // completed below. The function name points into the buffer, which is
    // not touched until the scan is over.
    const char* cursor = script.data();
    const char* const end = cursor + script.size();
    State state;

    while (cursor < end) {
        const void* feed = std::memchr(cursor, '\n', static_cast<std::size_t>(end - cursor));
        const char* lineEnd = feed ? static_cast<const char*>(feed) : end;
        Line line = withoutLineEndCr(Line(cursor, static_cast<std::size_t>(lineEnd - cursor)));
        cursor = feed ? lineEnd + 1 : end;
        ++state.lineNumber;

        // A comment is cut off at its first "//", unless the line holds "//!".
        const std::size_t slashes = line.find("//");
        const std::size_t marker = slashes == npos ? npos : line.find("//!", slashes);
        if (slashes != npos && marker == npos) line = line.substr(0, slashes);
        const std::size_t f = line.find("function");
        const bool endsFunction = holdsEndfunction(line, f);

        if (f != npos && !endsFunction && !state.insideFunction) {
            // A header: the name starts past "function" and one separator.
            state.insideFunction = true;
            state.function = wordAt(line, f + 9);
            state.functionTakesArguments = takesArguments(line, f + 9);
            state.functionAfterMain = state.mainSeen;
            if (line.find(kMainHeader) != npos) state.mainSeen = true;
            if (notes && marker != npos) noteIgnoredDirective(line, marker, "on a function's header line", state, notes);
        } else if (endsFunction) {
            state.insideFunction = false;
            if (notes && marker != npos) noteIgnoredDirective(line, marker, "on an endfunction line", state, notes);
        } else if (state.insideFunction) {
            if (marker != npos) registerDirective(line, marker, state, lists, notes);
        } else if (notes && marker != npos) {
            noteIgnoredDirective(line, marker, "outside any function", state, notes);
        }
    }

    if (!script.empty() && script.back() != '\n') script.push_back('\n');
    return script;
}
