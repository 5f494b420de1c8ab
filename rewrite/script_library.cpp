#include "rewrite/script_library.h"

#include <cctype>
#include "base/platform.h"

namespace {

// Opens the library in folder: the exact name, else the single name in
// another letter case; *path names it.
platform::OpenResult openInFolder(const std::string& folder, const std::string& library, platform::File* file,
                                  std::string* path, std::string* why) {
    const std::string name = platform::nameInFolder(folder.empty() ? "." : folder, library);
    *path = platform::joinPath(folder, name.empty() ? library : name);
    return platform::openRegularFile(*path, file, why);
}

// Appends raw file bytes to text, dropping each carriage return that directly
// precedes a line feed. pendingCr carries a carriage return that ended the
// previous chunk, so the result does not depend on where chunks split.
void appendDroppingCrBeforeLf(ScriptText& text, const char* bytes, std::size_t count, bool& pendingCr) {
    for (std::size_t i = 0; i < count; ++i) {
        const char c = bytes[i];
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

// True when a line of library starts, after indentation, with
// "function NAME" and no more of a name after it.
bool definesFunction(const ScriptText& library, const std::string& name) {
    const std::string header = "function " + name;
    for (std::size_t at = library.find(header); at != ScriptText::npos; at = library.find(header, at + 1)) {
        const std::size_t after = at + header.size();
        if (after < library.size() && (std::isalnum(static_cast<unsigned char>(library[after])) || library[after] == '_'))
            continue;
        std::size_t start = at;
        while (start > 0 && (library[start - 1] == ' ' || library[start - 1] == '\t')) --start;
        if (start == 0 || library[start - 1] == '\n') return true;
    }
    return false;
}

}  // namespace

bool readScriptLibrary(const std::vector<std::string>& folders, const std::string& library, ScriptText* text,
                       std::string* path, std::string* err) {
    // The lines name it as the map maker's folder shows it: Func.j.
    std::string shown = library;
    shown[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(shown[0])));
    platform::File file;
    for (const std::string& folder : folders) {
        std::string why;
        const platform::OpenResult opened = openInFolder(folder, library, &file, path, &why);
        if (opened == platform::OpenResult::kMissing) continue;
        if (opened != platform::OpenResult::kOpened) {
            *err = "Could not open the script library " + *path + ": " + why;
            return false;
        }
        break;
    }
    if (!file.isOpen()) {
        *err = "Could not open " + shown + " for reading.Make sure you have placed the " + shown +
               " file in the same folder as ostrel.exe (looked for in ";
        for (std::size_t i = 0; i < folders.size(); ++i) *err += (i ? ", " : "") + folders[i];
        *err += ")";
        return false;
    }

    ScriptText read;
    bool pendingCr = false;
    char chunk[1 << 16];
    long long got;
    while ((got = platform::readSome(file, chunk, sizeof chunk)) > 0)
        appendDroppingCrBeforeLf(read, chunk, static_cast<std::size_t>(got), pendingCr);
    if (got < 0) {
        *err = "Could not read " + shown + " to the end: " + *path;
        return false;
    }
    if (pendingCr) read.push_back('\r');
    // A byte-order mark, as some editors save one, is no text of the script.
    if (read.compare(0, 3, "\xEF\xBB\xBF") == 0) read.erase(0, 3);
    // A last line without a line feed still counts as a line.
    if (!read.empty() && read.back() != '\n') read.push_back('\n');
    *text = std::move(read);
    return true;
}

std::string libraryProblem(const ScriptText& library, const std::string& path, bool needsAddToCache) {
    const char* missing = nullptr;
    if (!definesFunction(library, "Initialize_Commands"))
        missing = "Initialize_Commands";
    else if (needsAddToCache && !definesFunction(library, "AddToCache"))
        missing = "AddToCache";
    if (!missing) return std::string();
    return "The script library " + path + " defines no function " + missing + "; it may be empty or cut off.";
}
