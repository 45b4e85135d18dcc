#include "menu/player.h"

TESNPC* PlayerNpcForm(PlayerCharacter* player) {
    if (!player) return nullptr;
    TESForm* base = Reference_BaseForm(player);
    if (!base) return nullptr;
    return static_cast<TESNPC*>(
        RuntimeDynamicCast(base, 0, TypeDescriptor_BaseForm(), TypeDescriptor_NpcForm(), 0));
}
