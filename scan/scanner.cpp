#include "scan/scanner.h"

#include <cstring>
#include <string_view>

namespace {

using Line = std::string_view;
constexpr std::size_t npos = Line::npos;

// The line as the searches see it: a carriage return that stands directly
// before the line end is left out.
Line withoutLineEndCr(Line line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// The line with its comment cut off at the first "//", unless it holds "//!".
Line withoutComment(Line line) {
    const std::size_t slashes = line.find("//");
    if (slashes == npos || line.find("//!", slashes) != npos) return line;
    return line.substr(0, slashes);
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

// Registers the directive that a function body line holds, if any.
void registerDirective(Line line, Line function, RegistrationLists& lists) {
    const std::size_t marker = line.find("//!");
    if (marker == npos) return;
    // The key starts past "//!" and one separator byte of any kind.
    const std::size_t keyStart = marker + 4;
    const Line key = wordAt(line, keyStart);
    const int kind = classifyDirective(std::string(key));
    if (kind == kNotDirective) return;
    // A key that ends the line has an empty value.
    const std::size_t valueStart = keyStart + key.size() + 1;
    const Line value = wordAt(line, valueStart);
    lists.append(kind, std::string(function),
                 normaliseDirectiveValue(std::string(value)));
}

}  // namespace

ScriptText scanScript(ScriptText script, RegistrationLists& lists) {
    // The scan only reads the buffer; the working copy is the same string,
    // completed below. The function name points into the buffer, which is
    // not touched until the scan is over.
    const char* cursor = script.data();
    const char* const end = cursor + script.size();
    bool insideFunction = false;
    Line function;

    while (cursor < end) {
        const void* feed = std::memchr(cursor, '\n', static_cast<std::size_t>(end - cursor));
        const char* lineEnd = feed ? static_cast<const char*>(feed) : end;
        Line line(cursor, static_cast<std::size_t>(lineEnd - cursor));
        cursor = feed ? lineEnd + 1 : end;

        line = withoutComment(withoutLineEndCr(line));
        const std::size_t f = line.find("function");
        const bool endsFunction = holdsEndfunction(line, f);

        if (f != npos && !endsFunction && !insideFunction) {
            // A header: the name starts past "function" and one separator.
            insideFunction = true;
            function = wordAt(line, f + 9);
        } else if (endsFunction) {
            insideFunction = false;
        } else if (insideFunction) {
            registerDirective(line, function, lists);
        }
    }

    if (!script.empty() && script.back() != '\n') script.push_back('\n');
    return script;
}
