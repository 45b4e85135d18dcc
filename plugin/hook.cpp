#include "plugin/hook.h"

#include <string>

#include "base/log.h"
#include "game/engine.h"
#include "plugin/face_refresh.h"
#include "plugin/hook_entry_i686.h"

namespace {
// Shorter texts are the routine's own arguments, not face data.
constexpr size_t kFaceDataMinChars = 30;
}  // namespace

bool RefreshGate(const char* text) {
    if (!text) return false;
    std::string copy;
    try {
        copy = text;
    } catch (...) {
        return false;  // no face data could be read: the routine runs as before
    }
    if (copy.size() < kFaceDataMinChars) return false;
    // The text is taken whatever the refresh achieves; nothing may unwind into the game.
    try {
        RefreshPlayerFace(copy);
    } catch (...) {
        try {
            LogMessage("    ERROR: face refresh stopped early.");
        } catch (...) {
        }
    }
    return true;
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
