#pragma once
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The directive kinds, in the order the generated function registers them.
enum class DirectiveKind { kSpellCast, kSpellEffect, kSpellEndcast, kSpellFinish, kOnInit, kOrderObject, kOrderPoint, kOrderInstant };

// One kind of directive: the key written after "//!", the label the
// generated registration passes (none for OnInit, which becomes a plain
// call), and whether the key takes a value.
struct DirectiveDefinition {
    DirectiveKind kind;
    const char* key;
    const char* label;
    bool takesValue;
};

constexpr std::size_t kDirectiveKinds = 8;

// The vocabulary, one row per kind, in output order.
extern const std::array<DirectiveDefinition, kDirectiveKinds> kDirectives;

// The kind of an exact, case-sensitive key; false for any other string.
bool classifyDirective(std::string_view key, DirectiveKind* kind);

// The key that word is close to but not (in another letter case, or with one
// letter added, missing or changed); null when there is none.
const char* nearKey(std::string_view word);

// The key that word is, or starts with before text that cannot go on in an
// identifier ("Spell_Cast:A000"); null when there is none.
const char* keyAtStartOf(std::string_view word);

// One directive as the scan found it.
struct Registration {
    std::string function;         // the function it stands in
    std::string value;            // normalised; empty for OnInit
    std::size_t line = 0;         // the directive's line, counted from 1
    bool takesArguments = false;  // the function's header takes arguments
    bool afterMain = false;       // the function is defined after main
    bool inMain = false;          // the function is main itself
};

// What the scan collected: one ordered list per kind.
struct RegistrationLists {
    std::array<std::vector<Registration>, kDirectiveKinds> lists;

    // Appends registration to the kind's list (OnInit keeps no value).
    void append(DirectiveKind kind, Registration registration);
    // The list of kind, in the order collected.
    const std::vector<Registration>& list(DirectiveKind kind) const;
};
