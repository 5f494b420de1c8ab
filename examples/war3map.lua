--
-- Saltmarsh Vigil (Lua)
--
--   Map script
--   Date: 12 March 2024
--   Map Author: Tamsin Orrow
--

gg_rct_Tide_Gate = nil
gg_unit_h000_0001 = nil
gg_trg_Dusk_Setup = nil
udg_FrostBoltDamage = 0
udg_TideInterval = 0.0
udg_TideRising = false
udg_WelcomeText = ""
function InitGlobals()
udg_FrostBoltDamage = 120
udg_TideInterval = 45.00
udg_TideRising = false
udg_WelcomeText = "The marsh is watching. --! Spell_Cast A999 is not a directive in a string"
end

--
-- Custom Script Code
--

-- Spell_Cast runs when a unit starts casting, before the mana and cooldown are
-- spent, and the cast may still be stopped. Use it for messages and checks;
-- do what the spell does in Spell_Effect, which runs once it takes effect.

-- Frost Bolt deals its damage when the spell takes effect.
function FrostBolt_Effect()
    --! Spell_Effect A000
    local caster = GetTriggerUnit()
    local target = GetSpellTargetUnit()
    UnitDamageTarget(caster, target, udg_FrostBoltDamage, true, false, ATTACK_TYPE_MAGIC, DAMAGE_TYPE_COLD, WEAPON_TYPE_WHOKNOWS)
end

-- A second function for the same spell: both run when it takes effect.
function FrostBolt_Chill()
    --! Spell_Effect A000
    SetUnitMoveSpeed(GetSpellTargetUnit(), 200.0)
end

-- Tide Call, from either the hero version or the item version of the ability.
function TideCall_Cast()
    --! Spell_Cast A001
    --! Spell_Cast A002
    if udg_TideRising then
        DisplayTextToPlayer(GetOwningPlayer(GetTriggerUnit()), 0, 0, "The tide is already rising.")
    end
end

-- Tide Call raises the water when the spell takes effect.
function TideCall_Effect()
    --! Spell_Effect A001
    --! Spell_Effect A002
    udg_TideRising = true
    DisplayTextToPlayer(GetOwningPlayer(GetTriggerUnit()), 0, 0, "The tide rises.")
end

-- Channelled Warding: Spell_Endcast whenever the channel stops, Spell_Finish
-- only when it has run its full time.
Warding = {}
function Warding.Endcast()
    --! Spell_Endcast A003
    DisplayTextToPlayer(GetOwningPlayer(GetTriggerUnit()), 0, 0, "The ward fades.")
end

function Warding.Finish()
    --! Spell_Finish A003
    SetUnitState(GetTriggerUnit(), UNIT_STATE_MANA, 0)
end

-- Orders given to the gate keeper.
local function GateKeeper_Attack()
    --! Order_Object 851983
    if GetOrderedUnit() == gg_unit_h000_0001 then
        DisplayTextToPlayer(GetOwningPlayer(GetOrderedUnit()), 0, 0, "The gate keeper will not fight.")
    end
end

function GateKeeper_Move()
    --! Order_Point 851986
    if GetOrderedUnit() == gg_unit_h000_0001 and udg_TideRising then
        IssueImmediateOrder(GetOrderedUnit(), "stop")
    end
end

function GateKeeper_Hold()
    --! Order_Instant 851993
    --[[ A long comment that holds words of the language does not end it:
         end function until ]]
    for i = 1, 2 do
        SetUnitFacing(GetOrderedUnit(), 270.0)
    end
end

-- The tide rises every udg_TideInterval seconds.
function Tide_Start()
    --! OnInit
    TimerStart(CreateTimer(), 0.0, false, function()
        DisplayTextToPlayer(GetLocalPlayer(), 0, 0, udg_WelcomeText)
        DestroyTimer(GetExpiredTimer())
    end)
    TimerStart(CreateTimer(), udg_TideInterval, true, function()
        udg_TideRising = true
    end)
end

--
-- Unit Creation
--

function CreateUnitsForPlayer0()
    local p = Player(0)
    gg_unit_h000_0001 = BlzCreateUnitWithSkin(p, FourCC("h000"), -512.0, 256.0, 270.0, FourCC("h000"))
end

function CreateAllUnits()
    CreateUnitsForPlayer0()
end

--
-- Regions
--

function CreateRegions()
    gg_rct_Tide_Gate = Rect(-640.0, 128.0, -384.0, 384.0)
end

--
-- Triggers
--

function Trig_Dusk_Setup_Actions()
    SetTimeOfDay(18.0)
    SetPlayerState(Player(0), PLAYER_STATE_RESOURCE_GOLD, 500)
end

function InitTrig_Dusk_Setup()
    gg_trg_Dusk_Setup = CreateTrigger()
    TriggerAddAction(gg_trg_Dusk_Setup, Trig_Dusk_Setup_Actions)
end

function InitCustomTriggers()
    InitTrig_Dusk_Setup()
end

function RunInitializationTriggers()
    ConditionalTriggerExecute(gg_trg_Dusk_Setup)
end

--
-- Players
--

function InitCustomPlayerSlots()
    SetPlayerStartLocation(Player(0), 0)
    SetPlayerColor(Player(0), ConvertPlayerColor(0))
    SetPlayerRacePreference(Player(0), RACE_PREF_HUMAN)
    SetPlayerRaceSelectable(Player(0), true)
    SetPlayerController(Player(0), MAP_CONTROL_USER)
end

--
-- Main Initialization
--

function main()
SetCameraBounds(-3328.0, -3584.0, 3328.0, 3072.0, -3328.0, 3072.0, 3328.0, -3584.0)
NewSoundEnvironment("Default")
SetMapMusic("Music", true, 0)
CreateRegions()
CreateAllUnits()
InitGlobals()
InitCustomTriggers()
RunInitializationTriggers()
end

--
-- Map Configuration
--

function config()
SetMapName("Saltmarsh Vigil")
SetMapDescription("Hold the tide gate until dawn.")
SetPlayers(1)
SetTeams(1)
SetGamePlacement(MAP_PLACEMENT_USE_MAP_SETTINGS)
DefineStartLocation(0, -512.0, 0.0)
InitCustomPlayerSlots()
end
