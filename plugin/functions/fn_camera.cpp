// Camera menu functions.
#include "plugin/functions.h"

void Fn_SetCameraFov(const MenuCall& call) {
    if (!call.Check({kGFxType_Number}, "SetCameraFov(fov:Number)")) return;
}

void Fn_GetCameraFov(const MenuCall& call) { (void)call; }

void Fn_GetPlayerAngles(const MenuCall& call) {
    if (!call.Check({kGFxType_Array}, "GetPlayerAngles(result:Array)")) return;
}

void Fn_SetCameraPos(const MenuCall& call) {
    if (!call.Check({kGFxType_Number, kGFxType_Number, kGFxType_Number, kGFxType_Number, kGFxType_Number,
                     kGFxType_Number},
                    "SetCameraPos(x:Number, y:Number, z:Number, a:Number, b:Number, c:Number)"))
        return;
}
