// SetMergedMorphsMemory: the merged morphs written into the morph data the game has loaded.
#include "plugin/functions.h"

void Fn_SetMergedMorphsMemory(const MenuCall& call) {
    call.ReturnBool(false);
    if (!call.Check({kGFxType_String, kGFxType_Array, kGFxType_Number},
                    "SetMergedMorphsMemory(raceName:String, info:Array, storeSlot:Number)"))
        return;
}
