// Names and small menu functions.
#include "plugin/functions.h"

void Fn_Test(const MenuCall& call) { (void)call; }

void Fn_UpdateModel(const MenuCall& call) { (void)call; }

void Fn_GetPlayerPreset(const MenuCall& call) {
    if (!call.Check({kGFxType_Number}, "GetPlayerPreset(index:Number)")) {
        call.ReturnNumber(0);
        return;
    }
}

void Fn_SetPlayerPreset(const MenuCall& call) {
    if (!call.Check({kGFxType_Number, kGFxType_Number}, "SetPlayerPreset(index:Number, pos:Number)")) return;
}

void Fn_GetNthName(const MenuCall& call) {
    if (!call.Check({kGFxType_Number, kGFxType_Array}, "GetNthName(index:Number, result:Array)")) return;
}

void Fn_ValidCheck(const MenuCall& call) { call.ReturnNumber(kPluginVersion); }

void Fn_GetPlayerRaceName(const MenuCall& call) {
    if (!call.Check({kGFxType_Array}, "GetPlayerRaceName(result:Array)")) return;
}

void Fn_ResetAllMorphs(const MenuCall& call) { (void)call; }

void Fn_GetHairName(const MenuCall& call) {
    if (!call.Check({kGFxType_Array}, "GetHairName(result:Array)")) return;
}
