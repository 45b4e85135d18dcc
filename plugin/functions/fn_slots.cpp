// Slot data menu function: argument check; slot files are not built yet.
#include "plugin/functions.h"

void Fn_GetSlotData(const MenuCall& call) {
    if (!call.Check({kGFxType_String, kGFxType_Number, kGFxType_Array},
                    "GetSlotData(raceName:String, slot:Number, result:Array)"))
        return;
}
