-- Velloran for Lua maps: the script library that ostrel places ahead of the
-- map's main function. It keeps its state in globals named OE_...:
--   OE_registered[label][id]   the triggers registered for a label ("cast",
--                              "targetorder", ...) and an ability or order id,
--                              in the order they were registered
-- Each registered function is the action of a trigger of its own, run with
-- TriggerExecute: an error in one of them does not stop the others, and a
-- function may wait.

OE_registered = {}

-- Runs every function registered for label and id, in registration order.
function OE_RunRegistered(label, id)
    local triggers = OE_registered[label][id]
    if triggers == nil then
        return
    end
    for i = 1, #triggers do
        TriggerExecute(triggers[i])
    end
end

-- Makes a trigger that runs handler whenever a unit of any player slot
-- (players and neutrals) fires event. The slot count is the game's own
-- bj_MAX_PLAYER_SLOTS, so the running version decides it.
function OE_OnAnyUnitEvent(event, handler)
    local t = CreateTrigger()
    for p = 0, bj_MAX_PLAYER_SLOTS - 1 do
        TriggerRegisterPlayerUnitEvent(t, Player(p), event, nil)
    end
    TriggerAddAction(t, handler)
end

-- Starts listening for the seven unit events on every player slot, with no
-- registrations yet. Called once, first thing in Add_Commands.
function Initialize_Commands()
    OE_registered = {cast = {}, effect = {}, endcast = {}, finish = {}, targetorder = {}, pointorder = {},
                     instantorder = {}}
    OE_OnAnyUnitEvent(EVENT_PLAYER_UNIT_SPELL_CAST, function() OE_RunRegistered("cast", GetSpellAbilityId()) end)
    OE_OnAnyUnitEvent(EVENT_PLAYER_UNIT_SPELL_EFFECT, function() OE_RunRegistered("effect", GetSpellAbilityId()) end)
    OE_OnAnyUnitEvent(EVENT_PLAYER_UNIT_SPELL_ENDCAST, function() OE_RunRegistered("endcast", GetSpellAbilityId()) end)
    OE_OnAnyUnitEvent(EVENT_PLAYER_UNIT_SPELL_FINISH, function() OE_RunRegistered("finish", GetSpellAbilityId()) end)
    OE_OnAnyUnitEvent(EVENT_PLAYER_UNIT_ISSUED_TARGET_ORDER,
                      function() OE_RunRegistered("targetorder", GetIssuedOrderId()) end)
    OE_OnAnyUnitEvent(EVENT_PLAYER_UNIT_ISSUED_POINT_ORDER,
                      function() OE_RunRegistered("pointorder", GetIssuedOrderId()) end)
    OE_OnAnyUnitEvent(EVENT_PLAYER_UNIT_ISSUED_ORDER, function() OE_RunRegistered("instantorder", GetIssuedOrderId()) end)
end

-- Registers func for label and id: func becomes the action of a new trigger,
-- which joins the triggers of that label and id.
function AddToCache(label, id, func)
    local byId = OE_registered[label]
    local triggers = byId[id]
    if triggers == nil then
        triggers = {}
        byId[id] = triggers
    end
    local t = CreateTrigger()
    TriggerAddAction(t, func)
    triggers[#triggers + 1] = t
end
