#pragma once
#include <array>
#include <string>
#include <vector>

// Directive kinds, as classifyDirective numbers them; 0 is not a directive.
enum DirectiveKind {
    kNotDirective = 0,
    kSpellCast = 1,
    kSpellEffect = 2,
    kSpellEndcast = 3,
    kSpellFinish = 4,
    kOnInit = 5,
    kOrderObject = 6,
    kOrderPoint = 7,
    kOrderInstant = 8,
};

// The key of kind 1..8, as written in a directive.
const char* directiveKey(int kind);

// The kind (1..8) of an exact, case-sensitive directive key; 0 for anything else.
int classifyDirective(const std::string& key);

// The value as generated code writes it: a four-byte value becomes a
// character-code literal ('A000'); any other value is returned unchanged.
std::string normaliseDirectiveValue(const std::string& value);

// What the scan collected: eight ordered lists, addressed by kind 1..8.
// The valued kinds hold (function, value) pairs flat; init holds names only.
struct RegistrationLists {
    std::array<std::vector<std::string>, 8> lists;

    // Appends function and value to the kind's list (function only for
    // OnInit); does nothing for kind 0 or a number outside 1..8.
    void append(int kind, const std::string& function, const std::string& value);

    // The list of kind 1..8, in the order collected.
    const std::vector<std::string>& list(int kind) const;
};
