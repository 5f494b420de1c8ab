#pragma once
// Reading a directive from its line, the same in both script languages: a
// three-byte marker ("//!" or "--!"), one separator, the key, a space or a
// tab, the value.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>
#include "scan/script_scan.h"

bool isBlank(char c);
// Where the line's code starts: past its indentation of spaces and tabs.
std::size_t codeStart(std::string_view line);
// The word that starts at start and runs to the next space or tab or the
// line end; empty when start lies at or past the line end.
std::string_view wordAt(std::string_view line, std::size_t start);

// The function a directive stands in, as the scan found it.
struct DirectivePlace {
    std::string_view function;
    std::size_t line = 0;
    bool takesArguments = false;  // and the language cannot pass them
    bool afterMain = false;       // and the language cannot call it from before main
    bool inMain = false;          // main itself, which calls the registrations
};

// Registers the directive whose marker starts at marker of line, its value
// written by valueForm. With notes, notes a key that is near a real one,
// written after two separators or run on into other text, and an order
// value that is a word.
void registerDirective(std::string_view line, std::size_t marker, const DirectivePlace& place,
                       std::string (*valueForm)(std::string_view), RegistrationLists& lists,
                       std::vector<ScanNote>* notes);

// Notes a directive (or one near a real key) that stands where the scan does
// not register it; where says where, as in "outside any function".
void noteIgnoredDirective(std::string_view line, std::size_t marker, const std::string& where, std::size_t lineNumber,
                          std::vector<ScanNote>* notes);
