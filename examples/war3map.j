//===========================================================================
//
// Saltmarsh Vigil
//
//   Map script
//   Date: 12 March 2024
//   Map Author: Tamsin Orrow
//
//===========================================================================

//***************************************************************************
//*
//*  Global Variables
//*
//***************************************************************************

globals
    // Generated
    rect                    gg_rct_Tide_Gate           = null
    unit                    gg_unit_h000_0001          = null
    trigger                 gg_trg_Dusk_Setup         = null

    // Tuning
    integer                 udg_FrostBoltDamage        = 120
    real                    udg_TideInterval           = 45.00
    boolean                 udg_TideRising             = false
    string                  udg_WelcomeText            = "The marsh is watching."
endglobals

function InitGlobals takes nothing returns nothing
    set udg_FrostBoltDamage = 120
    set udg_TideInterval = 45.00
    set udg_TideRising = false
endfunction

//***************************************************************************
//*
//*  Custom Script Code
//*
//***************************************************************************

// Spell_Cast runs when a unit starts casting, before the mana and cooldown are
// spent, and the cast may still be stopped. Use it for messages and checks;
// do what the spell does in Spell_Effect, which runs once it takes effect.

// Frost Bolt deals its damage when the spell takes effect, after its mana is
// spent, so a cast that is cancelled deals none.
function FrostBolt_Effect takes nothing returns nothing
    //! Spell_Effect A000
    local unit caster = GetTriggerUnit()
    local unit target = GetSpellTargetUnit()
    call UnitDamageTarget(caster, target, udg_FrostBoltDamage, true, false, ATTACK_TYPE_MAGIC, DAMAGE_TYPE_COLD, WEAPON_TYPE_WHOKNOWS)
    set caster = null
    set target = null
endfunction

// Tide Call, from either the hero version or the item version of the ability.
// When the casting starts, only a word to the caster's owner: nothing changes yet.
function TideCall_Cast takes nothing returns nothing
    //! Spell_Cast A001
    //! Spell_Cast A002
    if udg_TideRising then
        call DisplayTextToPlayer(GetOwningPlayer(GetTriggerUnit()), 0, 0, "The tide is already rising.")
    endif
endfunction

// Tide Call raises the water when the spell takes effect.
function TideCall_Effect takes nothing returns nothing
    //! Spell_Effect A001
    //! Spell_Effect A002
    set udg_TideRising = true
    call DisplayTextToPlayer(GetOwningPlayer(GetTriggerUnit()), 0, 0, "The tide rises.")
endfunction

// Channelled Warding. Spell_Endcast runs whenever the caster stops
// channelling, early or at the end; Spell_Finish only when the channel has
// run its full time.
function Warding_Endcast takes nothing returns nothing
    //! Spell_Endcast A003
    call DisplayTextToPlayer(GetOwningPlayer(GetTriggerUnit()), 0, 0, "The ward fades.")
endfunction

// A ward held to the end drains the caster.
function Warding_Finish takes nothing returns nothing
    //! Spell_Finish A003
    call SetUnitState(GetTriggerUnit(), UNIT_STATE_MANA, 0)
endfunction

// Orders given to the gate keeper.
function GateKeeper_Attack takes nothing returns nothing
    //! Order_Object 851983
    if GetOrderedUnit() == gg_unit_h000_0001 then
        call DisplayTextToPlayer(GetOwningPlayer(GetOrderedUnit()), 0, 0, "The gate keeper will not fight.")
    endif
endfunction

function GateKeeper_Move takes nothing returns nothing
    //! Order_Point 851986
    if GetOrderedUnit() == gg_unit_h000_0001 and udg_TideRising then
        call IssueImmediateOrder(GetOrderedUnit(), "stop")
    endif
endfunction

function GateKeeper_Hold takes nothing returns nothing
    //! Order_Instant 851993
    call SetUnitFacing(GetOrderedUnit(), 270.0)
endfunction

// The tide rises every udg_TideInterval seconds.
function Tide_Rise takes nothing returns nothing
    set udg_TideRising = true
    call DisplayTextToPlayer(GetLocalPlayer(), 0, 0, "The tide rises.")
endfunction

function Tide_Welcome takes nothing returns nothing
    call DisplayTextToPlayer(GetLocalPlayer(), 0, 0, udg_WelcomeText)
    call DestroyTimer(GetExpiredTimer())
endfunction

// Runs inside main while the map loads. It only starts timers: their work
// happens once the game is running, in threads of their own.
function Tide_Start takes nothing returns nothing
    //! OnInit
    call TimerStart(CreateTimer(), 0.0, false, function Tide_Welcome)
    call TimerStart(CreateTimer(), udg_TideInterval, true, function Tide_Rise)
endfunction

//***************************************************************************
//*
//*  Unit Creation
//*
//***************************************************************************

function CreateUnitsForPlayer0 takes nothing returns nothing
    local player p = Player(0)
    set gg_unit_h000_0001 = CreateUnit(p, 'h000', -512.0, 256.0, 270.0)
endfunction

function CreateAllUnits takes nothing returns nothing
    call CreateUnitsForPlayer0()
endfunction

//***************************************************************************
//*
//*  Regions
//*
//***************************************************************************

function CreateRegions takes nothing returns nothing
    set gg_rct_Tide_Gate = Rect(-640.0, 128.0, -384.0, 384.0)
endfunction

//***************************************************************************
//*
//*  Triggers
//*
//***************************************************************************

function Trig_Dusk_Setup_Actions takes nothing returns nothing
    call SetTimeOfDay(18.0)
    call SetPlayerState(Player(0), PLAYER_STATE_RESOURCE_GOLD, 500)
endfunction

function InitTrig_Dusk_Setup takes nothing returns nothing
    set gg_trg_Dusk_Setup = CreateTrigger()
    call TriggerAddAction(gg_trg_Dusk_Setup, function Trig_Dusk_Setup_Actions)
endfunction

function InitCustomTriggers takes nothing returns nothing
    call InitTrig_Dusk_Setup()
endfunction

function RunInitializationTriggers takes nothing returns nothing
    call ConditionalTriggerExecute(gg_trg_Dusk_Setup)
endfunction

//***************************************************************************
//*
//*  Players
//*
//***************************************************************************

function InitCustomPlayerSlots takes nothing returns nothing
    call SetPlayerStartLocation(Player(0), 0)
    call SetPlayerColor(Player(0), ConvertPlayerColor(0))
    call SetPlayerRacePreference(Player(0), RACE_PREF_HUMAN)
    call SetPlayerRaceSelectable(Player(0), true)
    call SetPlayerController(Player(0), MAP_CONTROL_USER)
endfunction

//***************************************************************************
//*
//*  Main Initialization
//*
//***************************************************************************

function main takes nothing returns nothing
    call SetCameraBounds(-3328.0, -3584.0, 3328.0, 3072.0, -3328.0, 3072.0, 3328.0, -3584.0)
    call NewSoundEnvironment("Default")
    call SetMapMusic("Music", true, 0)
    call CreateRegions()
    call CreateAllUnits()
    call InitGlobals()
    call InitCustomTriggers()
    call RunInitializationTriggers()
endfunction

//***************************************************************************
//*
//*  Map Configuration
//*
//***************************************************************************

function config takes nothing returns nothing
    call SetMapName("Saltmarsh Vigil")
    call SetMapDescription("Hold the tide gate until dawn.")
    call SetPlayers(1)
    call SetTeams(1)
    call SetGamePlacement(MAP_PLACEMENT_USE_MAP_SETTINGS)
    call DefineStartLocation(0, -512.0, 0.0)
    call InitCustomPlayerSlots()
endfunction
