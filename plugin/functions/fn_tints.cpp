// Tint menu functions.
#include "menu/tints.h"
#include "plugin/functions.h"

void Fn_GetTintsList(const MenuCall& call) {
    if (!call.Check({kGFxType_Array}, "GetTintsList(result:Array)")) return;
    for (const TintListEntry& e : PlayerTintList()) {
        ResultRecord(call.Movie())
            .Number("index", e.index)
            .Number("color", e.argb)
            .Number("type", e.type)
            .String("path", e.path)
            .AppendTo(call.Arg(0));
    }
}

void Fn_SetNthTintPath(const MenuCall& call) {
    if (!call.Check({kGFxType_Number, kGFxType_String}, "SetNthTintPath(index:Number, path:String)")) return;
    // Compared as unsigned, so a negative index matches no layer.
    SetNthTintPath(static_cast<uint32_t>(call.ArgInt(0)), call.ArgString(1));
}

void Fn_SetNthTintColor(const MenuCall& call) {
    if (!call.Check({kGFxType_Number, kGFxType_Number}, "SetNthTintColor(index:Number, color:Number)")) return;
    SetNthTintColor(static_cast<uint32_t>(call.ArgInt(0)), call.ArgColour(1));
}
