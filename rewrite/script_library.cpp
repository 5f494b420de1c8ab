#include "rewrite/script_library.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

const char kLibraryName[] = "func.j";

// True when a and b are equal ignoring ASCII letter case.
bool sameNameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (std::tolower(x) != std::tolower(y)) return false;
    }
    return true;
}

// The path of the one entry in folder whose name is "func.j" in any letter
// case; empty when there is none, more than one, or the folder can't be listed.
std::filesystem::path findLibraryIgnoringCase(const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec) return {};
    std::filesystem::path found;
    int matches = 0;
    for (std::filesystem::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) return {};
        if (sameNameIgnoringCase(it->path().filename().string(), kLibraryName)) {
            found = it->path();
            ++matches;
        }
    }
    if (ec || matches != 1) return {};
    return found;
}

// Opens the library in folder for binary reading: the exact name first, then,
// only when that name does not exist, a single case-insensitive match.
// Returns null when neither can be opened.
std::FILE* openLibrary(const std::string& folder) {
    std::filesystem::path dir = folder.empty() ? std::filesystem::path(".") : std::filesystem::path(folder);
    std::FILE* file = std::fopen((dir / kLibraryName).string().c_str(), "rb");
    if (file || errno != ENOENT) return file;
    std::filesystem::path other = findLibraryIgnoringCase(dir);
    if (other.empty()) return nullptr;
    return std::fopen(other.string().c_str(), "rb");
}

// Appends raw file bytes to text, dropping each carriage return that directly
// precedes a line feed. pendingCr carries a carriage return that ended the
// previous chunk, so the result does not depend on where chunks split.
void appendDroppingCrBeforeLf(ScriptText& text, const char* bytes, std::size_t count, bool& pendingCr) {
    for (std::size_t i = 0; i < count; ++i) {
        char c = bytes[i];
        if (pendingCr) {
            if (c != '\n') text.push_back('\r');
            pendingCr = false;
        }
        if (c == '\r')
            pendingCr = true;
        else
            text.push_back(c);
    }
}

}  // namespace

// Returns true with text set to the library's lines; false (text untouched,
// one line on err) when func.j cannot be opened or a read fails part-way.
bool readScriptLibrary(const std::string& folder, ScriptText& text, std::ostream& err) {
    std::FILE* file = openLibrary(folder);
    if (!file) {
        err << "Could not open Func.j for reading."
               "Make sure you have placed the Func.j file in the same folder as ostrel.exe"
            << '\n' << std::flush;
        return false;
    }

    ScriptText read;
    bool pendingCr = false;
    char chunk[1 << 16];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        appendDroppingCrBeforeLf(read, chunk, got, pendingCr);
    bool failed = std::ferror(file) != 0;
    int readErrno = errno;
    std::fclose(file);

    if (failed) {
        err << "Could not read Func.j to the end: " << std::strerror(readErrno) << '\n'
            << std::flush;
        return false;
    }
    if (pendingCr) read.push_back('\r');
    // A last line without a line feed still counts as a line.
    if (!read.empty() && read.back() != '\n') read.push_back('\n');
    text = std::move(read);
    return true;
}
