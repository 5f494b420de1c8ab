#include "scan/directive_value.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isHexDigit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}
bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isNameChar(char c) {
    return isLetter(c) || isDigit(c) || c == '_';
}

// True when c may stand in a character code inside quotes of either
// language: a printable character that is no quote and no backslash.
bool isCodeChar(char c) {
    return c > ' ' && c < 0x7f && c != '\'' && c != '"' && c != '\\';
}
bool isCode(std::string_view text) {
    return std::all_of(text.begin(), text.end(), isCodeChar);
}

// Moves past the digits at the start of text that pass isDigitOf; how many.
std::size_t skipDigits(std::string_view& text, bool (*isDigitOf)(char)) {
    std::size_t n = 0;
    while (n < text.size() && isDigitOf(text[n])) ++n;
    text.remove_prefix(n);
    return n;
}

bool isOctalDigit(char c) {
    return c >= '0' && c <= '7';
}

// True when text is an integer literal of the game's language.
bool isGameInteger(std::string_view text) {
    if (!text.empty() && text[0] == '-') text.remove_prefix(1);
    if (text.empty()) return false;
    if (text[0] == '$') return text.remove_prefix(1), skipDigits(text, isHexDigit) > 0 && text.empty();
    if (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return text.remove_prefix(2), skipDigits(text, isHexDigit) > 0 && text.empty();
    if (text[0] == '0') return skipDigits(text, isOctalDigit), text.empty();
    return skipDigits(text, isDigit) > 0 && text.empty();
}

// True when text is a Lua numeral: decimal or hexadecimal, with a fraction
// and an exponent where Lua takes them.
bool isLuaNumeral(std::string_view text) {
    if (!text.empty() && text[0] == '-') text.remove_prefix(1);
    const bool hex = text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (hex) text.remove_prefix(2);
    bool (*const digit)(char) = hex ? isHexDigit : isDigit;
    std::size_t digits = skipDigits(text, digit);
    if (!text.empty() && text[0] == '.') text.remove_prefix(1), digits += skipDigits(text, digit);
    if (digits == 0) return false;
    const char exponent = hex ? 'p' : 'e';
    if (!text.empty() && std::tolower(static_cast<unsigned char>(text[0])) == exponent) {
        text.remove_prefix(1);
        if (!text.empty() && (text[0] == '+' || text[0] == '-')) text.remove_prefix(1);
        if (skipDigits(text, isDigit) == 0) return false;
    }
    return text.empty();
}

// True when text is a name (a letter or, where underscoreFirst, an
// underscore first; then letters, digits, underscores) and none of keywords.
template <std::size_t N>
bool isName(std::string_view text, bool underscoreFirst, const std::string_view (&keywords)[N]) {
    if (text.empty() || !(isLetter(text[0]) || (underscoreFirst && text[0] == '_'))) return false;
    if (!std::all_of(text.begin(), text.end(), isNameChar)) return false;
    return std::find(std::begin(keywords), std::end(keywords), text) == std::end(keywords);
}

constexpr std::string_view kGameKeywords[] = {
    "and",    "array",      "call",     "constant", "debug", "else",   "elseif",  "endfunction", "endglobals",
    "endif",  "endloop",    "exitwhen", "extends",  "false", "function", "globals", "if",        "local",
    "loop",   "native",     "not",      "nothing",  "null",  "or",     "return",  "returns",     "set",
    "takes",  "then",       "true",     "type",
};
constexpr std::string_view kLuaKeywords[] = {
    "and",  "break", "do",  "else", "elseif", "end",    "false", "for",  "function", "goto", "if",
    "in",   "local", "nil", "not",  "or",     "repeat", "return", "then", "true",    "until", "while",
};

}  // namespace

std::string normaliseDirectiveValue(std::string_view value) {
    if (value.size() != 4) return std::string(value);
    return "'" + std::string(value) + "'";
}

bool isGameValue(std::string_view written) {
    if (written.size() >= 3 && written.front() == '\'' && written.back() == '\'') {
        const std::string_view code = written.substr(1, written.size() - 2);
        return (code.size() == 1 || code.size() == 4) && isCode(code);
    }
    return isGameInteger(written) || isName(written, false, kGameKeywords);
}

std::string luaDirectiveValue(std::string_view value) {
    const bool quoted = value.size() == 6 && (value[0] == '\'' || value[0] == '"') && value[5] == value[0];
    if (quoted) value = value.substr(1, 4);
    if (value.size() != 4) return std::string(value);
    return "FourCC(\"" + std::string(value) + "\")";
}

bool isLuaValue(std::string_view written) {
    const std::string_view prefix = "FourCC(\"", suffix = "\")";
    if (written.size() == prefix.size() + 4 + suffix.size() && written.substr(0, prefix.size()) == prefix &&
        written.substr(prefix.size() + 4) == suffix)
        return isCode(written.substr(prefix.size(), 4));
    if (isLuaNumeral(written)) return true;
    for (std::size_t start = 0;;) {
        const std::size_t dot = written.find('.', start);
        if (!isName(written.substr(start, dot == std::string_view::npos ? dot : dot - start), true, kLuaKeywords))
            return false;
        if (dot == std::string_view::npos) return true;
        start = dot + 1;
    }
}
