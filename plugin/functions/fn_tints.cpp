// Tint menu functions.
#include "plugin/functions.h"

void Fn_GetTintsList(const MenuCall& call) {
    if (!call.Check({kGFxType_Array}, "GetTintsList(result:Array)")) return;
}

void Fn_SetNthTintPath(const MenuCall& call) {
    if (!call.Check({kGFxType_Number, kGFxType_String}, "SetNthTintPath(index:Number, path:String)")) return;
}

void Fn_SetNthTintColor(const MenuCall& call) {
    if (!call.Check({kGFxType_Number, kGFxType_Number}, "SetNthTintColor(index:Number, color:Number)")) return;
}
