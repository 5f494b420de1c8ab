#include "scan/directives.h"

namespace {

const char* const kKeys[] = {
    "Spell_Cast", "Spell_Effect", "Spell_Endcast", "Spell_Finish",
    "OnInit", "Order_Object", "Order_Point", "Order_Instant",
};

}  // namespace

const char* directiveKey(int kind) {
    return kKeys[kind - 1];
}

int classifyDirective(const std::string& key) {
    for (int i = 0; i < 8; ++i)
        if (key == kKeys[i]) return i + 1;
    return kNotDirective;
}

std::string normaliseDirectiveValue(const std::string& value) {
    if (value.size() != 4) return value;
    return "'" + value + "'";
}

void RegistrationLists::append(int kind, const std::string& function, const std::string& value) {
    if (kind < 1 || kind > 8) return;
    std::vector<std::string>& target = lists[kind - 1];
    target.push_back(function);
    if (kind != kOnInit) target.push_back(value);
}

const std::vector<std::string>& RegistrationLists::list(int kind) const {
    return lists[kind - 1];
}
