#include "plugin/hook.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "base/log.h"
#include "game/engine.h"
#include "plugin/face_refresh.h"
#include "os/os.h"
#include "plugin/hook_entry_i686.h"

namespace {
// Shorter texts are the routine's own arguments, not face data.
constexpr size_t kFaceDataMinChars = 30;
}  // namespace

bool PatchHookedCall() {
    uint8_t* site = HookedCallSite();
    auto displacementTo = [site](intptr_t target) {
        return static_cast<int32_t>(static_cast<uint32_t>(target - reinterpret_cast<intptr_t>(site) - 5));
    };
    const int32_t ours = displacementTo(reinterpret_cast<intptr_t>(&VtrHookEntry));
    int32_t found = 0;
    std::memcpy(&found, site + 1, 4);
    if (site[0] == 0xE8 && found == ours) return true;  // loaded twice: already ours
    if (site[0] != 0xE8 || found != HookedCall_FormerDisplacement()) {
        LogMessage("    ERROR: system: the call site at %08lX holds %02X %02X %02X %02X %02X, not the expected call; "
                   "it is left as it is and the face refresh is off.",
                   static_cast<unsigned long>(reinterpret_cast<uintptr_t>(site)), site[0], site[1], site[2], site[3],
                   site[4]);
        return false;
    }
    const uint32_t old = os::ProtectReadWriteExecute(site, 5);
    std::memcpy(site + 1, &ours, 4);
    os::RestoreProtection(site, 5, old);
    return true;
}

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
