// GetVertexInArea: the vertices of the head around a picked vertex, for the vertex brush.
#include "plugin/functions.h"

void Fn_GetVertexInArea(const MenuCall& call) {
    if (!call.Check({kGFxType_String, kGFxType_Array, kGFxType_Number, kGFxType_Number, kGFxType_Number,
                     kGFxType_Number, kGFxType_Number, kGFxType_Number, kGFxType_Bool, kGFxType_Array},
                    "GetVertexInArea(raceName:String, info:Array, vertexID:Number, x:Number, y:Number, z:Number, "
                    "area:Number, areaType:Number, isMirror:Boolean, result:Array)"))
        return;
}
