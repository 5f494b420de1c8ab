#include "scan/lua_scanner.h"

#include <cctype>
#include <cstring>
#include <string_view>
#include <unordered_set>
#include <utility>
#include "scan/directive_line.h"
#include "scan/directive_value.h"

namespace {

using Text = std::string_view;

bool isNameStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}

bool isNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

bool isLineEnd(char c) {
    return c == '\n' || c == '\r';
}

// The top-level function being read: its header, then its body.
struct TopFunction {
    enum class Part { kNone, kName, kParameters, kBody } part = Part::kNone;
    bool local = false;       // "local function NAME"
    bool named = false;       // NAME or NAME.NAME...; false for an anonymous function
    bool method = false;      // NAME:NAME
    bool unreadable = false;  // a header Lua does not take, such as "function a b()"
    bool wantName = true;     // the header's next token must be a name
    bool parameters = false;  // its header names any
    std::string name;         // its parts joined by dots, without what stands between them
    Anchor header;            // where "function" (or "local", or "main =") stands
};

// The lexer's state.
struct Lexer {
    Text text;
    std::size_t at = 0;
    std::size_t line = 1;
    std::size_t lineStart = 0;
    int depth = 0;  // open blocks
    TopFunction top;
    bool afterLocal = false;  // the last word was "local"
    Anchor local;             // where that "local" stands
    char lastSymbol = 0;      // the last token, when it was a symbol
    // At the top level: "main" and "=" of "main = function" read so far.
    enum class MainAssignment { kNone, kName, kEquals } mainAssignment = MainAssignment::kNone;
    Anchor mainName;  // where that "main" stands
    // At the top level, after "local": a name to declare comes next, or a comma before another.
    enum class Declaring { kNone, kName, kComma } declaring = Declaring::kNone;
    std::unordered_set<Text> localsAfterMain;  // top-level locals declared after main's definition
    Anchor mainReturn;                         // a return in main's own block, which ends it
    ScriptScan* scan = nullptr;
    std::vector<ScanNote>* notes = nullptr;
};

// True when the top-level function being read is main.
bool inMain(const Lexer& lx) {
    const Anchor& main = lx.scan->anchors.mainHeader;
    return main.found() && main.at == lx.top.header.at;
}

// Moves past the line end at the lexer's position: a line feed, a carriage
// return, or the two in either order, as Lua counts lines.
void newLine(Lexer& lx) {
    const char first = lx.text[lx.at++];
    if (lx.at < lx.text.size() && isLineEnd(lx.text[lx.at]) && lx.text[lx.at] != first) ++lx.at;
    ++lx.line;
    lx.lineStart = lx.at;
}

// The level of the long bracket that opens at at ("[[" is 0, "[==[" is 2);
// -1 when none does.
int longBracketLevel(Text text, std::size_t at) {
    if (at >= text.size() || text[at] != '[') return -1;
    std::size_t i = at + 1;
    while (i < text.size() && text[i] == '=') ++i;
    return i < text.size() && text[i] == '[' ? static_cast<int>(i - at - 1) : -1;
}

// Moves past a long string or comment of level that opens at the position.
void skipLongBracket(Lexer& lx, int level) {
    lx.at += static_cast<std::size_t>(level) + 2;
    const std::string close = "]" + std::string(static_cast<std::size_t>(level), '=') + "]";
    while (lx.at < lx.text.size()) {
        if (isLineEnd(lx.text[lx.at])) {
            newLine(lx);
        } else if (lx.text.compare(lx.at, close.size(), close) == 0) {
            lx.at += close.size();
            return;
        } else {
            ++lx.at;
        }
    }
}

// Moves past a quoted string that opens at the position; one that a line
// end cuts off (which Lua refuses) ends there.
void skipString(Lexer& lx) {
    const char quote = lx.text[lx.at++];
    bool skippingSpace = false;  // after \z, which skips spaces and line ends
    while (lx.at < lx.text.size()) {
        const char c = lx.text[lx.at];
        if (isLineEnd(c)) {
            if (!skippingSpace) return;
            newLine(lx);
            continue;
        }
        if (skippingSpace && !std::isspace(static_cast<unsigned char>(c))) skippingSpace = false;
        ++lx.at;
        if (c == quote) return;
        if (c != '\\' || lx.at >= lx.text.size()) continue;
        if (lx.text[lx.at] == 'z') skippingSpace = true;
        // A backslash before a line end continues the string on the next line.
        if (isLineEnd(lx.text[lx.at])) newLine(lx);
        else ++lx.at;
    }
}

