#include "rewrite/lua_splice.h"

#include "rewrite/splice.h"

void spliceLuaScript(ScriptText& working, const ScriptAnchors& anchors, const ScriptText& block) {
    insertAll(working, {{anchors.mainHeader.at, block}, {anchors.mainEnd.at, "    Add_Commands()\n"}});
}
