// Colour menu functions.
#include "menu/colours.h"
#include "menu/tints.h"
#include "plugin/functions.h"

void Fn_GetColor(const MenuCall& call) {
    if (!call.Check({kGFxType_Number}, "GetColor(uniqueID:Number)")) return;
    call.ReturnNumber(PlayerColourForMenu(call.ArgInt(0)));
}

void Fn_ARGB2HSL(const MenuCall& call) {
    if (!call.Check({kGFxType_Number, kGFxType_Array}, "ARGB2HSL(argb:Number, result:Array)")) return;
    const MenuHsl hsl = ArgbToMenuHsl(call.ArgColour(0));
    ResultRecord(call.Movie())
        .Number("h", hsl.h)
        .Number("s", hsl.s)
        .Number("l", hsl.l)
        .Number("alpha", hsl.alpha)
        .AppendTo(call.Arg(1));
}

void Fn_HSL2ARGB(const MenuCall& call) {
    if (!call.Check({kGFxType_Number, kGFxType_Number, kGFxType_Number, kGFxType_Number},
                    "HSL2ARGB(h:Number, s:Number, l:Number, alpha:Number)"))
        return;
    call.ReturnNumber(MenuHslToArgb(call.ArgNumber(0), call.ArgNumber(1), call.ArgNumber(2), call.ArgNumber(3)));
}