// The line around the position, without its line end.
Text currentLine(const Lexer& lx) {
    return lx.text.substr(lx.lineStart, lx.text.find_first_of("\r\n", lx.lineStart) - lx.lineStart);
}

// A directive comment ("--!") whose marker starts at marker.
void onDirective(Lexer& lx, std::size_t marker) {
    const Text line = currentLine(lx);
    const std::size_t at = marker - lx.lineStart;
    const TopFunction& top = lx.top;
    const char* where = lx.depth == 0                              ? "outside any function"
                        : top.part == TopFunction::Part::kNone ? "in a function that is not at the top level"
                        : top.part != TopFunction::Part::kBody ? "on a function's header line"
                        : top.unreadable                       ? "in a function whose header Lua cannot read"
                        : !top.named                           ? "in an anonymous function"
                        : top.method                           ? "in a method"
                                                               : nullptr;
    if (where) {
        if (lx.notes) noteIgnoredDirective(line, at, where, lx.line, lx.notes);
        return;
    }
    DirectivePlace place;
    place.function = top.name;
    place.line = lx.line;
    place.inMain = inMain(lx);
    // Add_Commands, in front of main, cannot see a local declared after it,
    // nor a function reached through one.
    place.afterMain = lx.localsAfterMain.count(place.function.substr(0, place.function.find('.'))) > 0;
    DirectiveKind kind;
    if (lx.notes && top.parameters && classifyDirective(wordAt(line, at + 4), &kind))
        lx.notes->push_back({lx.line, "The " + std::string(wordAt(line, at + 4)) + " directive's function " +
                                          std::string(place.function) +
                                          " takes parameters; they will be nil when it is called."});
    registerDirective(line, at, place, luaDirectiveValue, lx.scan->registrations, lx.notes);
}

// Moves past a comment that starts at the position.
void skipComment(Lexer& lx) {
    const std::size_t start = lx.at;
    lx.at += 2;
    const int level = longBracketLevel(lx.text, lx.at);
    if (level >= 0) {
        skipLongBracket(lx, level);
        return;
    }
    if (lx.at < lx.text.size() && lx.text[lx.at] == '!') onDirective(lx, start);
    while (lx.at < lx.text.size() && !isLineEnd(lx.text[lx.at])) ++lx.at;
}

// Follows the header of a top-level function through one more token: a
// name, or a symbol (0 for any other token).
void readHeader(Lexer& lx, Text word, char symbol) {
    TopFunction& top = lx.top;
    if (top.part == TopFunction::Part::kName) {
        // NAME {"." NAME} [":" NAME] "(", with spaces, line ends and comments
        // anywhere between; "(" alone opens an anonymous function.
        const bool between = top.named && !top.wantName;  // after a name, before "(" or a separator
        if (!word.empty() && top.wantName) {
            top.named = true;
            top.wantName = false;
            if (!top.method) top.name += word;
            if (top.local && lx.scan->anchors.mainHeader.found()) lx.localsAfterMain.insert(word);
        } else if (between && symbol == '.' && !top.method) {
            top.name += '.';
            top.wantName = true;
        } else if (between && symbol == ':' && !top.method) {
            top.method = true;
            top.wantName = true;
        } else if (symbol == '(' && (between || !top.named)) {
            top.part = TopFunction::Part::kParameters;
        } else {
            top.unreadable = true;  // nothing registers in it
            if (symbol == '(') top.part = TopFunction::Part::kParameters;
        }
    } else if (top.part == TopFunction::Part::kParameters) {
        if (symbol == ')') {
            top.part = TopFunction::Part::kBody;
            const Text name = top.name;
            ScriptAnchors& anchors = lx.scan->anchors;
            const bool plain = top.named && !top.method && !top.unreadable;
            if (plain && !top.local && name == "main")
                (anchors.mainHeader.found() ? anchors.mainAgain : anchors.mainHeader) = top.header;
            if (plain && name == "Add_Commands" && !anchors.processed.found())
                anchors.processed = top.header;
        } else {
            top.parameters = true;
        }
    }
}

// Follows the statements of the top level through a name or keyword at
// here: the names a "local" declares, and "main = function".
void onTopLevelWord(Lexer& lx, Text word, Anchor here, bool afterLocal, char before) {
    if (lx.declaring == Lexer::Declaring::kName && word != "function") {
        if (lx.scan->anchors.mainHeader.found()) lx.localsAfterMain.insert(word);
        lx.declaring = Lexer::Declaring::kComma;
    } else {
        lx.declaring = word == "local" ? Lexer::Declaring::kName : Lexer::Declaring::kNone;
    }
    const bool assigned = lx.mainAssignment == Lexer::MainAssignment::kEquals && word == "function";
    lx.mainAssignment = Lexer::MainAssignment::kNone;
    if (word == "main" && !afterLocal && before != '.' && before != ':' && before != ',') {
        lx.mainAssignment = Lexer::MainAssignment::kName;
        lx.mainName = here;
    }
    if (!assigned) return;
    // "main = function (...)": main, defined by the statement that starts at "main".
    TopFunction& top = lx.top;
    top.named = true;
    top.wantName = false;
    top.name = "main";
    top.header = lx.mainName;
}

