#include "tests/test_support.h"


namespace fs = std::filesystem;

TempFolder::TempFolder() {
    static int made = 0;
    std::error_code ec;
    const std::string stem = "ostrel-test-" + std::to_string(platform::processId()) + "-";
    for (int attempt = 0; attempt < 1000 && path.empty(); ++attempt) {
        const fs::path folder = fs::temp_directory_path(ec) / (stem + std::to_string(made++));
        if (fs::create_directory(folder, ec)) path = folder.u8string();
    }
}

TempFolder::~TempFolder() {
    if (path.empty()) return;
    // Whatever a test made read-only or unreadable is made the user's again.
    std::error_code ec;
    fs::permissions(fs::u8path(path), fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto it = fs::recursive_directory_iterator(fs::u8path(path), ec); !ec && it != fs::end(it); it.increment(ec))
        if (!it->is_symlink(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(fs::u8path(path), ec);
}

