// Names and small menu functions.
#include "menu/camera.h"
#include "menu/names.h"
#include "plugin/functions.h"

void Fn_Test(const MenuCall& call) {
    (void)call;
    LogCameraNodes();
}

void Fn_UpdateModel(const MenuCall& call) {
    (void)call;
    UpdatePlayerModel();
}

void Fn_GetPlayerPreset(const MenuCall& call) {
    if (!call.Check({kGFxType_Number}, "GetPlayerPreset(index:Number)")) {
        call.ReturnNumber(0);
        return;
    }
    call.ReturnNumber(GetPlayerPreset(call.ArgInt(0)));
}

void Fn_SetPlayerPreset(const MenuCall& call) {
    if (!call.Check({kGFxType_Number, kGFxType_Number}, "SetPlayerPreset(index:Number, pos:Number)")) return;
    SetPlayerPreset(call.ArgInt(0), call.ArgInt(1));
}

void Fn_GetNthName(const MenuCall& call) {
    if (!call.Check({kGFxType_Number, kGFxType_Array}, "GetNthName(index:Number, result:Array)")) return;
    const int32_t n = call.ArgInt(0);
    if (std::optional<std::string> name = NthName(n))
        ResultRecord(call.Movie()).String("text", *name).Number("index", n).AppendTo(call.Arg(1));
}

void Fn_ValidCheck(const MenuCall& call) { call.ReturnNumber(kPluginVersion); }

void Fn_GetPlayerRaceName(const MenuCall& call) {
    if (!call.Check({kGFxType_Array}, "GetPlayerRaceName(result:Array)")) return;
    ResultRecord(call.Movie()).String("text", PlayerRaceName()).AppendTo(call.Arg(0));
}

void Fn_ResetAllMorphs(const MenuCall& call) {
    (void)call;
    ResetAllMorphs();
}

void Fn_GetHairName(const MenuCall& call) {
    if (!call.Check({kGFxType_Array}, "GetHairName(result:Array)")) return;
    if (std::optional<std::string> name = PlayerHairName())
        ResultRecord(call.Movie()).String("text", *name).AppendTo(call.Arg(0));
}
