// GetList: the slider list for the menu.
#include "plugin/functions.h"

void Fn_GetList(const MenuCall& call) {
    if (!call.Check({kGFxType_String, kGFxType_Array, kGFxType_Number},
                    "GetList(raceName:String, result:Array, MaxID:Number (, hasFacialHair:Boolean, hasBrows:Boolean))"))
        return;
}
