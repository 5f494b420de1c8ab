#include "scan/directives.h"

#include <cctype>
#include <utility>

const std::array<DirectiveDefinition, kDirectiveKinds> kDirectives = {{
    {DirectiveKind::kSpellCast, "Spell_Cast", "cast", true},
    {DirectiveKind::kSpellEffect, "Spell_Effect", "effect", true},
    {DirectiveKind::kSpellEndcast, "Spell_Endcast", "endcast", true},
    {DirectiveKind::kSpellFinish, "Spell_Finish", "finish", true},
    {DirectiveKind::kOnInit, "OnInit", nullptr, false},
    {DirectiveKind::kOrderObject, "Order_Object", "targetorder", true},
    {DirectiveKind::kOrderPoint, "Order_Point", "pointorder", true},
    {DirectiveKind::kOrderInstant, "Order_Instant", "instantorder", true},
}};

bool classifyDirective(std::string_view key, DirectiveKind* kind) {
    for (const DirectiveDefinition& directive : kDirectives) {
        if (key == directive.key) {
            *kind = directive.kind;
            return true;
        }
    }
    return false;
}

namespace {

// True when a and b differ at most in letter case, or by one letter added,
// missing or changed.
bool closeTo(std::string_view a, std::string_view b) {
    if (a.size() == b.size()) {
        std::size_t changed = 0, otherCase = 0;
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (a[i] == b[i]) continue;
            if (std::tolower(static_cast<unsigned char>(a[i])) == std::tolower(static_cast<unsigned char>(b[i])))
                ++otherCase;
            else
                ++changed;
        }
        return changed == 0 || (changed == 1 && otherCase == 0);
    }
    if (a.size() + 1 == b.size()) std::swap(a, b);
    if (b.size() + 1 != a.size()) return false;
    std::size_t i = 0;
    while (i < b.size() && a[i] == b[i]) ++i;
    return a.substr(i + 1) == b.substr(i);
}

}  // namespace

const char* nearKey(std::string_view word) {
    for (const DirectiveDefinition& directive : kDirectives)
        if (word != directive.key && closeTo(word, directive.key)) return directive.key;
    return nullptr;
}

const char* keyAtStartOf(std::string_view word) {
    for (const DirectiveDefinition& directive : kDirectives) {
        const std::string_view key = directive.key;
        if (word.compare(0, key.size(), key) != 0) continue;
        const unsigned char next = word.size() == key.size() ? ' ' : static_cast<unsigned char>(word[key.size()]);
        if (!std::isalnum(next) && next != '_') return directive.key;
    }
    return nullptr;
}

void RegistrationLists::append(DirectiveKind kind, Registration registration) {
    if (!kDirectives[static_cast<std::size_t>(kind)].takesValue) registration.value.clear();
    lists[static_cast<std::size_t>(kind)].push_back(std::move(registration));
}

const std::vector<Registration>& RegistrationLists::list(DirectiveKind kind) const {
    return lists[static_cast<std::size_t>(kind)];
}
