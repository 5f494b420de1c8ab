#include <cctype>
#include "base/platform.h"

namespace platform {
namespace {

// True when a and b are equal ignoring ASCII letter case.
bool sameNameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

}  // namespace

std::string nameInFolder(const std::string& folder, const std::string& name) {
    if (pathKind(joinPath(folder, name)) != PathKind::kMissing) return name;
    std::string found;
    int matches = 0;
    std::vector<std::string> names;
    std::string err;
    folderNames(folder, &names, &err);  // a name in a folder that cannot be listed is not found
    for (const std::string& other : names) {
        if (sameNameIgnoringCase(other, name)) {
            found = other;
            ++matches;
        }
    }
    return matches == 1 ? found : std::string();
}

}  // namespace platform
