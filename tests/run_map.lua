-- Runs a processed Lua map script as the game would start it, with stand-in
-- natives, and checks what its registrations do:
--   lua5.3 run_map.lua PROCESSED_SCRIPT ORIGINAL_SCRIPT
-- The registrations expected are read from the original script's directives
-- by a plain line reader of its own. After main, each OnInit function must
-- have run once. Then each spell and order event is fired for the player
-- slots 0, 15, 16 and 27 with every id the directives name: exactly the
-- functions registered for that event and id must run, each exactly once.
-- Prints one line per check that fails and exits 1 then; prints "ok" else.

local processed, original = arg[1], arg[2]
local failures = 0
local function fail(text)
    print(text)
    failures = failures + 1
end

-- What the original script's directives register: {key, value, name, line}.
local expected = {}
do
    local current, currentLine, number = nil, nil, 0
    for line in io.lines(original) do
        number = number + 1
        local name = line:match("^function ([%w_.]+)%(") or line:match("^local function ([%w_]+)%(")
        if name then current, currentLine = name, number end
        if line:match("^end") then current = nil end
        local key, value = line:match("^%s*%-%-! (%S+)%s*(%S*)")
        if key and current then expected[#expected + 1] = {key = key, value = value, name = current, line = currentLine} end
    end
end

local labels = {Spell_Cast = "cast", Spell_Effect = "effect", Spell_Endcast = "endcast", Spell_Finish = "finish",
                Order_Object = "targetorder", Order_Point = "pointorder", Order_Instant = "instantorder"}
local events = {cast = "EVENT_PLAYER_UNIT_SPELL_CAST", effect = "EVENT_PLAYER_UNIT_SPELL_EFFECT",
                endcast = "EVENT_PLAYER_UNIT_SPELL_ENDCAST", finish = "EVENT_PLAYER_UNIT_SPELL_FINISH",
                targetorder = "EVENT_PLAYER_UNIT_ISSUED_TARGET_ORDER",
                pointorder = "EVENT_PLAYER_UNIT_ISSUED_POINT_ORDER", instantorder = "EVENT_PLAYER_UNIT_ISSUED_ORDER"}

-- Stand-in natives. Any other native is a function that does nothing.
for _, event in pairs(events) do _G[event] = event end
bj_MAX_PLAYER_SLOTS = 28
local players = {}
function Player(slot)
    players[slot] = players[slot] or {slot = slot}
    return players[slot]
end
local listeners = {}  -- listeners[event][slot]: the triggers registered for it
function CreateTrigger() return {actions = {}} end
function TriggerAddAction(t, action) t.actions[#t.actions + 1] = action end
function TriggerRegisterPlayerUnitEvent(t, player, event, filter)
    listeners[event] = listeners[event] or {}
    local bySlot = listeners[event]
    bySlot[player.slot] = bySlot[player.slot] or {}
    table.insert(bySlot[player.slot], t)
end
local runs = {}  -- runs[line]: how often the function defined on that line ran through TriggerExecute
function TriggerExecute(t)
    for _, action in ipairs(t.actions) do
        local line = debug.getinfo(action, "S").linedefined
        runs[line] = (runs[line] or 0) + 1
        action()
    end
end
local currentId = nil
function GetSpellAbilityId() return currentId end
function GetIssuedOrderId() return currentId end
function FourCC(id) return string.unpack(">I4", id) end
setmetatable(_G, {__index = function() return function() end end})

local chunk, problem = loadfile(processed)
if not chunk then
    print("does not load: " .. problem)
    os.exit(1)
end
chunk()
for _, name in ipairs({"Add_Commands", "Initialize_Commands", "AddToCache", "main"}) do
    if type(rawget(_G, name)) ~= "function" then fail(name .. " is not defined") end
end

-- OnInit functions are called directly: count them by name.
local initRuns = {}
for _, e in ipairs(expected) do
    if e.key == "OnInit" then
        local defined = rawget(_G, e.name)
        initRuns[e.name] = 0
        _G[e.name] = function(...)
            initRuns[e.name] = initRuns[e.name] + 1
            return defined(...)
        end
    end
end
main()
for name, count in pairs(initRuns) do
    if count ~= 1 then fail(name .. " ran " .. count .. " times in main") end
end

-- Each event, for each slot and each id a directive names for it.
for _, e in ipairs(expected) do
    local label = labels[e.key]
    if label then
        local id = load("return " .. (#e.value == 4 and 'FourCC("' .. e.value .. '")' or e.value))()
        local wanted = {}
        for _, other in ipairs(expected) do
            if labels[other.key] == label and other.value == e.value then wanted[other.line] = true end
        end
        for _, slot in ipairs({0, 15, 16, 27}) do
            runs = {}
            currentId = id
            local triggers = (listeners[events[label]] or {})[slot] or {}
            if #triggers ~= 1 then fail(#triggers .. " triggers listen for " .. label .. " on slot " .. slot) end
            for _, t in ipairs(triggers) do
                for _, action in ipairs(t.actions) do action() end
            end
            for line in pairs(wanted) do
                if runs[line] ~= 1 then
                    fail(string.format("%s %s on slot %d: the function of line %d ran %d times", label, e.value, slot,
                                       line, runs[line] or 0))
                end
            end
            for line, count in pairs(runs) do
                if not wanted[line] then fail(label .. " " .. e.value .. ": the function of line " .. line .. " ran too") end
            end
        end
    end
end
if failures > 0 then os.exit(1) end
print("ok " .. #expected .. " directives")
