// Writes the fuzzers' seed inputs: make_seeds SOURCE_DIR RUN_SEEDS REWRITE_SEEDS
// Map seeds are small maps written the way the tests write their fixtures;
// rewrite seeds are map scripts followed by a NUL byte and a script library.
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>
#include "tools/map_maker.h"

namespace {

// The whole file at path.
std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: make_seeds SOURCE_DIR RUN_SEEDS REWRITE_SEEDS" << std::endl;
        return 1;
    }
    const std::string source = argv[1], runSeeds = argv[2], rewriteSeeds = argv[3];
    const std::string library = readAll(source + "/func.j");
    const std::vector<std::string> scripts = {
        readAll(source + "/examples/war3map.j"),
        "globals\nendglobals\nfunction main takes nothing returns nothing\nendfunction\n",
        "globals\r\n  endglobals\r\nfunction F takes nothing returns nothing\r\n    //! Spell_Cast A000\r\n"
        "    //! OnInit\r\nendfunction\r\nfunction main takes nothing returns nothing\r\nendfunction",
        "",
    };
    for (std::size_t i = 0; i < scripts.size(); ++i) {
        const std::string name = "/seed" + std::to_string(i);
        std::ofstream(rewriteSeeds + name, std::ios::binary) << scripts[i] << '\0' << library;
        std::string error;
        std::vector<MapEntry> entries = {{"war3map.j", scripts[i], i % 2 == 0}, {"war3map.w3e", "terrain", false}};
        if (!writeMap(runSeeds + name + ".w3x", entries, error)) {
            std::cerr << "make_seeds: " << error << std::endl;
            return 1;
        }
    }
    std::string error;
    if (!writeMap(runSeeds + "/noscript.w3x", {{"war3map.w3e", "terrain", false}}, error)) {
        std::cerr << "make_seeds: " << error << std::endl;
        return 1;
    }
    return 0;
}
