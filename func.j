// Velloran: the script library that ostrel places ahead of the map's main
// function. It declares no globals of its own and uses only the three that
// ostrel adds to the map's globals section:
//   gamecache OE_cache                 where registrations are recorded
//   trigger array OE_CodeAsTrigger     one trigger per registered function
//   integer OE_count                   how many triggers have been made
//
// A registration of a function for a label ("cast", "targetorder", ...) and a
// value (an ability or order id) is recorded in OE_cache under the mission key
// label + ":" + value: key "n" holds how many functions the pair has, and keys
// "0", "1", ... hold their trigger indices in the order they were registered.

// Runs every function registered for label and value, in registration order.
function OE_RunRegistered takes string label, integer value returns nothing
    local string pair = label + ":" + I2S(value)
    local integer n = GetStoredInteger(OE_cache, pair, "n")
    local integer i = 0
    loop
        exitwhen i >= n
        call TriggerExecute(OE_CodeAsTrigger[GetStoredInteger(OE_cache, pair, I2S(i))])
        set i = i + 1
    endloop
endfunction

// Event handlers: each passes the ability or order id to its label's functions.
function OE_OnSpellCast takes nothing returns nothing
    call OE_RunRegistered("cast", GetSpellAbilityId())
endfunction

function OE_OnSpellEffect takes nothing returns nothing
    call OE_RunRegistered("effect", GetSpellAbilityId())
endfunction

function OE_OnSpellEndcast takes nothing returns nothing
    call OE_RunRegistered("endcast", GetSpellAbilityId())
endfunction

function OE_OnSpellFinish takes nothing returns nothing
    call OE_RunRegistered("finish", GetSpellAbilityId())
endfunction

function OE_OnTargetOrder takes nothing returns nothing
    call OE_RunRegistered("targetorder", GetIssuedOrderId())
endfunction

function OE_OnPointOrder takes nothing returns nothing
    call OE_RunRegistered("pointorder", GetIssuedOrderId())
endfunction

function OE_OnInstantOrder takes nothing returns nothing
    call OE_RunRegistered("instantorder", GetIssuedOrderId())
endfunction

// Makes a trigger that runs handler whenever a unit of any player slot
// (players and neutrals) fires whichEvent. The slot count is the game's own
// bj_MAX_PLAYER_SLOTS, so the running version decides it: 16 in older
// versions, 28 in newer ones (24 players, then the neutrals in 24 to 27).
function OE_OnAnyUnitEvent takes playerunitevent whichEvent, code handler returns nothing
    local trigger t = CreateTrigger()
    local integer p = 0
    loop
        exitwhen p >= bj_MAX_PLAYER_SLOTS
        call TriggerRegisterPlayerUnitEvent(t, Player(p), whichEvent, null)
        set p = p + 1
    endloop
    call TriggerAddAction(t, handler)
    set t = null
endfunction

// Prepares an empty cache and starts listening for the seven unit events on
// every player slot. Called once, first thing in Add_Commands.
function Initialize_Commands takes nothing returns nothing
    call FlushGameCache(InitGameCache("OE_commands.w3v"))
    set OE_cache = InitGameCache("OE_commands.w3v")
    set OE_count = 0
    call OE_OnAnyUnitEvent(EVENT_PLAYER_UNIT_SPELL_CAST, function OE_OnSpellCast)
    call OE_OnAnyUnitEvent(EVENT_PLAYER_UNIT_SPELL_EFFECT, function OE_OnSpellEffect)
    call OE_OnAnyUnitEvent(EVENT_PLAYER_UNIT_SPELL_ENDCAST, function OE_OnSpellEndcast)
    call OE_OnAnyUnitEvent(EVENT_PLAYER_UNIT_SPELL_FINISH, function OE_OnSpellFinish)
    call OE_OnAnyUnitEvent(EVENT_PLAYER_UNIT_ISSUED_TARGET_ORDER, function OE_OnTargetOrder)
    call OE_OnAnyUnitEvent(EVENT_PLAYER_UNIT_ISSUED_POINT_ORDER, function OE_OnPointOrder)
    call OE_OnAnyUnitEvent(EVENT_PLAYER_UNIT_ISSUED_ORDER, function OE_OnInstantOrder)
endfunction

// Registers func for label and value: func becomes the action of a new
// trigger, and the trigger's index is added to the pair's record.
function AddToCache takes string label, integer value, code func returns nothing
    local string pair = label + ":" + I2S(value)
    local integer n = GetStoredInteger(OE_cache, pair, "n")
    set OE_CodeAsTrigger[OE_count] = CreateTrigger()
    call TriggerAddAction(OE_CodeAsTrigger[OE_count], func)
    call StoreInteger(OE_cache, pair, I2S(n), OE_count)
    call StoreInteger(OE_cache, pair, "n", n + 1)
    set OE_count = OE_count + 1
endfunction
