// Colour menu functions.
#include "plugin/functions.h"

void Fn_GetColor(const MenuCall& call) {
    if (!call.Check({kGFxType_Number}, "GetColor(uniqueID:Number)")) return;
}

void Fn_ARGB2HSL(const MenuCall& call) {
    if (!call.Check({kGFxType_Number, kGFxType_Array}, "ARGB2HSL(argb:Number, result:Array)")) return;
}

void Fn_HSL2ARGB(const MenuCall& call) {
    if (!call.Check({kGFxType_Number, kGFxType_Number, kGFxType_Number, kGFxType_Number},
                    "HSL2ARGB(h:Number, s:Number, l:Number, alpha:Number)"))
        return;
}
