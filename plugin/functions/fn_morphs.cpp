// Morph merging menu functions: argument checks; the merge itself is not built yet.
#include "plugin/functions.h"
#include "base/log.h"

void Fn_SetMergedMorphs(const MenuCall& call) {
    if (!call.Check({kGFxType_String, kGFxType_Array, kGFxType_Number},
                    "SetMergedMorphs(raceName:String, info:Array, storeSlot:Number)"))
        return;
}

void Fn_SetMergedMorphsMemory(const MenuCall& call) {
    call.ReturnBool(false);
    if (!call.Check({kGFxType_String, kGFxType_Array, kGFxType_Number},
                    "SetMergedMorphsMemory(raceName:String, info:Array, storeSlot:Number)"))
        return;
}

void Fn_GetVertexInArea(const MenuCall& call) {
    if (!call.Check({kGFxType_String, kGFxType_Array, kGFxType_Number, kGFxType_Number, kGFxType_Number,
                     kGFxType_Number, kGFxType_Number, kGFxType_Number, kGFxType_Bool, kGFxType_Array},
                    "GetVertexInArea(raceName:String, info:Array, vertexID:Number, x:Number, y:Number, z:Number, "
                    "area:Number, areaType:Number, isMirror:Boolean, result:Array)"))
        return;
}
