// Camera menu functions.
#include <cmath>

#include "menu/camera.h"
#include "plugin/functions.h"
#include "base/log.h"
#include "base/numeric.h"

void Fn_SetCameraFov(const MenuCall& call) {
    if (!call.Check({kGFxType_Number}, "SetCameraFov(fov:Number)")) return;
    SetCameraFov(call.ArgNumber(0));
}

void Fn_GetCameraFov(const MenuCall& call) { call.ReturnNumber(GetCameraFov()); }

void Fn_GetPlayerAngles(const MenuCall& call) {
    if (!call.Check({kGFxType_Array}, "GetPlayerAngles(result:Array)")) return;
    PlayerAngles a;
    if (!ReadPlayerAngles(&a)) return;
    ResultRecord(call.Movie())
        .Number("baseR", a.base.r)
        .Number("baseP", a.base.p)
        .Number("baseY", a.base.y)
        .Number("headR", a.head.r)
        .Number("headP", a.head.p)
        .Number("headY", a.head.y)
        .Number("basePosX", a.basePos.x)
        .Number("basePosY", a.basePos.y)
        .Number("basePosZ", a.basePos.z)
        .Number("cameraPosX", a.cameraPos.x)
        .Number("cameraPosY", a.cameraPos.y)
        .Number("cameraPosZ", a.cameraPos.z)
        .AppendTo(call.Arg(0));
}

void Fn_SetCameraPos(const MenuCall& call) {
    if (!call.Check({kGFxType_Number, kGFxType_Number, kGFxType_Number, kGFxType_Number, kGFxType_Number,
                     kGFxType_Number},
                    "SetCameraPos(x:Number, y:Number, z:Number, a:Number, b:Number, c:Number)"))
        return;
    float v[6];
    for (uint32_t i = 0; i < 6; ++i) {
        v[i] = NarrowToFloat(call.ArgNumber(i));
        // A camera node at an infinite place or with a NaN rotation breaks the view.
        if (!std::isfinite(v[i])) {
            LogMessage("    ERROR: SetCameraPos: argument %u is not a finite number.", i + 1);
            return;
        }
    }
    SetCameraPos(v[0], v[1], v[2], v[3], v[4], v[5]);
}
