// Log and LastLog: the menu's script writes into the library's log.
#include "plugin/functions.h"
#include "base/log.h"
#include "base/numeric.h"

void Fn_Log(const MenuCall& call) {
    if (call.Count() < 1) return;
    const GFxValue& v = call.Arg(0);
    if (Value_Type(v) == kGFxType_String) {
        LogMessage("%s", call.ArgString(0));  // never a format
    } else if (Value_Type(v) == kGFxType_Number) {
        LogMessage("%f", static_cast<double>(NarrowToFloat(call.ArgNumber(0))));
    }
}

void Fn_LastLog(const MenuCall& call) {
    if (call.Count() < 1) return;
    const GFxValue& v = call.Arg(0);
    if (Value_Type(v) == kGFxType_String) {
        PendingLog_FlushWith(call.ArgString(0));
    } else if (Value_Type(v) == kGFxType_Number) {
        LogMessage("%f", static_cast<double>(NarrowToFloat(call.ArgNumber(0))));
    }
}