// A name or keyword at at.
void onWord(Lexer& lx, Text word, std::size_t at) {
    const bool local = lx.afterLocal;
    lx.afterLocal = word == "local";
    if (lx.afterLocal) lx.local = Anchor{at, lx.line};
    const char before = std::exchange(lx.lastSymbol, 0);
    const Anchor here{at, lx.line};
    if (word == "function" || word == "do" || word == "if" || word == "repeat") {
        if (word == "function" && lx.depth == 0) {
            lx.top = TopFunction();
            lx.top.part = TopFunction::Part::kName;
            lx.top.local = local;
            lx.top.header = local ? lx.local : here;
            lx.mainReturn = Anchor();
        }
        if (lx.depth == 0) onTopLevelWord(lx, word, here, local, before);
        ++lx.depth;
        return;
    }
    if (word == "end" || word == "until") {
        if (lx.depth == 0) return;
        if (--lx.depth > 0) return;
        ScriptAnchors& anchors = lx.scan->anchors;
        if (inMain(lx) && !anchors.mainEnd.found()) anchors.mainEnd = lx.mainReturn.found() ? lx.mainReturn : here;
        lx.top = TopFunction();
        return;
    }
    // A return in main's own block is its last statement.
    if (word == "return" && lx.depth == 1 && inMain(lx) && lx.top.part == TopFunction::Part::kBody) lx.mainReturn = here;
    if (lx.depth == 0) onTopLevelWord(lx, word, here, local, before);
    if (lx.depth == 1) readHeader(lx, word, 0);
}

// A symbol (or any token that is no name, 0 then) at the position.
void onSymbol(Lexer& lx, char symbol) {
    lx.afterLocal = false;
    lx.lastSymbol = symbol;
    if (lx.depth == 0) {
        lx.declaring = lx.declaring == Lexer::Declaring::kComma && symbol == ',' ? Lexer::Declaring::kName
                                                                                : Lexer::Declaring::kNone;
        lx.mainAssignment = lx.mainAssignment == Lexer::MainAssignment::kName && symbol == '='
                                ? Lexer::MainAssignment::kEquals
                                : Lexer::MainAssignment::kNone;
    }
    if (lx.depth == 1) readHeader(lx, Text(), symbol);
}

}  // namespace

ScriptText scanLuaScript(ScriptText script, ScriptScan& scan, bool withNotes) {
    Lexer lx;
    lx.text = script;
    lx.scan = &scan;
    lx.notes = withNotes ? &scan.notes : nullptr;
    const Text text = lx.text;
    while (lx.at < text.size()) {
        const char c = text[lx.at];
        if (isLineEnd(c)) {
            newLine(lx);
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            ++lx.at;
        } else if (c == '-' && lx.at + 1 < text.size() && text[lx.at + 1] == '-') {
            skipComment(lx);
        } else if (c == '"' || c == '\'') {
            onSymbol(lx, 0);
            skipString(lx);
        } else if (longBracketLevel(text, lx.at) >= 0) {
            onSymbol(lx, 0);
            skipLongBracket(lx, longBracketLevel(text, lx.at));
        } else if (isNameStart(c)) {
            const std::size_t start = lx.at;
            while (lx.at < text.size() && isNameChar(text[lx.at])) ++lx.at;
            onWord(lx, text.substr(start, lx.at - start), start);
        } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                   (c == '.' && lx.at + 1 < text.size() && std::isdigit(static_cast<unsigned char>(text[lx.at + 1])))) {
            onSymbol(lx, 0);
            // A number: digits, letters (hex digits, exponents), dots, and a
            // sign after an exponent.
            ++lx.at;
            while (lx.at < text.size() && (isNameChar(text[lx.at]) || text[lx.at] == '.' ||
                                           ((text[lx.at] == '+' || text[lx.at] == '-') &&
                                            std::strchr("eEpP", text[lx.at - 1]) != nullptr)))
                ++lx.at;
        } else {
            onSymbol(lx, c);
            ++lx.at;
        }
    }
    // A last line without a line end gets a line feed.
    if (!script.empty() && !isLineEnd(script.back())) script.push_back('\n');
    return script;
}
