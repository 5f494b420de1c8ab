#include "scan/directive_line.h"

#include <algorithm>
#include <cctype>

namespace {

using Line = std::string_view;

void note(std::vector<ScanNote>* notes, std::size_t line, std::string text) {
    if (notes) notes->push_back(ScanNote{line, std::move(text)});
}

// Notes a directive line whose key a run cannot read although its author
// meant one: a key that is close to a real one, one written after more than
// one separator, or one that runs on into other text.
void noteUnreadKey(Line line, std::size_t keyStart, Line key, std::size_t lineNumber, std::vector<ScanNote>* notes) {
    if (const char* near = nearKey(key)) {
        note(notes, lineNumber, "\"" + std::string(key) + "\" is no directive key; did you mean " + near + "?");
        return;
    }
    std::size_t next = std::min(keyStart, line.size());
    next += codeStart(line.substr(next));
    const char* known = keyAtStartOf(key.empty() ? wordAt(line, next) : key);
    if (!known) return;
    const std::string marker(line.substr(keyStart - 4, 3));
    if (key.empty())
        note(notes, lineNumber, std::string("The ") + known + " directive has more than one space or tab after \"" +
                                    marker + "\"; it is not registered.");
    else
        note(notes, lineNumber, "\"" + std::string(key) + "\" cannot be read as the " + known +
                                    " directive: a space or a tab must follow the key; it is not registered.");
}

}  // namespace

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::size_t codeStart(Line line) {
    std::size_t at = 0;
    while (at < line.size() && isBlank(line[at])) ++at;
    return at;
}

Line wordAt(Line line, std::size_t start) {
    if (start >= line.size()) return Line();
    std::size_t end = start;
    while (end < line.size() && !isBlank(line[end])) ++end;
    return line.substr(start, end - start);
}

void registerDirective(Line line, std::size_t marker, const DirectivePlace& place,
                       std::string (*valueForm)(std::string_view), RegistrationLists& lists,
                       std::vector<ScanNote>* notes) {
    // The key starts past the marker and one separator byte of any kind.
    const std::size_t keyStart = marker + 4;
    const Line key = wordAt(line, keyStart);
    DirectiveKind kind;
    if (!classifyDirective(key, &kind)) {
        if (notes) noteUnreadKey(line, keyStart, key, place.line, notes);
        return;
    }
    // A key that ends the line has an empty value.
    const Line value = wordAt(line, keyStart + key.size() + 1);
    if (notes && key.compare(0, 6, "Order_") == 0 && value.size() == 4 &&
        std::islower(static_cast<unsigned char>(value[0])))
        note(notes, place.line, "The " + std::string(key) + " value " + std::string(value) + " becomes the character code " +
                                    valueForm(value) + ", which is no order id; orders are numbers such as 851986.");
    Registration registration;
    registration.function = std::string(place.function);
    registration.value = valueForm(value);
    registration.line = place.line;
    registration.takesArguments = place.takesArguments;
    registration.afterMain = place.afterMain;
    registration.inMain = place.inMain;
    lists.append(kind, std::move(registration));
}

void noteIgnoredDirective(Line line, std::size_t marker, const std::string& where, std::size_t lineNumber,
                          std::vector<ScanNote>* notes) {
    const Line key = wordAt(line, marker + 4);
    DirectiveKind kind;
    if (classifyDirective(key, &kind) || nearKey(key))
        note(notes, lineNumber, "The " + std::string(key) + " directive " + where + " is not registered.");
}
