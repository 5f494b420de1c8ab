#include "scan/scanner.h"

#include <cstring>
#include <string_view>
#include "scan/directive_line.h"
#include "scan/directive_value.h"

namespace {

using Line = std::string_view;
constexpr std::size_t npos = Line::npos;

const char kMainHeader[] = "function main takes nothing returns nothing";
// What the rewrite puts in front of "endglobals": a script holding it there
// has been processed before.
const char kProcessedMarker[] = "//Velloran globals:";

// True when code starts with word as a whole word: followed by the line's
// end, a space, a tab or a comment.
bool startsWithWord(Line code, Line word) {
    // Most lines start with another letter: the first byte decides at once.
    if (code.empty() || code[0] != word[0] || code.compare(0, word.size(), word) != 0) return false;
    const Line rest = code.substr(word.size());
    return rest.empty() || isBlank(rest[0]) || rest.compare(0, 2, "//") == 0;
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
    DirectivePlace place;  // the function's, with the line of the directive
    std::size_t lineNumber = 0;
    Anchor mainReturn;     // the last statement of main so far, when it is a return
};

// Finds the anchors in a line whose code starts at offset at of the script:
// the first "endglobals", the first main header after it, and the first
// "endfunction" after that, or the return in front of it that ends main.
void findAnchors(Line code, std::size_t at, State& state, ScriptAnchors& anchors) {
    const Anchor here{at, state.lineNumber};
    if (!anchors.globalsEnd.found()) {
        if (startsWithWord(code, "endglobals")) anchors.globalsEnd = here;
    } else if (!anchors.mainHeader.found()) {
        if (startsWithWord(code, kMainHeader)) anchors.mainHeader = here;
    } else if (!anchors.mainEnd.found()) {
        if (startsWithWord(code, "endfunction"))
            anchors.mainEnd = state.mainReturn.found() ? state.mainReturn : here;
        else if (!code.empty() && code.compare(0, 2, "//") != 0)
            state.mainReturn = startsWithWord(code, "return") ? here : Anchor();
    }
}

// The script's next line from cursor, without its line end: a line feed, a
// carriage return and a line feed, or a carriage return alone, as the
// language's compiler reads them. Moves cursor past the line end; feed keeps
// where the next line feed is, so that the search stays linear also where
// no line feed follows for long.
Line nextLine(const char*& cursor, const char* end, const char*& feed) {
    if (!feed || feed < cursor) {
        const void* found = std::memchr(cursor, '\n', static_cast<std::size_t>(end - cursor));
        feed = found ? static_cast<const char*>(found) : end;
    }
    const void* cr = std::memchr(cursor, '\r', static_cast<std::size_t>(feed - cursor));
    const char* lineEnd = cr ? static_cast<const char*>(cr) : feed;
    const Line line(cursor, static_cast<std::size_t>(lineEnd - cursor));
    cursor = lineEnd == end ? end : lineEnd + 1;
    if (cr && cursor == feed && feed < end) ++cursor;  // CR LF
    return line;
}

}  // namespace

ScriptText scanScript(ScriptText script, ScriptScan& scan, bool withNotes) {
    // The scan only reads the buffer; the working copy is the same string,
    // completed below. The function name points into the buffer, which is
    // not touched until the scan is over.
    const char* const data = script.data();
    const char* cursor = data;
    const char* const end = cursor + script.size();
    const char* feed = nullptr;
    std::vector<ScanNote>* notes = withNotes ? &scan.notes : nullptr;
    ScriptAnchors& anchors = scan.anchors;
    State state;

    while (cursor < end) {
        const std::size_t lineAt = static_cast<std::size_t>(cursor - data);
        Line line = nextLine(cursor, end, feed);
        const std::size_t n = ++state.lineNumber;

        // A comment is cut off at its first "//", unless the line holds "//!".
        const std::size_t slashes = line.find("//");
        const std::size_t marker = slashes == npos ? npos : line.find("//!", slashes);
        if (!anchors.globalsEnd.found() && !anchors.processed.found() && slashes != npos &&
            line.find(kProcessedMarker, slashes) != npos)
            anchors.processed = Anchor{lineAt, n};
        if (slashes != npos && marker == npos) line = line.substr(0, slashes);
        // Keywords and anchors count only where they start the line's code.
        const std::size_t indent = codeStart(line);
        const Line code = line.substr(indent);
        findAnchors(code, lineAt + indent, state, anchors);
        const std::size_t f = state.insideFunction ? npos : headerKeyword(code);

        if (f != npos) {
            // A header: the name starts past "function" and one separator.
            state.insideFunction = true;
            DirectivePlace& place = state.place;
            place.function = wordAt(code, f + 9);
            place.takesArguments = takesArguments(code, f + 9 + place.function.size());
            place.inMain = anchors.mainHeader.found() && anchors.mainHeader.line == n;
            place.afterMain = anchors.mainHeader.found() && anchors.mainHeader.line < n;
            if (notes && marker != npos) noteIgnoredDirective(line, marker, "on a function's header line", n, notes);
        } else if (startsWithWord(code, "endfunction")) {
            state.insideFunction = false;
            if (notes && marker != npos) noteIgnoredDirective(line, marker, "on an endfunction line", n, notes);
        } else if (state.insideFunction) {
            state.place.line = n;
            if (marker != npos) registerDirective(line, marker, state.place, normaliseDirectiveValue, scan.registrations, notes);
        } else if (notes && marker != npos) {
            noteIgnoredDirective(line, marker, "outside any function", n, notes);
        }
    }

    // A last line without a line end gets a line feed.
    if (!script.empty() && script.back() != '\n' && script.back() != '\r') script.push_back('\n');
    return script;
}
