#include "plugin/hook.h"

#include "game/engine.h"
#include "plugin/hook_entry_i686.h"

bool RefreshGate(const char* text) {
    (void)text;
    return false;  // face data is not taken yet: every call goes on to the game routine
}

#if !VTR_GAME_ABI_I686
bool VtrHookEntry(void* arg1, void* arg2, void* arg3, BSFixedString* text) {
    if (RefreshGate(text ? text->data : nullptr)) return true;
    return HookedCall_FormerTarget()(arg1, arg2, arg3, text);
}
#endif

#if VTR_GAME_ABI_I686
// Called from the hook entry with the text; nothing may unwind into the game's frames.
extern "C" bool VtrRefreshGateC(const char* text) noexcept {
    try {
        return RefreshGate(text);
    } catch (...) {
        return false;
    }
}

asm(VTR_HOOK_ENTRY_ASM("_"));
#endif
