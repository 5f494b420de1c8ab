#include "scan/directives.h"

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

std::string normaliseDirectiveValue(std::string_view value) {
    if (value.size() != 4) return std::string(value);
    return "'" + std::string(value) + "'";
}

void RegistrationLists::append(DirectiveKind kind, Registration registration) {
    if (!kDirectives[static_cast<std::size_t>(kind)].takesValue) registration.value.clear();
    lists[static_cast<std::size_t>(kind)].push_back(std::move(registration));
}

const std::vector<Registration>& RegistrationLists::list(DirectiveKind kind) const {
    return lists[static_cast<std::size_t>(kind)];
}
