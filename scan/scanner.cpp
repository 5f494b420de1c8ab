#include "scan/scanner.h"

#include <cctype>
#include <cstring>
#include <string_view>

namespace {

using Line = std::string_view;
constexpr std::size_t npos = Line::npos;

const char kMainHeader[] = "function main takes nothing returns nothing";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// The line as the searches see it: a carriage return that stands directly
// before the line end is left out.
Line withoutLineEndCr(Line line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// Where the line's code starts: past its indentation of spaces and tabs.
std::size_t codeStart(Line line) {
    std::size_t at = 0;
    while (at < line.size() && isBlank(line[at])) ++at;
    return at;
}

// True when code starts with word as a whole word: followed by the line's
// end, a space, a tab, a carriage return or a comment.
bool startsWithWord(Line code, Line word) {
    if (code.compare(0, word.size(), word) != 0) return false;
    const Line rest = code.substr(word.size());
    return rest.empty() || isBlank(rest[0]) || rest[0] == '\r' || rest.compare(0, 2, "//") == 0;
}

// The word that starts at start and runs to the next space or tab or the
// line end; empty when start lies at or past the line end.
Line wordAt(Line line, std::size_t start) {
    if (start >= line.size()) return Line();
    std::size_t end = start;
    while (end < line.size() && !isBlank(line[end])) ++end;
    return line.substr(start, end - start);
}

// Where "function" stands in a header's code ("function NAME ..." or
// "constant function NAME ..."); npos when code is no header.
std::size_t headerKeyword(Line code) {
    std::size_t f = 0;
    if (startsWithWord(code, "constant")) {
        f = codeStart(code.substr(8)) + 8;
        if (f == 8) return npos;
    }
    if (code.compare(f, 8, "function") != 0) return npos;
    return f + 8 == code.size() || isBlank(code[f + 8]) ? f : npos;
}

// Whether a header, whose name ends at nameEnd, takes arguments: the word
// after "takes" is not "nothing".
bool takesArguments(Line header, std::size_t nameEnd) {
    if (nameEnd >= header.size()) return false;
    const std::size_t takes = nameEnd + codeStart(header.substr(nameEnd));
    if (!startsWithWord(header.substr(takes), "takes")) return false;
    const std::size_t word = takes + 5 + codeStart(header.substr(takes + 5));
    const Line argument = wordAt(header, word);
    return !argument.empty() && argument != "nothing";
}

// The scan's state between lines.
struct State {
    bool insideFunction = false;
    Line function;
    bool functionTakesArguments = false;
    bool functionAfterMain = false;
    std::size_t lineNumber = 0;
};

// Finds the anchors in a line whose code starts at offset at of the script.
void findAnchors(Line code, std::size_t at, std::size_t lineNumber, ScriptAnchors& anchors) {
    Anchor* next = !anchors.globalsEnd.found() ? &anchors.globalsEnd
                   : !anchors.mainHeader.found() ? &anchors.mainHeader
                   : !anchors.mainEnd.found()    ? &anchors.mainEnd
                                                 : nullptr;
    const char* word = next == &anchors.globalsEnd   ? "endglobals"
                       : next == &anchors.mainHeader ? kMainHeader
                                                     : "endfunction";
    if (next && startsWithWord(code, word)) *next = Anchor{at, lineNumber};
}

void note(std::vector<ScanNote>* notes, std::size_t line, std::string text) {
    if (notes) notes->push_back(ScanNote{line, std::move(text)});
}

// Notes a "//!" line whose key a run cannot read although its author meant
// one: a key that is close to a real one, one written after more than one
// separator, or one that runs on into other text.
void noteUnreadKey(Line line, std::size_t keyStart, Line key, const State& state, std::vector<ScanNote>* notes) {
    if (const char* near = nearKey(key)) {
        note(notes, state.lineNumber, "\"" + std::string(key) + "\" is no directive key; did you mean " + near + "?");
        return;
    }
    std::size_t next = std::min(keyStart, line.size());
    next += codeStart(line.substr(next));
    const char* known = keyAtStartOf(key.empty() ? wordAt(line, next) : key);
    if (!known) return;
    if (key.empty())
        note(notes, state.lineNumber, std::string("The ") + known +
                                          " directive has more than one space or tab after \"//!\"; it is not registered.");
    else
        note(notes, state.lineNumber, "\"" + std::string(key) + "\" cannot be read as the " + known +
                                          " directive: a space or a tab must follow the key; it is not registered.");
}

// Registers the directive at marker in a function body line, if any.
void registerDirective(Line line, std::size_t marker, const State& state, RegistrationLists& lists,
                       std::vector<ScanNote>* notes) {
    // The key starts past "//!" and one separator byte of any kind.
    const std::size_t keyStart = marker + 4;
    const Line key = wordAt(line, keyStart);
    DirectiveKind kind;
    if (!classifyDirective(key, &kind)) {
        if (notes) noteUnreadKey(line, keyStart, key, state, notes);
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

ScriptText scanScript(ScriptText script, ScriptScan& scan, bool withNotes) {
    // The scan only reads the buffer; the working copy is the same string,
    // completed below. The function name points into the buffer, which is
    // not touched until the scan is over.
    const char* const data = script.data();
    const char* cursor = data;
    const char* const end = cursor + script.size();
    std::vector<ScanNote>* notes = withNotes ? &scan.notes : nullptr;
    State state;

    while (cursor < end) {
        const void* feed = std::memchr(cursor, '\n', static_cast<std::size_t>(end - cursor));
        const char* lineEnd = feed ? static_cast<const char*>(feed) : end;
        const std::size_t lineAt = static_cast<std::size_t>(cursor - data);
        Line line = withoutLineEndCr(Line(cursor, static_cast<std::size_t>(lineEnd - cursor)));
        cursor = feed ? lineEnd + 1 : end;
        ++state.lineNumber;

        // A comment is cut off at its first "//", unless the line holds "//!".
        const std::size_t slashes = line.find("//");
        const std::size_t marker = slashes == npos ? npos : line.find("//!", slashes);
        if (slashes != npos && marker == npos) line = line.substr(0, slashes);
        // Keywords and anchors count only where they start the line's code.
        const std::size_t indent = codeStart(line);
        const Line code = line.substr(indent);
        findAnchors(code, lineAt + indent, state.lineNumber, scan.anchors);
        const std::size_t f = state.insideFunction ? npos : headerKeyword(code);

        if (f != npos) {
            // A header: the name starts past "function" and one separator.
            state.insideFunction = true;
            state.function = wordAt(code, f + 9);
            state.functionTakesArguments = takesArguments(code, f + 9 + state.function.size());
            state.functionAfterMain = scan.anchors.mainHeader.found() && scan.anchors.mainHeader.line < state.lineNumber;
            if (notes && marker != npos) noteIgnoredDirective(line, marker, "on a function's header line", state, notes);
        } else if (startsWithWord(code, "endfunction")) {
            state.insideFunction = false;
            if (notes && marker != npos) noteIgnoredDirective(line, marker, "on an endfunction line", state, notes);
        } else if (state.insideFunction) {
            if (marker != npos) registerDirective(line, marker, state, scan.registrations, notes);
        } else if (notes && marker != npos) {
            noteIgnoredDirective(line, marker, "outside any function", state, notes);
        }
    }

    if (!script.empty() && script.back() != '\n') script.push_back('\n');
    return script;
}
