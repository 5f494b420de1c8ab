#include "scan/scanner.h"

#include <cstring>
#include <string_view>
#include "scan/directive_line.h"

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

// True when code starts with word as a whole word: followed by the line's
// end, a space, a tab, a carriage return or a comment.
bool startsWithWord(Line code, Line word) {
    // Most lines start with another letter: the first byte decides at once.
    if (code.empty() || code[0] != word[0] || code.compare(0, word.size(), word) != 0) return false;
    const Line rest = code.substr(word.size());
    return rest.empty() || isBlank(rest[0]) || rest[0] == '\r' || rest.compare(0, 2, "//") == 0;
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

        const std::size_t n = state.lineNumber;
        if (f != npos) {
            // A header: the name starts past "function" and one separator.
            state.insideFunction = true;
            DirectivePlace& place = state.place;
            place.function = wordAt(code, f + 9);
            place.takesArguments = takesArguments(code, f + 9 + place.function.size());
            place.afterMain = scan.anchors.mainHeader.found() && scan.anchors.mainHeader.line < n;
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

    if (!script.empty() && script.back() != '\n') script.push_back('\n');
    return script;
}
