#include "plugin/hook.h"

#include "game/engine.h"

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

// The patched call is the first instruction of the game routine: [esp] returns into the
// routine, [esp+4] is the routine's own return address, its fourth argument (a pointer to a
// game string handle) is at [esp+20]. ecx and edx are kept for the former target; eax is the
// scratch register. Taken: return from the routine at once with al = 1. Otherwise jump to the
// former target with the stack as at entry.
asm(R"(
    .text
    .globl _VtrHookEntry
_VtrHookEntry:
    pushl %ecx
    pushl %edx
    movl 28(%esp), %eax
    testl %eax, %eax
    jz 1f
    movl (%eax), %eax
1:
    pushl %eax
    call _VtrRefreshGateC
    addl $4, %esp
    popl %edx
    popl %ecx
    testb %al, %al
    jnz 2f
    movl (%esp), %eax
    addl $0x205F35, %eax
    jmp *%eax
2:
    addl $4, %esp
    movl $1, %eax
    ret
)");
#endif
