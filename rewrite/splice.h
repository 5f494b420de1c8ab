#pragma once
#include <cstddef>
#include <string_view>
#include <vector>
#include "base/script_text.h"
#include "scan/script_scan.h"

// The globals the script library uses, as they go into the globals section.
extern const std::string_view kGlobalsBlock;

// A text to insert into the working copy, in front of the byte at offset at.
struct Insertion {
    std::size_t at;
    std::string_view text;
};

// Makes every insertion (in ascending order of offset) at once: the working
// copy grows once and each byte moves at most once.
void insertAll(ScriptText& working, const std::vector<Insertion>& insertions);

// Inserts the globals block at the end of the globals section, block in
// front of main's header and the Add_Commands call in front of main's end.
// Every anchor must be found.
void spliceScript(ScriptText& working, const ScriptAnchors& anchors, const ScriptText& block);
