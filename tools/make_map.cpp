// Writes a map archive from plain files: make_map OUT NAME=FILE [NAME=FILE ...]
// The map script is stored compressed and encrypted, as in real maps.
#include <fstream>
#include <iostream>
#include <iterator>
#include "tools/map_maker.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: make_map OUT NAME=FILE [NAME=FILE ...]" << std::endl;
        return 1;
    }
    std::vector<MapEntry> entries;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        std::string::size_type eq = arg.find('=');
        if (eq == std::string::npos || eq == 0) {
            std::cerr << "make_map: expected NAME=FILE, got " << arg << std::endl;
            return 1;
        }
        std::ifstream in(arg.substr(eq + 1), std::ios::binary);
        if (!in) {
            std::cerr << "make_map: cannot read " << arg.substr(eq + 1) << std::endl;
            return 1;
        }
        MapEntry entry;
        entry.name = arg.substr(0, eq);
        entry.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        entry.encrypted = entry.name == "war3map.j";
        entries.push_back(entry);
    }
    std::string error;
    if (!writeMap(argv[1], entries, error)) {
        std::cerr << "make_map: " << error << std::endl;
        return 1;
    }
    return 0;
}
