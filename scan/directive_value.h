#pragma once
// A directive's value as the generated call writes it, in either script
// language, and whether it is one value that call can take.
#include <string>
#include <string_view>

// The value as generated code in the game's language writes it: a four-byte
// value becomes a character-code literal ('A000'); any other value is
// returned unchanged.
std::string normaliseDirectiveValue(std::string_view value);
// True when written (as normaliseDirectiveValue gives it) is one value of the
// game's language: an integer literal (decimal, octal, 0x or $ hexadecimal,
// optionally negative), a character code of one or four characters, or a
// name that is no keyword.
bool isGameValue(std::string_view written);

// The value as generated Lua writes it: a four-byte value, bare or in quotes
// of either kind, becomes FourCC("A000"); any other value is returned
// unchanged.
std::string luaDirectiveValue(std::string_view value);
// True when written (as luaDirectiveValue gives it) is one Lua value: a
// numeral (optionally negative), FourCC of a four-character code, or a name
// or dotted name whose parts are no keywords.
bool isLuaValue(std::string_view written);
